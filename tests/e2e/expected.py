"""What a workbook should become, computed independently of our code.

xlrd (Debian's python3-xlrd) reads the workbook; the text forms, the width
rule and the field-name rule are written out here again, from their
descriptions, so that a fault in our C++ does not hide in the oracle too.
"""

import math
import os

import xlrd

MAX_WIDTH = 100
NAME_BYTES = 10
LAST_SERIAL_DAY = 2958465


def number_text(value):
    if value == 0:
        return "0"
    if math.isnan(value):
        return "NAN"
    if math.isinf(value):
        return "INF" if value > 0 else "-INF"
    return "%.15G" % value


def _civil(serial_day):
    import datetime
    if serial_day == 60:
        return "1900-02-29"
    base = datetime.date(1899, 12, 31) if serial_day < 60 else datetime.date(1899, 12, 30)
    return (base + datetime.timedelta(days=serial_day)).isoformat()


def date_text(serial):
    if not serial >= 0 or serial >= LAST_SERIAL_DAY + 1:
        return number_text(serial)
    # round half away from zero, like llround
    total = int(math.floor(serial * 86400 + 0.5))
    day, seconds = divmod(total, 86400)
    if day > LAST_SERIAL_DAY:
        return number_text(serial)
    clock = "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)
    if day == 0:
        return clock
    if seconds == 0:
        return _civil(day)
    return _civil(day) + " " + clock


def cell_text(cell, datemode):
    kind = cell.ctype
    if kind in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK, xlrd.XL_CELL_ERROR):
        return None
    if kind == xlrd.XL_CELL_TEXT:
        return cell.value
    if kind == xlrd.XL_CELL_NUMBER:
        return number_text(cell.value)
    if kind == xlrd.XL_CELL_DATE:
        serial = cell.value + (1462 if datemode == 1 else 0)
        return date_text(serial)
    if kind == xlrd.XL_CELL_BOOLEAN:
        return "True" if cell.value else "False"
    raise ValueError("unknown cell type %r" % kind)


def cp936(text):
    out = bytearray()
    for ch in text:
        try:
            out += ch.encode("cp936")
        except UnicodeEncodeError:
            out += ch.encode("gb18030")
    return bytes(out)


def decode_cp936(data):
    """Code page 936 with four-byte GB18030 forms, as our files hold it."""
    out = []
    i = 0
    while i < len(data):
        b = data[i]
        if b < 0x80:
            out.append(chr(b))
            i += 1
        elif b == 0x80:
            out.append("\u20ac")
            i += 1
        elif i + 3 < len(data) and 0x30 <= data[i + 1] <= 0x39:
            out.append(data[i:i + 4].decode("gb18030"))
            i += 4
        else:
            out.append(data[i:i + 2].decode("cp936"))
            i += 2
    return "".join(out)


def cut(data, limit):
    """The longest prefix of code page 936 bytes within limit that does not
    split a character."""
    i = 0
    while i < len(data):
        b = data[i]
        width = 1
        if 0x81 <= b <= 0xFE and i + 1 < len(data):
            width = 4 if (i + 3 < len(data) and 0x30 <= data[i + 1] <= 0x39) else 2
        if i + width > limit:
            break
        i += width
    return data[:i]


def field_names(headers):
    names = []
    seen = set()
    for header in headers:
        base = cut(cp936(header), NAME_BYTES)
        name = base
        suffix = 2
        while name.lower() in seen:
            tail = b"_%d" % suffix
            name = cut(base, NAME_BYTES - len(tail)) + tail
            suffix += 1
        seen.add(name.lower())
        names.append(name)
    return names


def first_sheet(book):
    sheets = [s for s in book.sheets()]
    visible = [s for s in sheets if s.visibility == 0]
    ordered = visible + [s for s in sheets if s.visibility != 0]
    return ordered[0] if ordered else None


def expected_table(path):
    """(field names as bytes, rows of expected texts) or None for no rows."""
    with open(os.devnull, "w") as quiet:
        book = xlrd.open_workbook(path, formatting_info=False, logfile=quiet)
    sheet = first_sheet(book)
    if sheet is None:
        return None
    grid = [[cell_text(sheet.cell(r, c), book.datemode) for c in range(sheet.ncols)]
            for r in range(sheet.nrows)]
    filled = [(r, c) for r, row in enumerate(grid) for c, v in enumerate(row)
              if v is not None and v != ""]
    if not filled:
        return ([], [])
    top = min(r for r, _ in filled)
    bottom = max(r for r, _ in filled)
    left = min(c for _, c in filled)
    right = max(c for _, c in filled)
    table = [row[left:right + 1] for row in grid[top:bottom + 1]]
    headers = [v if v not in (None, "") else "F%d" % (i + 1) for i, v in enumerate(table[0])]
    rows = [[v or "" for v in row] for row in table[1:]]
    widths = []
    for c in range(len(headers)):
        widest = max([len(cp936(r[c])) for r in rows] + [1])
        widths.append(min(widest, MAX_WIDTH))
    # what a reader gets back: cut to the width, trailing spaces dropped
    # (dBase pads with spaces, so they cannot survive any reader)
    texts = [[decode_cp936(cut(cp936(v), widths[c])).rstrip(" ") for c, v in enumerate(r)]
             for r in rows]
    return (field_names(headers), texts, widths)
