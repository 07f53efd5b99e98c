#!/usr/bin/python3
"""Makes the benchmark workbooks, the same bytes every time (seeded), into a
scratch folder: medium 10,000 x 10, big 65,535 x 30, wide 65,535 x 200,
and the 1x/2x/4x series for the linearity check. Each as .xls (xlwt) and,
with the same values, as .xlsx (the parts written here as Excel writes
them: shared strings, a date style, one <c> per cell).

usage: make_workbooks.py FOLDER [NAME ...]
"""

import datetime
import os
import random
import sys

import zipfile
from xml.sax.saxutils import escape

import xlwt

CHINESE = "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动同工也能下过子说产种面而方后多定行学法所民得经十三之进着等部度家电力里如水化高自二理起小物现实加量都两体制机当使点从业本去把性好应开它合还因由其些然前外天政四日那社义事平形相全表间样与关各重新线内数正心反你明看原又么利比或但质气第向道命此变条只没结解问意建月公无系军很情者最立代想已通并提直题党程展五果料象员革位入常文总次品式活设及管特件长求老头基资边流路级少图山统接知较将组见计别她手角期根论运农指几九区强放决西被干做必战先回则任取据处队南给色光门即保治北造百规热领七海口东导器压志世金增争济阶油思术极交受联什认六共权收证改清己美再采转更单风切打白教速花带安场身车例真务具万每目至达走积示议声报斗完类八离华名确才科张信马节话米整空元况今集温传土许步群广石记需段研界拉林律叫且究观越织装影算低持音众书布复容儿须际商非验连断深难近矿千周委素技备半办青省列习响约支般史感劳便团往酸历市克何除消构府称太准精值号率族维划选标写存候毛亲快效斯院查江型眼王按格养易置派层片始却专状育厂京识适属圆包火住调满县局照参红细引听该铁价严"
WORDS = ["Apple", "Orange", "Ledger", "Invoice", "North", "Account", "Total", "Beijing", "O'Brien", "A&B"]


def value(rng, kind, row):
    if kind == 0:
        return "".join(rng.choice(CHINESE) for _ in range(rng.randint(2, 12)))
    if kind == 1:
        return " ".join(rng.choice(WORDS) for _ in range(rng.randint(1, 4)))
    if kind == 2:
        return rng.randint(-10**6, 10**11)
    if kind == 3:
        return round(rng.uniform(-1e5, 1e5), rng.randint(0, 4))
    if kind == 4:
        return datetime.date(1990, 1, 1) + datetime.timedelta(days=rng.randint(0, 12000))
    return None  # empty


def cells(rows, cols, seed):
    """The header row, then (row, column, kind, value) of every data cell
    that is not empty, in order."""
    rng = random.Random(seed)
    kinds = [c % 5 for c in range(cols)]
    for c in range(cols):
        yield 0, c, 1, "列%d" % (c + 1) if c % 3 else "Field%d" % (c + 1)
    for r in range(1, rows + 1):
        for c in range(cols):
            kind = kinds[c] if rng.random() > 0.05 else 5
            v = value(rng, kind, r)
            if v is not None:
                yield r, c, kind, v


def make(path, rows, cols, seed):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("数据")
    date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    for r, c, kind, v in cells(rows, cols, seed):
        if kind == 4:
            sheet.write(r, c, v, date_style)
        else:
            sheet.write(r, c, v)
    book.save(path)


def column_name(c):
    name = ""
    c += 1
    while c:
        c, rest = divmod(c - 1, 26)
        name = chr(65 + rest) + name
    return name


XLSX_MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
XLSX_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
XLSX_PARTS = {
    "[Content_Types].xml":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
        '<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
        '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
        '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/></Types>',
    "_rels/.rels":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="%s/officeDocument" Target="xl/workbook.xml"/></Relationships>' % XLSX_REL,
    "xl/workbook.xml":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook xmlns="%s" xmlns:r="%s"><workbookPr/>'
        '<sheets><sheet name="数据" sheetId="1" r:id="rId1"/></sheets></workbook>' % (XLSX_MAIN, XLSX_REL),
    "xl/_rels/workbook.xml.rels":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="%s/worksheet" Target="worksheets/sheet1.xml"/>'
        '<Relationship Id="rId2" Type="%s/sharedStrings" Target="sharedStrings.xml"/>'
        '<Relationship Id="rId3" Type="%s/styles" Target="styles.xml"/></Relationships>' % (XLSX_REL, XLSX_REL, XLSX_REL),
    "xl/styles.xml":
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<styleSheet xmlns="%s">'
        '<numFmts count="1"><numFmt numFmtId="164" formatCode="yyyy\\-mm\\-dd"/></numFmts>'
        '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
        '<fills count="1"><fill><patternFill patternType="none"/></fill></fills>'
        '<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
        '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
        '<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
        '<xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/></cellXfs>'
        '</styleSheet>' % XLSX_MAIN,
}


def make_xlsx(path, rows, cols, seed):
    strings = {}
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in XLSX_PARTS.items():
            z.writestr(zipfile.ZipInfo(name, (1980, 1, 1, 0, 0, 0)), text, zipfile.ZIP_DEFLATED)
        info = zipfile.ZipInfo("xl/worksheets/sheet1.xml", (1980, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        with z.open(info, "w") as sheet:
            sheet.write(('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet xmlns="%s" xmlns:r="%s">'
                         '<dimension ref="A1:%s%d"/><sheetData>' % (XLSX_MAIN, XLSX_REL, column_name(cols - 1), rows + 1)).encode())
            row, out = None, []
            for r, c, kind, v in cells(rows, cols, seed):
                if r != row:
                    if row is not None:
                        out.append("</row>")
                    out.append('<row r="%d">' % (r + 1))
                    row = r
                ref = column_name(c) + str(r + 1)
                if kind in (0, 1):
                    index = strings.setdefault(v, len(strings))
                    out.append('<c r="%s" t="s"><v>%d</v></c>' % (ref, index))
                elif kind == 4:
                    out.append('<c r="%s" s="1"><v>%d</v></c>' % (ref, (v - datetime.date(1899, 12, 30)).days))
                else:
                    out.append('<c r="%s"><v>%r</v></c>' % (ref, v))
                if len(out) > 10000:
                    sheet.write("".join(out).encode())
                    out = []
            out.append("</row></sheetData></worksheet>")
            sheet.write("".join(out).encode())
        items = "".join("<si><t>%s</t></si>" % escape(s) for s in strings)
        z.writestr(zipfile.ZipInfo("xl/sharedStrings.xml", (1980, 1, 1, 0, 0, 0)),
                   '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="%s" count="%d" uniqueCount="%d">%s</sst>' % (
                       XLSX_MAIN, len(strings), len(strings), items), zipfile.ZIP_DEFLATED)


SETS = {
    "medium": (10000, 10),
    "big": (65535, 30),
    "wide": (65535, 200),
    # Linearity: 1x is medium itself.
    "medium2x": (20000, 10),
    "medium4x": (40000, 10),
}


def main():
    folder = sys.argv[1]
    names = sys.argv[2:] or list(SETS)
    os.makedirs(folder, exist_ok=True)
    for name in names:
        rows, cols = SETS[name]
        for extension, writer in ((".xls", make), (".xlsx", make_xlsx)):
            path = os.path.join(folder, name + extension)
            if os.path.exists(path):
                continue
            print("making %s (%d x %d)" % (path, rows, cols), flush=True)
            writer(path + ".tmp", rows, cols, seed=rows * 31 + cols)
            os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
