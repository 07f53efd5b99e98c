#!/usr/bin/python3
"""A conversion that runs out of room must fail with error 61 ("磁盘已满")
and leave the existing target byte for byte.

Where the machine lets us mount, the target folder is a 1 MiB tmpfs whose
old target already takes half of it; otherwise the file-size limit
(RLIMIT_FSIZE, SIGXFSZ ignored in the child) plays the full disk.

    disk_full.py CLI
"""

import os
import resource
import signal
import subprocess
import sys
import tempfile

import xlwt

OLD = b"old target that must survive\n" * 18000  # about 512 KiB


def workbook(path):
    """About 2 MB of dBase rows."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Sheet1")
    for c in range(5):
        sheet.write(0, c, "Col%d" % c)
    for r in range(1, 20001):
        for c in range(5):
            sheet.write(r, c, "值 %d-%d 填满一点" % (r, c))
    book.save(path)


def try_mount(folder):
    try:
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder],
                              capture_output=True, timeout=10)
        return done.returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def check(cli, source, target, limit_child):
    with open(target, "wb") as f:
        f.write(OLD)

    def child():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (256 * 1024, 256 * 1024))

    run = subprocess.run([cli, "-y", "-q", source, target], capture_output=True, timeout=60,
                         preexec_fn=child if limit_child else None)
    err = run.stderr.decode()
    with open(target, "rb") as f:
        intact = f.read() == OLD
    ok = run.returncode == 1 and err.startswith("错误 61: 磁盘已满") and intact
    print("%s %s: exit %d, %s, old target %s" % ("ok  " if ok else "FAIL",
                                                 "tmpfs of 1 MiB" if not limit_child else "RLIMIT_FSIZE 256 KiB",
                                                 run.returncode, err.strip(), "intact" if intact else "CHANGED"))
    return ok


def main():
    cli = sys.argv[1]
    results = []
    with tempfile.TemporaryDirectory(prefix="e2d-diskfull-") as folder:
        source = os.path.join(folder, "big.xls")
        workbook(source)
        small = os.path.join(folder, "small")
        os.mkdir(small)
        if try_mount(small):
            try:
                results.append(check(cli, source, os.path.join(small, "target.dbf"), False))
            finally:
                subprocess.run(["umount", small], check=False)
        else:
            print("skip tmpfs: mounting is not permitted here")
        results.append(check(cli, source, os.path.join(folder, "target.dbf"), True))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
