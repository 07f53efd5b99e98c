#!/usr/bin/python3
"""Interrupted and racing conversions through excel2dbf-cli.

Kill trials: a large conversion onto an existing target is killed
(SIGKILL) at a random moment; the target must then be the old file or the
complete new one, byte for byte (the header's date aside), never missing,
never partial.

Race: two conversions started together into one folder. When they fall in
the same second the second finds the first one's staging file at the
time's name and takes the next second's; either way both complete and no
target is overwritten by the other run.

    interruptions.py CLI                      # 20 kill trials, 30,000 x 20
    interruptions.py CLI --trials 3 --rows 3000 --races 2   # quick
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
import time

import xlwt

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from dbf_table import dbf_problem  # noqa: E402

OLD = b"old target: either this or the complete new table\n" * 100


def make_workbook(path, rows, columns):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c in range(columns):
        sheet.write(0, c, "Col%d" % c)
    for r in range(1, rows + 1):
        for c in range(columns):
            sheet.write(r, c, "%d 行 %d 列" % (r, c) if c % 2 else r * 1.5 + c)
    book.save(path)


def without_date(data):
    return data[:1] + data[4:] if len(data) > 4 else data


def clear_staging(folder):
    for name in os.listdir(folder):
        if name[:6].isdigit() and name.endswith(".dbf"):
            os.remove(os.path.join(folder, name))


def kill_trials(cli, folder, source, trials, rng):
    target = os.path.join(folder, "target.dbf")
    reference = os.path.join(folder, "reference.dbf")
    start = time.monotonic()
    subprocess.run([cli, "-q", source, reference], check=True)
    full = time.monotonic() - start
    with open(reference, "rb") as f:
        new = without_date(f.read())
    outcomes = {"old": 0, "new": 0}
    failures = 0
    for trial in range(trials):
        clear_staging(folder)
        with open(target, "wb") as f:
            f.write(OLD)
        proc = subprocess.Popen([cli, "-y", "-q", source, target], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        # Past the end of a run now and then: the complete new file must be there.
        delay = rng.uniform(0, full * 1.3)
        time.sleep(delay)
        proc.kill()
        proc.wait()
        try:
            with open(target, "rb") as f:
                now = f.read()
        except FileNotFoundError:
            now = None
        if now == OLD:
            outcomes["old"] += 1
        elif now is not None and without_date(now) == new:
            outcomes["new"] += 1
        else:
            failures += 1
            print("FAIL trial %d: killed after %.3f s, target %s" % (
                trial, delay, "missing" if now is None else "partial (%d bytes)" % len(now)))
    clear_staging(folder)
    print("kill trials: %d (a full run takes %.2f s): old file %d, complete new file %d, other %d" % (
        trials, full, outcomes["old"], outcomes["new"], failures))
    return failures == 0


def races(cli, folder, source, count):
    failures = 0
    for race in range(count):
        targets = [os.path.join(folder, "race%d.dbf" % i) for i in range(2)]
        for t in targets:
            with open(t, "wb") as f:
                f.write(OLD)
        clear_staging(folder)
        procs = [subprocess.Popen([cli, "-y", "-q", source, t], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE) for t in targets]
        results = [(p.wait(), p.stderr.read().decode()) for p in procs]
        contents = []
        for t in targets:
            with open(t, "rb") as f:
                contents.append(f.read())
        complete = [dbf_problem(c) is None for c in contents]
        if not (all(code == 0 for code, _ in results) and all(complete)):
            failures += 1
            print("FAIL race %d: %r" % (race, results))
    print("races: %d, both completed %d, failed %d" % (count, count - failures, failures))
    return failures == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cli")
    parser.add_argument("--trials", type=int, default=20)
    parser.add_argument("--rows", type=int, default=30000)
    parser.add_argument("--columns", type=int, default=20)
    parser.add_argument("--races", type=int, default=10)
    parser.add_argument("--seed", type=int, default=5)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    with tempfile.TemporaryDirectory(prefix="e2d-interrupt-") as folder:
        source = os.path.join(folder, "large.xls")
        make_workbook(source, args.rows, args.columns)
        ok = kill_trials(args.cli, folder, source, args.trials, rng)
        ok = races(args.cli, folder, source, args.races) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
