#!/usr/bin/python3
"""Checks the workbook reader against python3-xlrd (Debian).

    xls_oracle.py --dump BUILD/xls_dump FILE...

For each workbook, runs xls_dump (the first table as the conversion run
reads it) and builds the same table from what xlrd reads: the first listed
worksheet (visible ones in tab order, then hidden ones), its used range by
content, the first row as field names, DefinedSize as the widest text form
in code page 936 bytes. Numbers must be equal exactly; dates by their
serial and their text form. Exits 1 when any workbook differs.
xls_corpus.py uses compare() over a folder of real-world workbooks.
"""
import argparse
import json
import math
import os
import subprocess
import sys

import xlrd

LAST_SERIAL_DAY = 2958465  # 9999-12-31
DAYS_1904 = 1462


def number_text(value):
    if value == 0:
        return "0"
    return "%.15G" % value


def date_text(serial):
    import datetime
    if not (serial >= 0) or serial >= LAST_SERIAL_DAY + 1:
        return number_text(serial)
    total = math.floor(serial * 86400 + 0.5)
    day, seconds = divmod(total, 86400)
    if day > LAST_SERIAL_DAY:
        return number_text(serial)
    out = ""
    if day > 0:
        if day == 60:
            out = "1900-02-29"
        else:
            offset = day - 25568 if day < 60 else day - 25569
            d = datetime.date(1970, 1, 1) + datetime.timedelta(days=offset)
            out = "%04d-%02d-%02d" % (d.year, d.month, d.day)
        if seconds == 0:
            return out
        out += " "
    return out + "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)


def text_form(value):
    if value is None:
        return ""
    kind, v = value
    if kind == "t":
        return v
    if kind == "n":
        return number_text(v)
    if kind == "d":
        return date_text(v)
    return "True" if v else "False"


def cp936_length(text):
    n = 0
    for ch in text:
        if ord(ch) < 0x80 or ch == "\u20ac":
            n += 1
        else:
            try:
                n += len(ch.encode("gbk"))
            except UnicodeEncodeError:
                n += 4
    return n


def table_name(sheet_name):
    plain = all(c.isascii() and (c.isalnum() or c == "_") or not c.isascii() for c in sheet_name)
    name = sheet_name + "$"
    return name if plain else "'" + name + "'"


def cell_value(cell, datemode):
    t = cell.ctype
    if t == xlrd.XL_CELL_TEXT:
        if isinstance(cell.value, float):
            return ("n", cell.value)
        return ("t", cell.value)
    if t == xlrd.XL_CELL_NUMBER:
        return ("n", float(cell.value))
    if t == xlrd.XL_CELL_DATE:
        return ("d", float(cell.value) + (DAYS_1904 if datemode == 1 else 0))
    if t == xlrd.XL_CELL_BOOLEAN:
        return ("b", bool(cell.value))
    return None  # empty, blank, error


def counts(value):
    return value is not None and value != ("t", "")


def expected_table(path):
    """The first table as xlrd sees it: dict like xls_dump's, plus 'biff'."""
    with open(os.devnull, "w") as quiet:
        book = xlrd.open_workbook(path, logfile=quiet)
    sheets = [s for s in book.sheets() if s.visibility == 0] + [s for s in book.sheets() if s.visibility != 0]
    result = {"biff": book.biff_version}
    if not sheets:
        result["error"] = 1104
        return result
    sh = sheets[0]
    cells = {}
    for r in range(sh.nrows):
        for c in range(sh.row_len(r)):
            v = cell_value(sh.cell(r, c), book.datemode)
            if v is not None:
                cells[(r, c)] = v
    used = [k for k, v in cells.items() if counts(v)]
    result["table"] = table_name(sh.name).replace("'", "")
    if not used:
        result.update(fields=[], rows=[])
        return result
    r0 = min(r for r, _ in used)
    r1 = max(r for r, _ in used)
    c0 = min(c for _, c in used)
    c1 = max(c for _, c in used)
    fields = []
    for c in range(c0, c1 + 1):
        h = cells.get((r0, c))
        name = text_form(h) if counts(h) else "F%d" % (c - c0 + 1)
        size = max([1] + [cp936_length(text_form(cells.get((r, c)))) for r in range(r0 + 1, r1 + 1)])
        fields.append([name, size])
    rows = [[cells.get((r, c)) for c in range(c0, c1 + 1)] for r in range(r0 + 1, r1 + 1)]
    result.update(fields=fields, rows=rows)
    return result


def run_dump(dump, path, timeout):
    """xls_dump's table, or {'crash': text} / {'error': n, ...}."""
    try:
        proc = subprocess.run([dump, path], capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return {"crash": "hung (over %ss)" % timeout}
    if proc.returncode not in (0, 2):
        return {"crash": "exit %d %s" % (proc.returncode, proc.stderr.decode(errors="replace")[-200:])}
    lines = proc.stdout.decode("utf-8").splitlines()
    head = json.loads(lines[0])
    if "error" in head:
        return head
    rows = []
    for line in lines[1:]:
        row = []
        for v in json.loads(line):
            if v is None:
                row.append(None)
            elif v[0] in ("n", "d"):
                row.append((v[0], float(v[1])) + tuple(v[2:]))
            else:
                row.append((v[0], v[1]))
        rows.append(row)
    head["rows"] = rows
    return head


def same_number(a, b):
    return a == b or (math.isnan(a) and math.isnan(b))


def compare(actual, expected):
    """Kinds of difference between the dump and xlrd's table (empty: equal)."""
    kinds = {}

    def note(kind, detail):
        kinds.setdefault(kind, detail)

    if actual.get("table") != expected.get("table"):
        note("table", "%r vs %r" % (actual.get("table"), expected.get("table")))
        return kinds
    a_fields, e_fields = actual["fields"], expected["fields"]
    if [f[0] for f in a_fields] != [f[0] for f in e_fields]:
        note("names", "%r vs %r" % ([f[0] for f in a_fields][:8], [f[0] for f in e_fields][:8]))
    if len(actual["rows"]) != len(expected["rows"]) or len(a_fields) != len(e_fields):
        note("shape", "%dx%d vs %dx%d" % (len(actual["rows"]), len(a_fields), len(expected["rows"]), len(e_fields)))
        return kinds
    for r, (arow, erow) in enumerate(zip(actual["rows"], expected["rows"])):
        for c, (a, e) in enumerate(zip(arow, erow)):
            where = "row %d col %d: %r vs %r" % (r + 1, c + 1, a, e)
            if a is None or e is None:
                if not (a is None and e is None):
                    note("null", where)
            elif a[0] != e[0]:
                note("kind %s/%s" % (a[0], e[0]), where)
            elif a[0] in ("n", "d"):
                if not same_number(a[1], e[1]):
                    note("number", where)
                elif a[0] == "d" and a[2] != date_text(e[1]):
                    note("date text", where)
            elif a[1] != e[1]:
                note("text" if a[0] == "t" else "boolean", where)
    if not kinds and [f[1] for f in a_fields] != [f[1] for f in e_fields]:
        note("sizes", "%r vs %r" % ([f[1] for f in a_fields][:8], [f[1] for f in e_fields][:8]))
    return kinds


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    failed = 0
    for path in args.files:
        expected = expected_table(path)
        actual = run_dump(args.dump, path, 60)
        if "error" in expected or "error" in actual or "crash" in actual:
            ok = expected.get("error") is not None and expected.get("error") == actual.get("error")
            print("%s %s: xlrd %s, reader %s" % ("ok  " if ok else "FAIL", path, expected.get("error", "opens"),
                                                  actual.get("crash") or actual.get("description") or "opens"))
            failed += not ok
            continue
        kinds = compare(actual, expected)
        if kinds:
            failed += 1
            print("FAIL %s:" % path)
            for kind, detail in kinds.items():
                print("     %s: %s" % (kind, detail))
        else:
            print("ok   %s: %d fields, %d rows" % (path, len(actual["fields"]), len(actual["rows"])))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
