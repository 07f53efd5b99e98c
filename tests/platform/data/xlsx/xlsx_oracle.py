#!/usr/bin/python3
"""Checks the .xlsx reader against python3-openpyxl (Debian).

    xlsx_oracle.py --dump BUILD/xls_dump FILE...
    xlsx_oracle.py --dump BUILD/xls_dump --fixtures   (the workbooks make_xlsx.py writes)

For each workbook, runs the dump tool (the first table as the conversion
run reads it) and builds the same table from what openpyxl reads with
data_only=True: the first worksheet (visible ones in workbook order, then
hidden ones), its used range by content, the first row as field names,
DefinedSize as the widest text form in code page 936 bytes. Two of
openpyxl's readings are replaced by the rules the reader keeps, so that
they are compared and not assumed:
- dates: openpyxl's own date guess is switched off; a number is a date when
  its style's number format is one by the .xls rule (date_rule below), with
  1462 days added in 1904 workbooks;
- text: openpyxl leaves "_xHHHH_" escapes as written (and removes
  "x005F_"); Excel decodes them, and so does the reader: the raw text is
  taken and decoded here by that rule.
Two things openpyxl does to cells on loading are switched off, since they
are not what the file stores: it empties every cell but the first of a
merged range, and gives an empty cell with a hyperlink the link's text.
Exits 1 when any workbook differs. xlsx_corpus.py uses expected_table()
over a folder of real-world workbooks.
"""
import argparse
import datetime
import os
import re
import sys
import tempfile

import openpyxl
import openpyxl.reader.excel
import openpyxl.reader.strings
import openpyxl.worksheet._reader
from openpyxl.cell.text import Text
from openpyxl.xml.functions import iterparse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "xls"))
import xls_oracle  # noqa: E402

DAYS_1904 = 1462
MAIN_SI = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}si"

# openpyxl's date guess off: numbers stay numbers, judged by date_rule.
_original_init = openpyxl.worksheet._reader.WorkSheetParser.__init__


def _no_dates_init(self, *args, **kwargs):
    _original_init(self, *args, **kwargs)
    self.date_formats = set()
    self.timedelta_formats = set()


openpyxl.worksheet._reader.WorkSheetParser.__init__ = _no_dates_init


def _raw_string_table(xml_source):
    """Shared strings as written (openpyxl would remove "x005F_")."""
    strings = []
    for _, node in iterparse(xml_source):
        if node.tag == MAIN_SI:
            strings.append(Text.from_tree(node).content)
            node.clear()
    return openpyxl.utils.indexed_list.IndexedList(strings)


openpyxl.reader.excel.read_string_table = _raw_string_table
openpyxl.worksheet._reader.WorksheetReader.bind_merged_cells = lambda self: None
openpyxl.worksheet._reader.WorksheetReader.bind_hyperlinks = lambda self: None

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def decode_escapes(text):
    """Excel's "_xHHHH_" escapes decoded (surrogate pairs joined; NUL and
    unpaired surrogates kept as written), as the reader does."""
    out, i = [], 0
    while i < len(text):
        m = ESCAPE.match(text, i)
        if not m:
            out.append(text[i])
            i += 1
            continue
        c, used = int(m.group(1), 16), 7
        if 0xD800 <= c <= 0xDBFF:
            low = ESCAPE.match(text, i + 7)
            low_value = int(low.group(1), 16) if low else 0
            c = 0x10000 + ((c - 0xD800) << 10) + (low_value - 0xDC00) if 0xDC00 <= low_value <= 0xDFFF else -1
            used = 14
        if c <= 0 or 0xD800 <= c <= 0xDFFF:
            out.append(text[i])
            i += 1
            continue
        out.append(chr(c))
        i += used
    return "".join(out)


def builtin_date_format(index):
    return 14 <= index <= 22 or 27 <= index <= 36 or 45 <= index <= 47 or 50 <= index <= 58


def date_format_code(code):
    quoted = bracketed = False
    i = 0
    while i < len(code):
        c = code[i]
        if quoted:
            quoted = c != '"'
        elif bracketed:
            bracketed = c != "]"
        elif c == '"':
            quoted = True
        elif c == "[":
            bracketed = True
        elif c in "\\_*":
            i += 1
        elif c in "yYmMdDhHsS":
            return True
        i += 1
    return False


def date_rule(book, cell):
    """True when the cell's style shows a date, by the .xls rule. openpyxl
    renumbers custom formats from 164 (and a custom code equal to a built-in
    one takes the built-in id)."""
    fid = cell._style.numFmtId if cell.has_style else 0
    if fid >= 164:
        return date_format_code(book._number_formats[fid - 164])
    return builtin_date_format(fid)


def serial_of(moment):
    """An ISO date cell's value (a datetime, date or time) as a serial of the
    1900 system, the phantom 1900-02-29 counted."""
    if isinstance(moment, datetime.time):
        return (moment.hour * 3600 + moment.minute * 60 + moment.second + moment.microsecond / 1e6) / 86400
    if not isinstance(moment, datetime.datetime):
        moment = datetime.datetime(moment.year, moment.month, moment.day)
    delta = moment - datetime.datetime(1899, 12, 30)
    days = delta.days - (1 if delta.days < 61 else 0)
    return days + delta.seconds / 86400 + delta.microseconds / 86400e6


def cell_value(book, cell, date1904):
    v = cell.value
    if v is None or cell.data_type == "e":
        return None
    if isinstance(v, bool):
        return ("b", v)
    if isinstance(v, (int, float)):
        if date_rule(book, cell):
            return ("d", float(v) + (DAYS_1904 if date1904 else 0))
        return ("n", float(v))
    if isinstance(v, (datetime.datetime, datetime.date, datetime.time)):
        serial = serial_of(v)
        return ("d", serial) if serial >= 0 else ("t", v.isoformat())
    text = decode_escapes(str(v))
    return ("t", text) if text else None


def expected_table(path):
    """The first table as openpyxl sees it, like the dump's."""
    book = openpyxl.load_workbook(path, data_only=True)
    sheets = book.worksheets
    sheets = [s for s in sheets if s.sheet_state == "visible"] + [s for s in sheets if s.sheet_state != "visible"]
    if not sheets:
        return {"error": 1104}
    sh = sheets[0]
    date1904 = book.epoch.year == 1904
    cells = {}
    for (r, c), cell in sh._cells.items():
        v = cell_value(book, cell, date1904)
        if v is not None:
            cells[(r - 1, c - 1)] = v
    result = {"table": xls_oracle.table_name(sh.title).replace("'", "")}
    if not cells:
        result.update(fields=[], rows=[])
        return result
    r0, r1 = min(r for r, _ in cells), max(r for r, _ in cells)
    c0, c1 = min(c for _, c in cells), max(c for _, c in cells)
    fields = []
    for c in range(c0, c1 + 1):
        h = cells.get((r0, c))
        name = xls_oracle.text_form(h) if h is not None else "F%d" % (c - c0 + 1)
        size = max([1] + [xls_oracle.cp936_length(xls_oracle.text_form(cells.get((r, c)))) for r in range(r0 + 1, r1 + 1)])
        fields.append([name, size])
    rows = [[cells.get((r, c)) for c in range(c0, c1 + 1)] for r in range(r0 + 1, r1 + 1)]
    result.update(fields=fields, rows=rows)
    return result


def without_empty_text(table):
    """Empty text and an empty cell print alike: compared as one."""
    for row in table.get("rows", []):
        for i, v in enumerate(row):
            if v == ("t", ""):
                row[i] = None
    return table


def compare(actual, expected):
    return xls_oracle.compare(without_empty_text(actual), without_empty_text(expected))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--fixtures", action="store_true")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as scratch:
        files = list(args.files)
        given = {}  # expected tables of fixtures openpyxl cannot read
        if args.fixtures:
            import make_xlsx
            for name, fixture in make_xlsx.FIXTURES.items():
                path = os.path.join(scratch, name + ".xlsx")
                make_xlsx.write(path, fixture)
                files.append(path)
                if "expect" in fixture:
                    given[path] = fixture["expect"]
        failed = 0
        for path in files:
            try:
                expected = dict(given[path], rows=[list(r) for r in given[path]["rows"]]) if path in given \
                    else expected_table(path)
            except Exception as e:  # openpyxl cannot read it: nothing to compare with
                print("skip %s: openpyxl: %s: %s" % (os.path.basename(path), type(e).__name__, str(e)[:80]))
                continue
            actual = xls_oracle.run_dump(args.dump, path, 60)
            if "error" in expected or "error" in actual or "crash" in actual:
                ok = expected.get("error") is not None and expected.get("error") == actual.get("error")
                print("%s %s: openpyxl %s, reader %s" % ("ok  " if ok else "FAIL", os.path.basename(path),
                                                        expected.get("error", "opens"),
                                                        actual.get("crash") or actual.get("description") or "opens"))
                failed += not ok
                continue
            kinds = compare(actual, expected)
            if kinds:
                failed += 1
                print("FAIL %s:" % os.path.basename(path))
                for kind, detail in kinds.items():
                    print("     %s: %s" % (kind, detail))
            else:
                print("ok   %s: %d fields, %d rows" % (os.path.basename(path), len(actual["fields"]), len(actual["rows"])))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
