#!/usr/bin/python3
"""Every fixture workbook through excel2dbf-cli, read back with dbfread and
compared cell by cell with what xlrd reads from the workbook."""

import os
import subprocess
import sys
import tempfile

import dbfread

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import expected  # noqa: E402


def compare(workbook, target):
    """What differs between a converted table and xlrd's reading."""
    names, rows, widths = expected.expected_table(workbook)
    table = dbfread.DBF(target, raw=True, encoding="latin-1")
    problems = []
    got_names = [f.name.encode("latin-1") for f in table.fields]
    if [n.lower() for n in got_names] != [n.lower() for n in names]:
        problems.append("names %r != %r" % (got_names, names))
    if [f.length for f in table.fields] != widths:
        problems.append("widths %r != %r" % ([f.length for f in table.fields], widths))
    got = [[expected.decode_cp936(v).rstrip(" ") for v in rec.values()] for rec in table]
    if len(got) != len(rows):
        problems.append("%d rows, expected %d" % (len(got), len(rows)))
    for r, (g, w) in enumerate(zip(got, rows)):
        if g != w:
            problems.append("row %d: %r != %r" % (r + 1, g, w))
            if len(problems) > 5:
                break
    return problems


def check(cli, workbook, folder):
    want = expected.expected_table(workbook)
    target = os.path.join(folder, os.path.basename(workbook)[:-4] + ".dbf")
    run = subprocess.run([cli, "-y", "-q", workbook, target], capture_output=True, timeout=60)
    if want is None or not want[1]:
        if run.returncode != 0 and want is not None:
            return ["exit %d: %s" % (run.returncode, run.stderr.decode(errors="replace"))]
        return [] if not os.path.exists(target) else ["a file was written for a sheet without rows"]
    if run.returncode != 0:
        return ["exit %d: %s" % (run.returncode, run.stderr.decode(errors="replace"))]
    return compare(workbook, target)


def main():
    cli = sys.argv[1]
    workbooks = sys.argv[2:]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for workbook in workbooks:
            problems = check(cli, workbook, folder)
            status = "ok" if not problems else "FAIL"
            print("%s %s" % (status, os.path.basename(workbook)))
            for p in problems:
                print("    " + p)
            failures += bool(problems)
    print("%d passed, %d failed" % (len(workbooks) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
