#!/usr/bin/python3
"""Makes the Windows zips: excel2dbf-1.00-windows-ARCH.zip in OUT_DIR, each
with the exes given for its architecture and 使用说明.txt.

usage: make_zips.py OUT_DIR ARCH=EXE[,EXE...]...

The instructions go in as UTF-8 with a BOM and CRLF line ends, which
Notepad on every Windows from 7 on shows right. Names in the zip are
stored in code page 936 without the UTF-8 flag: the zip folders of Windows
7 and 8 read names in the system's OEM code page (936 on Chinese Windows)
and ignore the flag. Each non-ASCII name also carries its UTF-8 form in an
Info-ZIP Unicode Path field, which 7-Zip and unzip read on any system.
"""
import os
import struct
import sys
import zipfile
import zlib

VERSION = "1.00"
HERE = os.path.dirname(os.path.abspath(__file__))
INSTRUCTIONS = "使用说明.txt"


class Cp936Name(zipfile.ZipInfo):
    """An entry whose name is written in code page 936, without the flag."""

    def _encodeFilenameFlags(self):  # zipfile's own hook for the name's bytes
        return self.filename.encode("cp936"), self.flag_bits & ~0x800


def unicode_path_field(name):
    """Info-ZIP's 0x7075 field: version 1, the CRC of the stored name, UTF-8."""
    utf8 = name.encode("utf-8")
    body = struct.pack("<BI", 1, zlib.crc32(name.encode("cp936"))) + utf8
    return struct.pack("<HH", 0x7075, len(body)) + body


def entry(name):
    info = Cp936Name(name, date_time=(2026, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0  # MS-DOS: names in the OEM code page
    if not name.isascii():
        info.extra = unicode_path_field(name)
    return info


def instructions():
    with open(os.path.join(HERE, INSTRUCTIONS), encoding="utf-8") as f:
        text = f.read()
    return "\ufeff".encode() + text.replace("\r\n", "\n").replace("\n", "\r\n").encode()


def make_zip(out_dir, arch, exes):
    path = os.path.join(out_dir, f"excel2dbf-{VERSION}-windows-{arch}.zip")
    with zipfile.ZipFile(path, "w") as z:
        for exe in exes:
            with open(exe, "rb") as f:
                z.writestr(entry(os.path.basename(exe)), f.read())
        z.writestr(entry(INSTRUCTIONS), instructions())
    return path


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for argument in sys.argv[2:]:
        arch, exes = argument.split("=", 1)
        path = make_zip(out_dir, arch, exes.split(","))
        with zipfile.ZipFile(path, metadata_encoding="cp936") as z:
            names = [i.filename for i in z.infolist()]
            if any(i.flag_bits & 0x800 for i in z.infolist()):
                sys.exit(f"{path}: a name is flagged UTF-8")
        print(f"{path}: {', '.join(names)} ({os.path.getsize(path)} bytes)")


if __name__ == "__main__":
    main()
