#!/usr/bin/python3
"""The zip of one architecture made from this build's exes by
packaging/make_zips.py, in a fresh folder, and checked by
packaging/check_zips.py as ./run package checks it.

usage: package_test.py ARCH WINDOW_EXE CLI_EXE
"""
import os
import subprocess
import sys
import tempfile

PACKAGING = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "packaging")


def main():
    arch, window_exe, cli_exe = sys.argv[1:4]
    with tempfile.TemporaryDirectory(prefix="e2d-package-") as folder:
        subprocess.run(["/usr/bin/python3", os.path.join(PACKAGING, "make_zips.py"), folder,
                        f"{arch}={window_exe},{cli_exe}"], check=True)
        return subprocess.run(["/usr/bin/python3", os.path.join(PACKAGING, "check_zips.py"), folder,
                               arch]).returncode


if __name__ == "__main__":
    sys.exit(main())
