#!/usr/bin/python3
"""Makes the benchmark workbooks, the same bytes every time (seeded), into a
scratch folder: medium 10,000 x 10, big 65,535 x 30, wide 65,535 x 200,
and the 1x/2x/4x series for the linearity check.

usage: make_workbooks.py FOLDER [NAME ...]
"""

import datetime
import os
import random
import sys

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


def make(path, rows, cols, seed):
    rng = random.Random(seed)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("数据")
    date_style = xlwt.easyxf(num_format_str="YYYY-MM-DD")
    kinds = [c % 5 for c in range(cols)]
    for c in range(cols):
        sheet.write(0, c, "列%d" % (c + 1) if c % 3 else "Field%d" % (c + 1))
    for r in range(1, rows + 1):
        for c in range(cols):
            kind = kinds[c] if rng.random() > 0.05 else 5
            v = value(rng, kind, r)
            if v is None:
                continue
            if kind == 4:
                sheet.write(r, c, v, date_style)
            else:
                sheet.write(r, c, v)
    book.save(path)


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
        path = os.path.join(folder, name + ".xls")
        if os.path.exists(path):
            continue
        rows, cols = SETS[name]
        print("making %s (%d x %d)" % (path, rows, cols), flush=True)
        make(path + ".tmp", rows, cols, seed=rows * 31 + cols)
        os.replace(path + ".tmp", path)


if __name__ == "__main__":
    main()
