#!/usr/bin/python3
"""Every workbook through the Windows command line under Wine and through
the Linux one: the same exit status, the same messages and the same .dbf,
byte for byte.

usage: roundtrip.py WINE_RUN BUILD_DIR WINDOWS_CLI LINUX_CLI WORKBOOK...

The two runs happen moments apart, so the header's date of last update
(bytes 1-3) may differ across midnight; those bytes are compared apart:
each must be a valid date no more than a day from today. The exe under test
is the one shipped, with no hook to fix its clock.

Each workbook goes through twice on Windows: as it is, and copied into a
folder with a Chinese name under a Chinese file name (the arguments reach
the program in UTF-16).
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile

DATE = slice(1, 4)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def header_date(dbf):
    yy, mm, dd = dbf[DATE]
    try:
        return datetime.date(1900 + yy, mm, dd)
    except ValueError:
        return None


def run(command):
    done = subprocess.run(command, capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def differences(linux_dbf, windows_dbf):
    problems = []
    today = datetime.date.today()
    for name, dbf in (("linux", linux_dbf), ("windows", windows_dbf)):
        date = header_date(dbf)
        if date is None or abs((date - today).days) > 1:
            problems.append(f"{name}: header date {dbf[DATE].hex()} is not today")
    masked = [dbf[:DATE.start] + b"\0\0\0" + dbf[DATE.stop:] for dbf in (linux_dbf, windows_dbf)]
    if masked[0] != masked[1]:
        first = next((i for i, (a, b) in enumerate(zip(*masked)) if a != b), min(map(len, masked)))
        problems.append(f"the .dbf files differ from byte {first} "
                        f"({len(linux_dbf)} and {len(windows_dbf)} bytes)")
    return problems


def check(wine, windows_cli, linux_cli, workbook, folder, label):
    linux_target = os.path.join(folder, "linux", label + ".dbf")
    windows_target = os.path.join(folder, "windows", label + ".dbf")
    linux = run([linux_cli, "-y", workbook, linux_target])
    windows = run(wine + [windows_cli, "-y", windows_path(workbook), windows_path(windows_target)])
    problems = []
    if windows[0] != linux[0]:
        problems.append(f"exit {windows[0]} on Windows, {linux[0]} on Linux: {windows[2]}")
    # Messages name the paths, which differ: compare them with the paths out.
    strip = [(linux_target, "TARGET"), (windows_path(windows_target), "TARGET"),
             (workbook, "WORKBOOK"), (windows_path(workbook), "WORKBOOK")]
    texts = []
    for out in (linux, windows):
        text = (out[1] + out[2]).replace("\r\n", "\n")
        for path, name in strip:
            text = text.replace(path, name)
        texts.append(text)
    if texts[0] != texts[1]:
        problems.append(f"messages differ:\n      linux:   {texts[0]!r}\n      windows: {texts[1]!r}")
    exists = [os.path.exists(p) for p in (linux_target, windows_target)]
    if exists[0] != exists[1]:
        problems.append(f"a .dbf on {'Linux' if exists[0] else 'Windows'} only")
    elif exists[0]:
        with open(linux_target, "rb") as a, open(windows_target, "rb") as b:
            problems += differences(a.read(), b.read())
    return problems


def main():
    wine_run, build_dir, windows_cli, linux_cli = sys.argv[1:5]
    wine = [wine_run, build_dir]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        os.makedirs(os.path.join(folder, "linux"))
        os.makedirs(os.path.join(folder, "windows"))
        chinese = os.path.join(folder, "工资 表")
        os.makedirs(chinese)
        for workbook in sys.argv[5:]:
            name = os.path.basename(workbook)[:-4]
            copy = os.path.join(chinese, "样本 " + name + ".xls")
            shutil.copyfile(workbook, copy)
            for path, label in ((workbook, name), (copy, "结果 " + name)):
                problems = check(wine, windows_cli, linux_cli, path, folder, label)
                print(("ok  " if not problems else "FAIL") + " " + label)
                for p in problems:
                    print("    " + p)
                failures += bool(problems)
    print(f"{failures} of {2 * (len(sys.argv) - 5)} runs differ")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
