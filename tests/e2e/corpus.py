#!/usr/bin/python3
"""excel2dbf-cli over a folder of real workbooks, each onto an existing
target: how many convert (and agree with xlrd), how many stop with a clear
error, and that none crashes, hangs or leaves a changed target behind.

usage: corpus.py CLI [FOLDER]   (FOLDER defaults to ../shared/corpus/xls)

Workbooks of other formats (.xlsx, .xlsm) are checked for the same faults;
their values are compared with openpyxl by
tests/platform/data/xlsx/xlsx_corpus.py instead.
"""

import collections
import glob
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import roundtrip  # noqa: E402

OLD = b"old target, must survive any failure"
TIMEOUT = 10


def classify(cli, workbook, folder):
    target = os.path.join(folder, "target.dbf")
    with open(target, "wb") as f:
        f.write(OLD)
    try:
        run = subprocess.run([cli, "-y", "-q", workbook, target], capture_output=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "hung", ""
    stderr = run.stderr.decode("utf-8", "replace").strip()
    with open(target, "rb") as f:
        kept = f.read() == OLD
    if run.returncode == 1:
        if not kept:
            return "FAULT: target changed after an error", stderr
        if not stderr.startswith("错误 "):
            return "FAULT: error without number", stderr
        return "clear error " + stderr.split(":")[0][3:], stderr
    if run.returncode != 0:
        return "FAULT: exit %d" % run.returncode, stderr
    if kept:
        return "no data rows" if "没有数据行" in stderr else "FAULT: exit 0, target unchanged", stderr
    if not workbook.lower().endswith(".xls"):
        return "converted", ""
    try:
        problems = roundtrip.compare(workbook, target)
    except Exception as e:  # xlrd cannot read it: nothing to compare with
        return "converted (xlrd refuses: %s)" % type(e).__name__, ""
    return ("converted, equal to xlrd" if not problems else "converted, differs from xlrd"), "; ".join(problems[:2])


def main():
    cli = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, "..", "..", "..", "shared", "corpus", "xls")
    files = sorted(f for f in glob.glob(os.path.join(folder, "*"))
                   if f.lower().endswith((".xls", ".xlsx", ".xlsm", ".xltx")))
    counts = collections.Counter()
    notes = collections.defaultdict(list)
    with tempfile.TemporaryDirectory() as scratch:
        for path in files:
            kind, detail = classify(cli, path, scratch)
            counts[kind] += 1
            notes[kind].append("%s: %s" % (os.path.basename(path), detail))
    print("files: %d" % len(files))
    for kind, n in sorted(counts.items(), key=lambda kv: -kv[1]):
        print("%5d  %s" % (n, kind))
        if kind.startswith(("FAULT", "hung", "converted, differs")):
            for line in notes[kind][:10]:
                print("         " + line)
    faults = sum(n for k, n in counts.items() if k.startswith(("FAULT", "hung", "converted, differs")))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
