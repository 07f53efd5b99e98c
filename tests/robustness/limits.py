#!/usr/bin/python3
"""The size limits of a sheet through excel2dbf-cli, checked with dbfread:
256 columns (one more than a dBase table holds: a clear error, nothing
written), a header name of 300 characters, a cell text of 32,767
characters, and 65,536 rows (the header and 65,535 data rows).

    limits.py CLI
"""

import os
import subprocess
import sys
import tempfile

import dbfread
import xlwt

OLD = b"old target\n"


def workbook(path, rows):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            sheet.write(r, c, value)
    book.save(path)


def convert(cli, folder, name, rows):
    source = os.path.join(folder, name + ".xls")
    target = os.path.join(folder, name + ".dbf")
    workbook(source, rows)
    with open(target, "wb") as f:
        f.write(OLD)
    run = subprocess.run([cli, "-y", "-q", source, target], capture_output=True, timeout=120)
    return run, target


def leftovers(folder):
    return [f for f in os.listdir(folder) if f[:6].isdigit()]


def main():
    cli = sys.argv[1]
    problems = []

    def expect(ok, what):
        print(("ok   " if ok else "FAIL ") + what)
        if not ok:
            problems.append(what)

    with tempfile.TemporaryDirectory(prefix="e2d-limits-") as folder:
        run, target = convert(cli, folder, "cols256", [["C%d" % c for c in range(256)], list(range(256))])
        err = run.stderr.decode()
        expect(run.returncode == 1 and err.startswith("错误 1205: ") and "256" in err,
               "256 columns: error 1205 naming the count (%r)" % err.strip())
        with open(target, "rb") as f:
            expect(f.read() == OLD and not leftovers(folder), "256 columns: nothing written")

        run, target = convert(cli, folder, "cols255", [["C%d" % c for c in range(255)], list(range(255))])
        table = dbfread.DBF(target) if run.returncode == 0 else None
        expect(table is not None and len(table.fields) == 255 and len(list(table)) == 1,
               "255 columns: converted, 255 fields")

        long_name = "名" * 150 + "n" * 150
        run, target = convert(cli, folder, "name300", [[long_name, "B"], ["x", "y"]])
        ok = run.returncode == 0
        if ok:
            table = dbfread.DBF(target, encoding="gbk")
            ok = len(table.field_names[0].encode("gbk")) <= 10 and list(table)[0]["B"] == "y"
        expect(ok and "超过 10 个字节" in run.stderr.decode(), "300-character header: name cut, a warning")

        text = "".join(chr(0x4E00 + i % 500) if i % 3 else "a" for i in range(32767))
        run, target = convert(cli, folder, "text32767", [["Long", "Next"], [text, "after"]])
        ok = run.returncode == 0
        if ok:
            record = list(dbfread.DBF(target, encoding="gbk"))[0]
            kept = record["LONG"] if "LONG" in record else record["Long"]
            ok = text.startswith(kept) and len(kept.encode("gbk")) <= 100 and record["NEXT" if "NEXT" in record else "Next"] == "after"
        expect(ok and "截断" in run.stderr.decode(), "32,767-character cell: cut to the field width, a warning")

        rows = [["No", "Text"]] + [[r, "行%d" % r] for r in range(1, 65536)]
        run, target = convert(cli, folder, "rows65536", rows)
        ok = run.returncode == 0
        if ok:
            records = list(dbfread.DBF(target, encoding="gbk"))
            ok = len(records) == 65535 and records[-1]["TEXT" if "TEXT" in records[-1] else "Text"] == "行65535"
        expect(ok, "65,536 rows: 65,535 records, the last one intact")
    print("%d failed" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
