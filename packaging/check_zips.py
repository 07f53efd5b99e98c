#!/usr/bin/python3
"""Checks the Windows zips that make_zips.py wrote: each holds exactly the
window, the command line and 使用说明.txt, and each exe, as it is in the
zip, is built for the zip's architecture and passes check_exe.py (Windows'
own DLLs only, version information, icon, manifest).

usage: check_zips.py ZIP_DIR [ARCH...]     (ARCH: x64, x86; both without)
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "windows"))
import check_exe  # noqa: E402

VERSION = "1.00"
ENTRIES = ["excel转dbf.exe", "excel2dbf-cli.exe", "使用说明.txt"]
# The binutils of each architecture and the format objdump names.
ARCHES = {"x64": ("x86_64-w64-mingw32-", "pei-x86-64"), "x86": ("i686-w64-mingw32-", "pei-i386")}


def unicode_path(info):
    """The UTF-8 name of Info-ZIP's 0x7075 field, if it matches the stored name."""
    extra = info.extra
    while len(extra) >= 4:
        kind, size = struct.unpack_from("<HH", extra)
        body = extra[4:4 + size]
        if kind == 0x7075 and len(body) >= 5:
            version, crc = struct.unpack_from("<BI", body)
            if version == 1 and crc == zlib.crc32(info.filename.encode("cp936")):
                return body[5:].decode("utf-8", "replace")
        extra = extra[4 + size:]
    return None


def check_zip(path, arch, folder):
    tools, file_format = ARCHES[arch]
    found = []
    with zipfile.ZipFile(path, metadata_encoding="cp936") as z:
        names = [i.filename for i in z.infolist()]
        if sorted(names) != sorted(ENTRIES):
            return [f"entries {names}, not {ENTRIES}"], {}
        for info in z.infolist():
            if not info.filename.isascii() and unicode_path(info) != info.filename:
                found.append(f"{info.filename}: no matching UTF-8 name (0x7075 field)")
        z.extractall(folder)
    imports = {}
    for exe in ENTRIES[:2]:
        exe_path = os.path.join(folder, exe)
        headers = subprocess.run([tools + "objdump", "-f", exe_path], capture_output=True,
                                 text=True, check=True).stdout
        if not re.search(rf"file format {file_format}$", headers, re.M):
            found.append(f"{exe}: not {file_format}")
        problems, dlls = check_exe.problems(exe_path, exe, tools + "objdump", tools + "windres")
        found += [f"{exe}: {p}" for p in problems]
        imports[exe] = dlls
    return found, imports


def main():
    zip_dir = sys.argv[1]
    failed = False
    for arch in sys.argv[2:] or list(ARCHES):
        path = os.path.join(zip_dir, f"excel2dbf-{VERSION}-windows-{arch}.zip")
        if not os.path.exists(path):
            print(f"{path}: missing")
            failed = True
            continue
        with tempfile.TemporaryDirectory() as folder:
            problems, imports = check_zip(path, arch, folder)
        for p in problems:
            print(f"{path}: {p}")
        for exe, dlls in imports.items():
            print(f"{path}: {exe} imports {', '.join(dlls)}")
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
