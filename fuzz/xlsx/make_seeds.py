#!/usr/bin/python3
"""Writes seeds for the .xlsx fuzz targets: the workbooks that
tests/platform/data/xlsx/make_xlsx.py makes, and their XML parts one by
one (each with a trailing byte that picks the fuzzer's piece size).

usage: make_seeds.py FOLDER   (makes FOLDER/xlsx and FOLDER/xml)
"""
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "platform", "data", "xlsx"))
import make_xlsx  # noqa: E402

EXTRA_XML = [
    b'<?xml version="1.0" encoding="UTF-8"?><a x="1" y=\'2\'>t&amp;&#x4E2D;&#20013;<![CDATA[<b>]]><!-- c --><?p d?></a>',
    b'\xef\xbb\xbf<x:a xmlns:x="u" xml:space="preserve"><x:b/>\r\n</x:a>',
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?><a>中</a>".encode("utf-16"),
]


def main():
    folder = sys.argv[1]
    books = os.path.join(folder, "xlsx")
    parts = os.path.join(folder, "xml")
    os.makedirs(books, exist_ok=True)
    os.makedirs(parts, exist_ok=True)
    for name, fixture in make_xlsx.FIXTURES.items():
        path = os.path.join(books, name + ".xlsx")
        make_xlsx.write(path, fixture)
        with zipfile.ZipFile(path) as z:
            for i, info in enumerate(z.infolist()):
                with open(os.path.join(parts, "%s-%d.xml" % (name, i)), "wb") as f:
                    f.write(z.read(info) + bytes([i * 37 % 256]))
    for i, data in enumerate(EXTRA_XML):
        with open(os.path.join(parts, "extra-%d.xml" % i), "wb") as f:
            f.write(data + b"\x00")


if __name__ == "__main__":
    main()
