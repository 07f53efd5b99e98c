#!/usr/bin/python3
"""excel2dbf-cli's --sheet and -d options on workbooks made with openpyxl,
each result read back with dbfread.

    cli_options.py CLI
"""
import os
import subprocess
import sys
import tempfile

import dbfread
import openpyxl

# Sheet names in workbook order and whether each is visible. A sheet named
# "2" tells a name from a number; the hidden one sits between visible ones.
SHEETS = [("甲表", True), ("隐藏", False), ("2", True), ("Data", True)]


def make_workbook(path, tag=""):
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, visible in SHEETS:
        sheet = book.create_sheet(name)
        sheet.append(["名称", "来源"])
        sheet.append([name + tag, "第二列"])
        if not visible:
            sheet.sheet_state = "hidden"
    book.save(path)


def first_value(target):
    table = dbfread.DBF(target, encoding="gbk")
    return [list(record.values())[0] for record in table]


def run(cli, *args):
    return subprocess.run([cli, "-y", *args], capture_output=True, timeout=60, encoding="utf-8")


# (--sheet value or None, exit status, the first column read back or the
# text stderr must hold)
SHEET_CASES = [
    (None, 0, ["甲表"]),       # the first visible sheet
    ("甲表", 0, ["甲表"]),
    ("data", 0, ["Data"]),     # ASCII case ignored
    ("2", 0, ["2"]),           # a name wins over a number
    ("3", 0, ["Data"]),        # visible ones counted first
    ("4", 0, ["隐藏"]),        # then the hidden ones
    ("1", 0, ["甲表"]),
    ("5", 1, "错误 1104: 工作簿中没有工作表“5”；可选的工作表（序号 名称）：1 甲表，2 2，3 Data，4 隐藏"),
    ("0", 1, "错误 1104"),
    ("乙表", 1, "错误 1104"),
]


def check_sheets(cli, folder, problems):
    book = os.path.join(folder, "book.xlsx")
    make_workbook(book)
    for choice, status, want in SHEET_CASES:
        target = os.path.join(folder, "sheet.dbf")
        if os.path.exists(target):
            os.remove(target)
        args = (["--sheet", choice] if choice is not None else []) + [book, target]
        done = run(cli, *args)
        if done.returncode != status:
            problems.append("--sheet %s: exit %d, expected %d: %s" % (choice, done.returncode, status, done.stderr))
        elif status == 0 and first_value(target) != want:
            problems.append("--sheet %s: %r, expected %r" % (choice, first_value(target), want))
        elif status != 0 and (want not in done.stderr or os.path.exists(target)):
            problems.append("--sheet %s: stderr %r lacks %r, or a target was written" % (choice, done.stderr, want))


def check_folder(cli, folder, problems):
    source = os.path.join(folder, "in")
    out = os.path.join(folder, "out")
    os.makedirs(os.path.join(source, "sub"))
    os.makedirs(out)
    for name in ("一月", "二月"):
        make_workbook(os.path.join(source, name + ".xlsx"), name)
    with open(os.path.join(source, "坏.xlsx"), "wb") as f:
        f.write(b"PK\x03\x04 not a workbook")
    make_workbook(os.path.join(source, "sub", "一月.xls"))  # the same target as 一月.xlsx
    books = [os.path.join(source, n) for n in ("一月.xlsx", "坏.xlsx", "二月.xlsx")]
    # (arguments, exit status, {target file: first column}, lines on stdout)
    cases = [
        (["--sheet", "Data", "-d", out] + books, 1, {"一月.dbf": ["Data一月"], "二月.dbf": ["Data二月"]}, 2),
        (["-d", out, books[0], os.path.join(source, "sub", "一月.xls")], 2, {}, 0),
        (["-d", os.path.join(folder, "missing"), books[0]], 1, {}, 0),
    ]
    for args, status, targets, lines in cases:
        for name in os.listdir(out):
            os.remove(os.path.join(out, name))
        done = run(cli, *args)
        written = sorted(os.listdir(out))
        if done.returncode != status or written != sorted(targets):
            problems.append("%s: exit %d, wrote %r: %s" % (args, done.returncode, written, done.stderr))
            continue
        for name, want in targets.items():
            if first_value(os.path.join(out, name)) != want:
                problems.append("%s: %s holds %r" % (args, name, first_value(os.path.join(out, name))))
        if len(done.stdout.splitlines()) != lines or (status == 1 and len(done.stderr.splitlines()) != 1):
            problems.append("%s: stdout %r stderr %r" % (args, done.stdout, done.stderr))


def main():
    cli = sys.argv[1]
    problems = []
    with tempfile.TemporaryDirectory() as folder:
        check_sheets(cli, folder, problems)
        check_folder(cli, folder, problems)
    for p in problems:
        print(p)
    print("%d problems" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
