#!/usr/bin/python3
"""Checks that a build writes the same .dbf bytes as a reference build.

usage: same_output.py record|check REFERENCE_DIR [--build DIR] [--corpus]

record converts every workbook with the build's excel2dbf-cli into
REFERENCE_DIR; check converts them again and compares byte for byte
(cmp) with what was recorded, and the exit status too. The workbooks: the
benchmark set (bench/make_workbooks.py, in $E2D_BENCH_DIR), the end-to-end
fixtures (tests/fixtures/*.xls) and with --corpus ../shared/corpus. The
header's date of last update (bytes 1-3) is set to 2000-01-01 before the
comparison, as if the clock were fixed: it is the only byte that depends
on when the table was written.
"""

import argparse
import glob
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
FIXED_DATE = bytes([100, 1, 1])


def workbooks(with_corpus):
    scratch = os.environ.get("E2D_BENCH_DIR", "/tmp/excel2dbf-bench")
    subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_workbooks.py"), scratch], check=True)
    found = sorted(glob.glob(os.path.join(scratch, "*.xls")) + glob.glob(os.path.join(scratch, "*.xlsx")))
    found += sorted(glob.glob(os.path.join(ROOT, "tests", "fixtures", "*.xls")))
    found += sorted(glob.glob(os.path.join(ROOT, "examples", "*.xls")))
    if with_corpus:
        # ../shared beside the project, or two levels up from a worktree.
        candidates = [os.path.join(ROOT, "..", "shared", "corpus"), os.path.join(ROOT, "..", "..", "shared", "corpus")]
        corpus = next((c for c in candidates if os.path.isdir(c)), None)
        if corpus is None:
            sys.exit("same_output.py: no ../shared/corpus beside the project")
        for sub in ("xls", "xlsx"):
            found += sorted(glob.glob(os.path.join(corpus, sub, "*")))
    return found


def convert(cli, workbook, target):
    """The exit status, with the target's date bytes fixed."""
    if os.path.exists(target):
        os.remove(target)
    try:
        status = subprocess.run([cli, "-y", "-q", workbook, target], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=120).returncode
    except subprocess.TimeoutExpired:
        status = "timeout"
    if os.path.exists(target):
        with open(target, "r+b") as f:
            if len(f.read(4)) == 4:
                f.seek(1)
                f.write(FIXED_DATE)
    return status


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("mode", choices=["record", "check"])
    parser.add_argument("reference")
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--corpus", action="store_true")
    args = parser.parse_args()
    cli = os.path.join(args.build, "src", "cli", "excel2dbf-cli")
    os.makedirs(args.reference, exist_ok=True)
    scratch = os.path.join(args.reference, "check")
    os.makedirs(scratch, exist_ok=True)
    differ = 0
    books = workbooks(args.corpus)
    for i, workbook in enumerate(books):
        key = "%04d-%s" % (i, os.path.basename(workbook))
        recorded = os.path.join(args.reference, key + ".dbf")
        status_file = os.path.join(args.reference, key + ".status")
        if args.mode == "record":
            status = convert(cli, workbook, recorded)
            open(status_file, "w").write(str(status))
            continue
        target = os.path.join(scratch, key + ".dbf")
        status = convert(cli, workbook, target)
        problems = []
        if str(status) != open(status_file).read():
            problems.append("exit status %s, recorded %s" % (status, open(status_file).read()))
        if os.path.exists(target) != os.path.exists(recorded):
            problems.append("target written: %s, recorded: %s" % (os.path.exists(target), os.path.exists(recorded)))
        elif os.path.exists(target) and subprocess.run(["cmp", "-s", target, recorded]).returncode != 0:
            problems.append("bytes differ (cmp %s %s)" % (target, recorded))
        if problems:
            differ += 1
            print("%s: %s" % (workbook, "; ".join(problems)))
        elif os.path.exists(target):
            os.remove(target)
    print("%s %d workbooks; %d differ" % ("recorded" if args.mode == "record" else "compared", len(books), differ))
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
