#!/usr/bin/python3
"""Damaged workbooks through excel2dbf-cli.

Makes damaged copies of the fixture workbooks (and of a folder of real
workbooks when one is given): truncated at many points, bytes flipped,
sector chains looped, record lengths enlarged, huge dimensions, string
counts and string lengths, date serials of 1e300, NaN and infinity, plus
made-up workbooks of 10,000 sheets and of 65,536 rows x 256 columns. Each
is converted onto an existing target, and every run must:

  - end with exit 0 (converted) or 1 (a clear "错误 N: ..." on stderr);
  - end within the time limit (5 s);
  - print no sanitizer report (on a sanitizer build);
  - use no more memory than 4 x the file size + 64 MiB (peak RSS; not
    checked on sanitizer builds, whose shadow memory is not ours);
  - leave the existing target byte for byte unless it exits 0 having
    written a new table, which must then be a complete dBase III file
    (and, where xlrd reads the damaged file, hold what xlrd reads; a
    difference is listed, not failed: readers differ on damage).

Fast sample (CI):  damage.py CLI --sample 300
Full run:          damage.py CLI --corpus /work/shared/corpus/xls
"""

import argparse
import math
import os
import random
import resource
import signal
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "fixtures"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

import make_fixtures as mf  # noqa: E402
from dbf_table import dbf_problem  # noqa: E402

OLD_TARGET = b"OLD TARGET: a failed run must leave these bytes alone\n" * 3
MIB = 1024 * 1024
GNU_TIME = "/usr/bin/time"
SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"runtime error:", b"ERROR: LeakSanitizer",
                   b"UndefinedBehaviorSanitizer", b"SUMMARY: ")

# ------------------------------------------------ compound file reading ----

FREE, END, FAT_SECT, DIFAT_SECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC


class Compound:
    """Just enough of a compound file to find where the workbook stream's
    bytes lie in the file; None when the file is not a sound one."""

    def __init__(self, data):
        self.ok = False
        if len(data) < 512 or data[:8] != b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1":
            return
        shift = struct.unpack_from("<H", data, 30)[0]
        if shift not in (9, 12):
            return
        self.sector = 1 << shift
        self.data = data
        n_fat, self.dir_start = struct.unpack_from("<I", data, 44)[0], struct.unpack_from("<I", data, 48)[0]
        difat = list(struct.unpack_from("<109I", data, 76))
        next_difat, n_difat = struct.unpack_from("<II", data, 68)
        seen = set()
        while next_difat < END and n_difat > 0 and next_difat not in seen:
            seen.add(next_difat)
            off = self.offset(next_difat)
            if off + self.sector > len(data):
                break
            entries = struct.unpack_from("<%dI" % (self.sector // 4), data, off)
            difat += entries[:-1]
            next_difat = entries[-1]
            n_difat -= 1
        self.fat_sectors = [s for s in difat[:n_fat] if s < FAT_SECT]
        self.fat = []
        for s in self.fat_sectors:
            off = self.offset(s)
            if off + self.sector > len(data):
                return
            self.fat += struct.unpack_from("<%dI" % (self.sector // 4), data, off)
        self.dir_chain = self.chain(self.dir_start)
        self.stream_start = self.stream_size = None
        for s in self.dir_chain:
            off = self.offset(s)
            for e in range(self.sector // 128):
                entry = data[off + e * 128: off + e * 128 + 128]
                if len(entry) < 128:
                    break
                name_len = struct.unpack_from("<H", entry, 64)[0]
                name = entry[:max(0, name_len - 2)].decode("utf-16-le", "replace")
                if entry[66] == 2 and name in ("Workbook", "Book"):
                    self.dir_entry_offset = off + e * 128
                    self.stream_start, self.stream_size = struct.unpack_from("<II", entry, 116)
        if self.stream_start is None or self.stream_size < 4096:
            return  # the mini stream is not mapped here
        self.stream_chain = self.chain(self.stream_start)
        self.ok = True

    def offset(self, s):
        return (s + 1) * self.sector

    def chain(self, start):
        out, seen, s = [], set(), start
        while s < len(self.fat) and s not in seen:
            seen.add(s)
            out.append(s)
            s = self.fat[s]
        return out

    def fat_entry_offset(self, index):
        per = self.sector // 4
        return self.offset(self.fat_sectors[index // per]) + 4 * (index % per)

    def file_offset(self, stream_pos):
        """Where byte stream_pos of the workbook stream lies in the file."""
        i = stream_pos // self.sector
        if i >= len(self.stream_chain):
            return None
        return self.offset(self.stream_chain[i]) + stream_pos % self.sector

    def stream(self):
        out = b"".join(self.data[self.offset(s): self.offset(s) + self.sector] for s in self.stream_chain)
        return out[: self.stream_size]


class StreamView:
    """The workbook stream of a file (compound or bare BIFF), with writes
    mapped back to the file's bytes."""

    def __init__(self, data):
        self.data = bytearray(data)
        cf = Compound(data)
        self.cf = cf if cf.ok else None
        self.stream = cf.stream() if self.cf else bytes(data)
        self.bare = self.cf is None and len(data) >= 4 and data[:2] in (b"\x09\x08", b"\x09\x04",
                                                                       b"\x09\x02", b"\x09\x00")

    def usable(self):
        return self.cf is not None or self.bare

    def write(self, stream_pos, raw):
        for i, b in enumerate(raw):
            at = stream_pos + i if self.cf is None else self.cf.file_offset(stream_pos + i)
            if at is not None and at < len(self.data):
                self.data[at] = b

    def records(self):
        """(stream offset, type, length) of every record, as far as they go."""
        out, pos, s = [], 0, self.stream
        while pos + 4 <= len(s):
            rtype, length = struct.unpack_from("<HH", s, pos)
            out.append((pos, rtype, length))
            pos += 4 + length
        return out


# --------------------------------------------------------- damage kinds ----

def truncations(name, data, rng, count):
    points = {0, 1, 7, 8, 511, 512, 513, len(data) - 1, len(data) // 2}
    while len(points) < count + 9 and len(points) < len(data):
        points.add(rng.randrange(len(data)))
    for p in sorted(points)[: count]:
        if 0 <= p < len(data):
            yield "%s.cut%d" % (name, p), data[:p]


def flips(name, data, rng, count):
    for i in range(count):
        out = bytearray(data)
        n = rng.choice((1, 2, 4, 16, 64))
        for _ in range(n):
            out[rng.randrange(len(out))] ^= 1 << rng.randrange(8)
        yield "%s.flip%d_%d" % (name, i, n), bytes(out)
    # Bytes set to the edges of their range, where counts and offsets lie.
    for i in range(count // 2):
        out = bytearray(data)
        at = rng.randrange(max(1, len(out) - 4))
        out[at: at + 4] = rng.choice((b"\xff\xff\xff\xff", b"\x00\x00\x00\x00", b"\xff\xff\xff\x7f"))
        yield "%s.edge%d_%d" % (name, i, at), bytes(out)


def looped_chains(name, data):
    cf = Compound(data)
    if not cf.ok:
        return
    cases = []
    chain = cf.stream_chain
    if len(chain) >= 2:
        cases.append(("loop_last_to_first", chain[-1], chain[0]))
        cases.append(("loop_self", chain[len(chain) // 2], chain[len(chain) // 2]))
        cases.append(("loop_back_one", chain[1], chain[0]))
    if cf.dir_chain:
        cases.append(("loop_directory", cf.dir_chain[-1], cf.dir_chain[0]))
    if cf.fat_sectors:
        cases.append(("fat_points_at_fat", chain[0], cf.fat_sectors[0]))
        cases.append(("chain_out_of_file", chain[0], 0x7FFFFFF0))
    for label, index, value in cases:
        out = bytearray(data)
        at = cf.fat_entry_offset(index)
        out[at: at + 4] = struct.pack("<I", value)
        yield "%s.%s" % (name, label), bytes(out)
    # A stream size larger than the file.
    out = bytearray(data)
    struct.pack_into("<I", out, cf.dir_entry_offset + 120, 0x7FFFFFFF)
    yield "%s.stream_size_huge" % name, bytes(out)


RECORD_TYPES = {
    0x0200: "dimensions", 0x00FC: "sst", 0x0085: "boundsheet", 0x0204: "label", 0x00FD: "labelsst",
    0x0203: "number", 0x027E: "rk", 0x00BD: "mulrk", 0x0006: "formula", 0x0207: "string",
    0x003C: "continue", 0x041E: "format", 0x00E0: "xf", 0x0809: "bof", 0x000A: "eof",
}


def record_damage(name, data, rng, count, per_type=3):
    view = StreamView(data)
    if not view.usable():
        return
    records = view.records()
    if not records:
        return
    picked = rng.sample(records, min(count, len(records)))
    # Enlarged record lengths.
    for pos, rtype, length in picked:
        for new in (length + 1, length + 100, 0xFFFF):
            v = StreamView(data)
            v.write(pos + 2, struct.pack("<H", new))
            yield "%s.len_%s@%d=%d" % (name, RECORD_TYPES.get(rtype, "%04x" % rtype), pos, new), bytes(v.data)
    # A few records of each kind, not every cell of a big sheet.
    by_type = {}
    for r in records:
        by_type.setdefault(r[1], []).append(r)
    chosen = sorted(r for group in by_type.values() for r in rng.sample(group, min(per_type, len(group))))
    for pos, rtype, length in chosen:
        v = StreamView(data)
        if rtype == 0x0200 and length >= 14:  # DIMENSIONS: rows and columns to the top
            v.write(pos + 4, struct.pack("<IIHH", 0, 0xFFFFFFFF, 0, 0xFFFF))
            yield "%s.dimensions_huge@%d" % (name, pos), bytes(v.data)
        elif rtype == 0x00FC and length >= 8:  # SST: counts far beyond the strings there
            for total in (0x7FFFFFFF, 0xFFFFFFFF):
                v = StreamView(data)
                v.write(pos + 4, struct.pack("<II", total, total))
                yield "%s.sst_count_%x@%d" % (name, total, pos), bytes(v.data)
            if length >= 10:  # the first string's length
                v = StreamView(data)
                v.write(pos + 12, struct.pack("<H", 0xFFFF))
                yield "%s.sst_strlen@%d" % (name, pos), bytes(v.data)
        elif rtype == 0x0204 and length >= 8:  # LABEL: a string longer than its record
            v.write(pos + 10, struct.pack("<H", 0xFFFF))
            yield "%s.label_strlen@%d" % (name, pos), bytes(v.data)
        elif rtype == 0x00FD and length >= 10:  # LABELSST: an index past the table
            v.write(pos + 10, struct.pack("<I", 0xFFFFFFFF))
            yield "%s.labelsst_index@%d" % (name, pos), bytes(v.data)
        elif rtype == 0x0085 and length >= 6:  # BOUNDSHEET: a sheet offset beyond the stream
            v.write(pos + 4, struct.pack("<I", 0xFFFFFFF0))
            yield "%s.sheet_offset@%d" % (name, pos), bytes(v.data)
        elif rtype == 0x0203 and length >= 14:  # NUMBER: serials no date can hold
            for label, value in (("1e300", 1e300), ("nan", math.nan), ("inf", math.inf),
                                 ("-1e300", -1e300), ("2958466", 2958466.0), ("neg", -1.0)):
                v = StreamView(data)
                v.write(pos + 10, struct.pack("<d", value))
                yield "%s.number_%s@%d" % (name, label, pos), bytes(v.data)


# ---------------------------------------------------- made-up workbooks ----

def made_up():
    """Workbooks the damage kinds above cannot reach."""
    xf = b"".join(mf.xf8(0) for _ in range(16)) + mf.xf8(14)  # XF 16 shows dates
    globals_records = xf

    # Date cells holding serials no calendar holds.
    cells = mf.record(0x0204, struct.pack("<HHH", 0, 0, 15) + mf.u16str8("日期"))
    for r, v in enumerate((1e300, math.nan, math.inf, -math.inf, -1e300, 2958466.0, -1.0, 1e-300,
                           60.0, 0.0, 2958465.999999), start=1):
        cells += mf.number(r, 0, 16, v)
    sheet = mf.bof(0x0600, 0x0010) + cells + mf.eof()
    yield "made.date_serials", mf.compound_file("Workbook", mf.workbook_stream(0x0600, globals_records, [
        ("Dates", 0, 0, sheet)]))

    # 10,000 sheets, each one cell; only the first is read.
    tiny = mf.bof(0x0600, 0x0010) + mf.record(0x0204, struct.pack("<HHH", 0, 0, 15) + mf.u16str8("A")) \
        + mf.number(1, 0, 15, 1.0) + mf.eof()
    sheets = [("S%d" % i, 0, 0, tiny) for i in range(10000)]
    yield "made.sheets_10000", mf.compound_file("Workbook", mf.workbook_stream(0x0600, globals_records, sheets))

    # 65,536 rows x 256 columns, the corners filled: 256 fields is one
    # more than a dBase table holds.
    cells = b"".join(mf.record(0x0204, struct.pack("<HHH", 0, c, 15) + mf.u16str8("C%d" % c))
                     for c in range(256))
    cells += mf.number(65535, 255, 15, 1.0)
    sheet = mf.bof(0x0600, 0x0010) + cells + mf.eof()
    yield "made.sparse_65536x256", mf.compound_file("Workbook", mf.workbook_stream(0x0600, globals_records, [
        ("Big", 0, 0, sheet)]))


def made_up_large():
    """The full run only: conversions of a second or more, which a busy
    machine could push past the time limit in CI."""
    xf = b"".join(mf.xf8(0) for _ in range(16))
    globals_records = xf
    # 65,536 rows x 255 columns, the corners filled: 65,535 rows written.
    cells = b"".join(mf.record(0x0204, struct.pack("<HHH", 0, c, 15) + mf.u16str8("C%d" % c))
                     for c in range(255))
    cells += mf.number(65535, 254, 15, 1.0)
    sheet = mf.bof(0x0600, 0x0010) + cells + mf.eof()
    yield "made.sparse_65536x255", mf.compound_file("Workbook", mf.workbook_stream(0x0600, globals_records, [
        ("Big", 0, 0, sheet)]))


def made_up_dense():
    """65,536 rows x 256 columns, every cell a number (MULRK rows, about
    100 MB, a bare BIFF stream): the full run only."""
    xf = b"".join(mf.xf8(0) for _ in range(16))
    head = b"".join(mf.record(0x0204, struct.pack("<HHH", 0, c, 15) + mf.u16str8("C%d" % c))
                    for c in range(256))
    parts = [head]
    rk = struct.pack("<HI", 15, (7 << 2) | 2)
    for r in range(1, 65536):
        parts.append(mf.record(0x00BD, struct.pack("<HH", r, 0) + rk * 256 + struct.pack("<H", 255)))
    sheet = mf.bof(0x0600, 0x0010) + b"".join(parts) + mf.eof()
    yield "made.dense_65536x256", mf.workbook_stream(0x0600, xf, [("Dense", 0, 0, sheet)])


# ------------------------------------------------------------- running ----

def is_sanitizer_build(cli):
    with open(cli, "rb") as f:
        return b"AddressSanitizer" in f.read()


def dbf_complete(path):
    """None when path is a complete dBase III table, else what is wrong."""
    with open(path, "rb") as f:
        return dbf_problem(f.read())


def xlrd_differences(workbook, target):
    """Cells where the table differs from what xlrd reads; [] when equal or
    when xlrd cannot read the workbook."""
    try:
        import dbfread
        import expected
        if len(dbfread.DBF(target, raw=True)) > 5000:
            return []  # xlrd needs too much memory for a big sheet
        # xlrd writes its complaints to the stdout it saw at import time.
        sys.stdout.flush()
        saved = os.dup(1)
        with open(os.devnull, "w") as null:
            os.dup2(null.fileno(), 1)
        try:
            want = expected.expected_table(workbook)
        finally:
            os.dup2(saved, 1)
            os.close(saved)
    except Exception:  # noqa: BLE001 - xlrd refusing a damaged file is fine
        return []
    if want is None or not want[1]:
        return []
    names, rows, _ = want
    got = [[expected.decode_cp936(v).rstrip(" ") for v in rec.values()]
           for rec in dbfread.DBF(target, raw=True, encoding="latin-1")]
    if len(got) != len(rows):
        return ["%d rows, xlrd %d" % (len(got), len(rows))]
    return ["row %d" % (r + 1) for r, (g, w) in enumerate(zip(got, rows)) if g != w][:3]


def run_one(cli, case_name, data, folder, limit_s, check_memory):
    workbook = os.path.join(folder, "case.xls")
    target = os.path.join(folder, "target.dbf")
    for entry in os.listdir(folder):
        os.remove(os.path.join(folder, entry))
    with open(workbook, "wb") as f:
        f.write(data)
    with open(target, "wb") as f:
        f.write(OLD_TARGET)
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:exitcode=99",
               UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=98")
    err_path = os.path.join(folder, "stderr")
    memory_path = os.path.join(folder, "memory")
    start = time.monotonic()
    with open(err_path, "wb") as err:
        command = [cli, "-y", "-q", "--", workbook, target]
        if os.path.exists(GNU_TIME):
            command = [GNU_TIME, "-f", "%M", "-o", memory_path] + command
        proc = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                                stderr=err, stdin=subprocess.DEVNULL, env=env, start_new_session=True)
        timed_out = False
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() - start > limit_s:
                timed_out = True
                os.killpg(proc.pid, signal.SIGKILL)
                pid, status, usage = os.wait4(proc.pid, 0)
                break
            time.sleep(0.002)
    elapsed = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    with open(err_path, "rb") as f:
        stderr = f.read()
    os.remove(err_path)
    problems = []
    code = proc.returncode
    if timed_out:
        problems.append("over %.0f s" % limit_s)
    elif code not in (0, 1):
        problems.append("exit %d" % code)
    if any(m in stderr for m in SANITIZER_MARKS):
        problems.append("sanitizer report")
    if code == 1 and not stderr.startswith("错误 ".encode()):
        problems.append("exit 1 without an error line")
    # GNU time measures the converter alone; without it the kernel's figure
    # includes this script's size at the fork (an upper bound).
    peak = usage.ru_maxrss * 1024
    if os.path.exists(memory_path):
        with open(memory_path) as f:
            figures = f.read().split()
        os.remove(memory_path)
        if figures and figures[-1].isdigit():
            peak = int(figures[-1]) * 1024
    budget = 4 * len(data) + 64 * MIB
    if check_memory and peak > budget:
        problems.append("peak memory %.1f MiB > %.1f MiB" % (peak / MIB, budget / MIB))
    with open(target, "rb") as f:
        now = f.read()
    outcome = "error" if code == 1 else "converted" if code == 0 else "other"
    differs = []
    if code == 0 and now != OLD_TARGET:
        why = dbf_complete(target)
        if why:
            problems.append("target incomplete: " + why)
        else:
            differs = xlrd_differences(workbook, target)
    elif now != OLD_TARGET:
        problems.append("target changed (exit %d)" % code)
    elif code == 0:
        outcome = "no rows"
    detail = stderr.decode("utf-8", "replace").strip().splitlines()
    return {"name": case_name, "outcome": outcome, "problems": problems, "elapsed": elapsed,
            "peak": peak, "differs": differs, "stderr": detail[-8:] if problems else detail[:1]}


def sources(args):
    files = []
    for folder in (os.path.join(ROOT, "tests", "fixtures"), os.path.join(ROOT, "tests", "fixtures", "fuzz"),
                   os.path.join(ROOT, "examples")):
        files += sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".xls"))
    corpus = []
    if args.corpus and os.path.isdir(args.corpus):
        corpus = sorted(os.path.join(args.corpus, f) for f in os.listdir(args.corpus))
    return files, corpus


def cases(args, rng):
    files, corpus = sources(args)
    per = dict(cut=12, flip=10, records=6) if not args.sample else dict(cut=6, flip=4, records=3)
    per_corpus = dict(cut=3, flip=2, records=1, per_type=1)
    for group, n in ((files, per), (corpus, per_corpus)):
        for path in group:
            with open(path, "rb") as f:
                data = f.read()
            if not data:
                continue
            name = os.path.basename(path)
            if group is corpus:
                yield name + ".original", data
            yield from truncations(name, data, rng, n["cut"])
            yield from flips(name, data, rng, n["flip"])
            yield from looped_chains(name, data)
            yield from record_damage(name, data, rng, n["records"], n.get("per_type", 3))
    yield from made_up()
    if not args.sample:
        yield from made_up_large()
    if args.dense:
        yield from made_up_dense()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cli", help="path of excel2dbf-cli")
    parser.add_argument("--corpus", help="a folder of real workbooks to damage as well")
    parser.add_argument("--sample", type=int, default=0,
                        help="run only this many cases, chosen at random (made-up workbooks always run)")
    parser.add_argument("--dense", action="store_true", help="also the ~100 MB 65,536 x 256 workbook")
    parser.add_argument("--seed", type=int, default=8)
    parser.add_argument("--limit", type=float, default=5.0, help="seconds per run")
    parser.add_argument("--keep", help="copy failing inputs into this folder")
    parser.add_argument("-v", "--verbose", action="store_true")
    args = parser.parse_args()

    sanitizer = is_sanitizer_build(args.cli)
    # Cases are made one at a time (the first pass only counts them) so this
    # process stays small: a child's peak memory as the kernel reports it
    # starts from its parent's size at the fork.
    total = sum(1 for _ in cases(args, random.Random(args.seed)))
    wanted = None
    if args.sample and args.sample < total:
        wanted = set(random.Random(args.seed + 1).sample(range(total), args.sample))
    all_cases = (c for i, c in enumerate(cases(args, random.Random(args.seed)))
                 if wanted is None or i in wanted or c[0].startswith("made."))
    count = 0
    outcomes, failures, differing = {}, [], []
    slowest = (0.0, "")
    peak_ratio = (0.0, "")
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="e2d-damage-") as folder:
        for name, data in all_cases:
            count += 1
            r = run_one(args.cli, name, data, folder, args.limit, not sanitizer)
            outcomes[r["outcome"]] = outcomes.get(r["outcome"], 0) + 1
            slowest = max(slowest, (r["elapsed"], name))
            peak_ratio = max(peak_ratio, (r["peak"] / (4 * len(data) + 64 * MIB), name))
            if r["differs"]:
                differing.append((name, r["differs"]))
            if r["problems"]:
                failures.append(r)
                print("FAIL %s: %s" % (name, "; ".join(r["problems"])))
                for line in r["stderr"]:
                    print("    " + line)
                if args.keep:
                    os.makedirs(args.keep, exist_ok=True)
                    with open(os.path.join(args.keep, name.replace("/", "_") + ".xls"), "wb") as f:
                        f.write(data)
            elif args.verbose:
                print("ok   %s: %s %.2fs %s" % (name, r["outcome"], r["elapsed"], " ".join(r["stderr"])))
    print("%d damaged workbooks in %.0f s: %s" % (
        count, time.monotonic() - started,
        ", ".join("%s %d" % kv for kv in sorted(outcomes.items()))))
    print("slowest %.2f s (%s); highest memory %.0f%% of the budget (%s), this script %.0f MiB%s" % (
        slowest[0], slowest[1], 100 * peak_ratio[0], peak_ratio[1],
        resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024,
        " [sanitizer build: memory not checked]" if sanitizer else ""))
    if differing:
        print("%d converted files differ from xlrd's reading (damage read differently):" % len(differing))
        for name, d in differing[:10]:
            print("    %s: %s" % (name, ", ".join(d)))
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
