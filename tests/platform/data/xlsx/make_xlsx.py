#!/usr/bin/python3
"""Writes small .xlsx workbooks from hand-written XML with Python's zipfile,
for the oracle test (xlsx_oracle.py) and as fuzzing seeds.

    make_xlsx.py FOLDER     writes every fixture of FIXTURES into FOLDER

Each fixture is a dict: sheets [(name, state, sheet XML body)], shared
strings (XML of <si> items), styles (cellXfs numFmtIds and custom
numFmts), and the container's options (stored, data descriptors, Zip64,
backslashes, strict namespaces, prefixes).
"""
import io
import os
import sys
import zipfile

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
STRICT_MAIN = "http://purl.oclc.org/ooxml/spreadsheetml/main"
STRICT_REL = "http://purl.oclc.org/ooxml/officeDocument/relationships"


class Unseekable(io.RawIOBase):
    """A write-only stream: zipfile then writes data descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def rel_type(strict, kind):
    return (STRICT_REL if strict else REL) + "/" + kind


def relationships(items):
    body = "".join('<Relationship Id="%s" Type="%s" Target="%s"/>' % item for item in items)
    return '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="%s">%s</Relationships>' % (
        PKG_REL, body)


def styles_xml(fixture):
    num_fmts = fixture.get("num_fmts", {})
    xfs = fixture.get("xf_num_fmts", [0])
    out = '<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="%s">' % MAIN
    if num_fmts:
        out += '<numFmts count="%d">' % len(num_fmts)
        for fid, code in num_fmts.items():
            out += '<numFmt numFmtId="%d" formatCode="%s"/>' % (fid, code.replace("&", "&amp;").replace('"', "&quot;"))
        out += "</numFmts>"
    out += '<cellStyleXfs count="1"><xf numFmtId="0"/></cellStyleXfs>'
    out += '<cellXfs count="%d">' % len(xfs)
    out += "".join('<xf numFmtId="%d" xfId="0" applyNumberFormat="1"/>' % f for f in xfs)
    return out + "</cellXfs></styleSheet>"


def parts(fixture):
    """The parts of a fixture as (name, text) in writing order."""
    strict = fixture.get("strict", False)
    main = STRICT_MAIN if strict else MAIN
    rel = STRICT_REL if strict else REL
    prefix = fixture.get("prefix", "")  # e.g. "x:" writes every element with that prefix
    p = prefix
    xmlns = ('xmlns:%s="%s"' % (prefix[:-1], main)) if prefix else ('xmlns="%s"' % main)
    wb_part = fixture.get("workbook_part", "xl/workbook.xml")
    wb_dir, wb_file = wb_part.rsplit("/", 1)
    out = []
    out.append(("_rels/.rels", relationships([("rId1", rel_type(strict, "officeDocument"),
                                                fixture.get("office_target", wb_part))])))
    sheets = fixture["sheets"]
    wb_rels = []
    sheet_elements = ""
    for i, sheet in enumerate(sheets):
        name, state, body = sheet[0], sheet[1], sheet[2]
        kind = sheet[3] if len(sheet) > 3 else "worksheet"
        target = fixture.get("sheet_targets", {}).get(i, "worksheets/sheet%d.xml" % (i + 1))
        wb_rels.append(("rId%d" % (i + 1), rel_type(strict, kind), target))
        state_attr = ' state="%s"' % state if state else ""
        sheet_elements += '<%ssheet name="%s" sheetId="%d"%s r:id="rId%d"/>' % (p, name, i + 1, state_attr, i + 1)
        root = "chartsheet" if kind == "chartsheet" else "worksheet"
        part_name = os.path.normpath(target.lstrip("/") if target.startswith("/") else wb_dir + "/" + target)
        out.append((part_name, '<?xml version="1.0" encoding="UTF-8"?><%s%s %s xmlns:r="%s">%s</%s%s>' % (
            p, root, xmlns, rel, body, p, root)))
        if kind == "chartsheet":  # openpyxl needs a relationship part beside a chartsheet
            folder, file = part_name.rsplit("/", 1)
            out.append((folder + "/_rels/" + file + ".rels", relationships([])))
    n = len(sheets)
    if "shared_strings" in fixture:
        wb_rels.append(("rId%d" % (n + 1), rel_type(strict, "sharedStrings"), fixture.get("sst_target", "sharedStrings.xml")))
        items = fixture["shared_strings"]
        out.append((wb_dir + "/" + fixture.get("sst_target", "sharedStrings.xml"),
                     '<?xml version="1.0" encoding="UTF-8"?><%ssst %s count="%d" uniqueCount="%d">%s</%ssst>' % (
                         p, xmlns, len(items), len(items), "".join(items), p)))
    wb_rels.append(("rId%d" % (n + 2), rel_type(strict, "styles"), "styles.xml"))
    out.append((wb_dir + "/styles.xml", styles_xml(fixture)))
    pr = fixture.get("workbook_pr", "")
    out.insert(1, (wb_part,
                   '<?xml version="1.0" encoding="UTF-8"?><%sworkbook %s xmlns:r="%s">%s<%ssheets>%s</%ssheets></%sworkbook>' % (
                       p, xmlns, rel, pr, p, sheet_elements, p, p)))
    out.insert(2, (wb_dir + "/_rels/" + wb_file + ".rels", relationships(wb_rels)))
    out.insert(0, ("[Content_Types].xml", content_types(out)))
    return out


CONTENT_TYPES = {
    "workbook": "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "worksheet": "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml",
    "chartsheet": "application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml",
    "sst": "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml",
    "styleSheet": "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml",
}


def content_types(out):
    """[Content_Types].xml naming each part by its root element (readers
    such as openpyxl find the workbook through it)."""
    overrides = ""
    for name, text in out:
        for root, kind in CONTENT_TYPES.items():
            if (":" + root + " ") in text[:300] or ("<" + root + " ") in text[:300]:
                overrides += '<Override PartName="/%s" ContentType="%s"/>' % (name, kind)
                break
    return ('<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '<Default Extension="xml" ContentType="application/xml"/>%s</Types>' % overrides)


def write(path, fixture):
    stored = fixture.get("stored", False)
    descriptors = fixture.get("descriptors", False)
    target = Unseekable() if descriptors else open(path, "wb")
    with zipfile.ZipFile(target, "w", zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED) as z:
        for name, text in parts(fixture):
            if fixture.get("backslashes"):
                name = name.replace("/", "\\")
            with z.open(name, "w", force_zip64=fixture.get("zip64", False)) as entry:
                entry.write(text.encode("utf-8"))
    if descriptors:
        with open(path, "wb") as f:
            f.write(bytes(target.data))
    elif not target.closed:
        target.close()


def c(ref, value, t=None, s=None):
    attrs = ' r="%s"' % ref if ref else ""
    if t:
        attrs += ' t="%s"' % t
    if s is not None:
        attrs += ' s="%d"' % s
    return "<c%s><v>%s</v></c>" % (attrs, value)


def row(r, cells):
    return '<row r="%d">%s</row>' % (r, "".join(cells)) if r else "<row>%s</row>" % "".join(cells)


FIXTURES = {
    "basic": {
        "sheets": [("Sheet1", None, "<sheetData>" +
                    row(1, [c("A1", 0, "s"), c("B1", 1, "s"), c("C1", 2, "s")]) +
                    row(2, [c("A2", 3, "s"), c("B2", "3.1400000000000001"), c("C2", "1", "b")]) +
                    row(3, [c("A3", 4, "s"), c("B3", "-2.5E-3"), c("C3", "0", "b")]) +
                    "</sheetData>")],
        "shared_strings": ["<si><t>名称</t></si>", "<si><t>Price</t></si>", "<si><t>OK</t></si>",
                           "<si><t>苹果</t></si>", "<si><t xml:space=\"preserve\"> O'Brien &amp; Co </t></si>"],
    },
    "dates": {
        "sheets": [("Dates", None, "<sheetData>" +
                    row(1, ['<c r="A1" t="inlineStr"><is><t>When</t></is></c>', '<c r="B1" t="inlineStr"><is><t>Plain</t></is></c>']) +
                    row(2, [c("A2", "45000.5", s=1), c("B2", "45000.5", s=0)]) +
                    row(3, [c("A3", "45000", s=2), c("B3", "0.25", s=3)]) +
                    row(4, [c("A4", "45000", s=4), c("B4", "12", s=5)]) +
                    row(5, [c("A5", "2023-03-15T12:30:00", "d"), c("B5", "45000", s=6)]) +
                    "</sheetData>")],
        "num_fmts": {164: "yyyy-mm-dd hh:mm", 165: '0.00" days"', 166: "[h]:mm", 167: "[Red]0.00\\h", 168: "[$-804]yyyy\"年\"m\"月\"d\"日\""},
        "xf_num_fmts": [0, 22, 164, 166, 14, 165, 168],
    },
    "date1904": {
        "workbook_pr": '<workbookPr date1904="true"/>',
        "sheets": [("S", None, "<sheetData>" +
                    row(1, ['<c r="A1" t="inlineStr"><is><t>D</t></is></c>']) +
                    row(2, [c("A2", "0", s=1)]) + row(3, [c("A3", "43000.75", s=1)]) + "</sheetData>")],
        "xf_num_fmts": [0, 14],
    },
    "sheets": {
        "sheets": [("Hidden", "hidden", "<sheetData>" + row(1, ['<c r="A1" t="inlineStr"><is><t>h</t></is></c>']) + "</sheetData>"),
                   ("Chart", None, "<sheetPr/>", "chartsheet"),
                   ("Sheet 1", None, "<sheetData>" + row(1, ['<c r="A1" t="inlineStr"><is><t>from Sheet 1</t></is></c>']) + "</sheetData>"),
                   ("O'Brien", "visible", "<sheetData>" + row(1, ['<c r="A1" t="inlineStr"><is><t>O&apos;Brien</t></is></c>']) + "</sheetData>"),
                   ("销售_2023", None, "<sheetData>" + row(1, ['<c r="A1" t="inlineStr"><is><t>x</t></is></c>']) + "</sheetData>"),
                   ("Very", "veryHidden", "<sheetData/>")],
    },
    "texts": {
        "sheets": [("T", None, "<sheetData>" +
                    row(1, ['<c r="A1" t="inlineStr"><is><t>Rich</t></is></c>', '<c r="B1" t="inlineStr"><is><t>Formula</t></is></c>',
                            '<c r="C1" t="inlineStr"><is><t>Error</t></is></c>', '<c r="D1" t="inlineStr"><is><t>Entities</t></is></c>']) +
                    row(2, [c("A2", 0, "s"), '<c r="B2" t="str"><f>A2&amp;"!"</f><v>粗体 plain!</v></c>',
                            '<c r="C2" t="e"><f>1/0</f><v>#DIV/0!</v></c>',
                            '<c r="D2" t="inlineStr"><is><r><t>&#x4E2D;&#25991;</t></r><r><rPr><b/></rPr><t><![CDATA[<&>]]></t></r></is></c>']) +
                    row(3, [c("A3", 1, "s"), '<c r="B3"><f>1+1</f><v>2</v></c>', '<c r="C3"><f>NOW()</f></c>',
                            '<c r="D3" t="inlineStr"><is><t>line1\r\nline2</t></is></c>']) +
                    "</sheetData>")],
        "shared_strings": ['<si><r><rPr><b/></rPr><t>粗体</t></r><r><t xml:space="preserve"> plain</t></r>'
                           '<rPh sb="0" eb="1"><t>ふりがな</t></rPh><phoneticPr fontId="1"/></si>',
                           '<si><t>a</t><rPh sb="0" eb="1"><t>ア</t></rPh></si>'],
    },
    "positions": {
        # Rows and cells that skip positions and leave out r.
        "sheets": [("P", None, "<sheetData>" +
                    '<row r="2"><c r="B2" t="inlineStr"><is><t>H1</t></is></c><c t="inlineStr"><is><t>H2</t></is></c>'
                    '<c r="E2" t="inlineStr"><is><t>H4</t></is></c></row>'
                    '<row><c r="B3"><v>1</v></c><c><v>2</v></c></row>'
                    '<row r="6"><c r="D6"><v>3</v></c><c><v>4</v></c></row>'
                    '<row><c><v>5</v></c></row>' +
                    "</sheetData>")],
    },
    "prefixed": {
        "prefix": "x:",
        "sheets": [("Data", None, "<x:sheetData>" +
                    "<x:row r=\"1\"><x:c r=\"A1\" t=\"s\"><x:v>0</x:v></x:c></x:row>"
                    "<x:row r=\"2\"><x:c r=\"A2\"><x:v>7</x:v></x:c></x:row>" +
                    "</x:sheetData>")],
        "shared_strings": ["<x:si><x:t>Key</x:t></x:si>"],
    },
    "strict": {
        # openpyxl reads no strict workbook: the table is given here.
        "expect": {"table": "Strict$", "fields": [["Day", 10]], "rows": [[("d", 1562.0)]]},
        "strict": True,
        "workbook_pr": '<workbookPr date1904="1"/>',
        "sheets": [("Strict", None, "<sheetData>" + row(1, [c("A1", 0, "s")]) + row(2, [c("A2", "100", s=1)]) + "</sheetData>")],
        "shared_strings": ["<si><t>Day</t></si>"],
        "xf_num_fmts": [0, 14],
    },
    "container": {
        # Stored entries with data descriptors and Zip64 extra fields,
        # backslashes, odd part names found through the relationships
        # (openpyxl reads none of that: the table is given here).
        "expect": {"table": "Odd$", "fields": [["s", 1], ["1", 1]], "rows": [[("n", 2.0), ("t", "s")]]},
        "stored": True,
        "descriptors": True,
        "zip64": True,
        "backslashes": True,
        "workbook_part": "Book/Main.XML",
        "office_target": "/book/main.xml",
        "sheet_targets": {0: "../Data/First.xml"},
        "sst_target": "strings/SST.xml",
        "sheets": [("Odd", None, "<sheetData>" + row(1, [c("A1", 0, "s"), c("B1", "1")]) + row(2, [c("A2", "2"), c("B2", 0, "s")]) + "</sheetData>")],
        "shared_strings": ["<si><t>s</t></si>"],
    },
    "empty": {
        "sheets": [("Empty", None, "<sheetData/>")],
    },
}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, fixture in FIXTURES.items():
        write(os.path.join(folder, name + ".xlsx"), fixture)


if __name__ == "__main__":
    main()
