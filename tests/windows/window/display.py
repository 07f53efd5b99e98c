#!/usr/bin/python3
"""A display for Windows programs under Wine in the tests' prefix.

As a module: Display(build_dir, dpi) starts Xvfb on a free display, sets
the prefix to draw windows at `dpi` with their own captions, and gives the
environment to run Wine in; leaving it stops Xvfb.

As a program (a CROSSCOMPILING_EMULATOR):
    display.py BUILD_DIR PROGRAM.exe [ARGS...]
runs the program under Wine on such a display, at the DPI that
E2D_DISPLAY_DPI names (96 without it), and exits with its status.

With no window manager, Wine would leave a window's caption to one; with
"Decorated" off it draws the caption, frame and close box itself, as
Windows does. The DPI is the system's (LogPixels), read when a program
starts. Display tests share the prefix's settings, so they run one at a
time (CTest's RESOURCE_LOCK).
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_ENV = os.path.join(HERE, "..", "wine_env.sh")

REGISTRY = """Windows Registry Editor Version 5.00\r
\r
[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r
"Decorated"="N"\r
"Managed"="N"\r
\r
[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r
"LogPixels"=dword:{dpi:08x}\r
"""


def wine_environment(build_dir):
    """The environment wine_env.sh gives every Wine process of the tests."""
    out = subprocess.run(["sh", "-c", '. "$0" "$1" && exec env -0', WINE_ENV, build_dir],
                         capture_output=True, check=True).stdout
    return dict(entry.split("=", 1) for entry in out.decode().split("\0") if "=" in entry)


def _process_info(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            cmdline = f.read()
        with open(f"/proc/{pid}/environ", "rb") as f:
            environ = dict(e.split(b"=", 1) for e in f.read().split(b"\0") if b"=" in e)
    except OSError:
        return None, None
    return cmdline, environ


def drop_headless_desktops(prefix, timeout=10):
    """Ends the prefix's desktop process if it was started with no display.

    The fixture's first Wine programs start explorer.exe /desktop with no
    display; while it lives, a window made on a display fails to be created.
    Wine starts a new one, on the next program's display, when it is needed.
    """
    wanted = prefix.encode()
    deadline = time.monotonic() + timeout
    while True:
        headless = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            cmdline, environ = _process_info(pid)
            if cmdline and b"explorer.exe" in cmdline and environ.get(b"WINEPREFIX") == wanted \
                    and b"DISPLAY" not in environ:
                headless.append(int(pid))
        if not headless:
            return
        if time.monotonic() > deadline:
            raise RuntimeError("the Wine desktop without a display did not end")
        for pid in headless:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.2)


class Display:
    def __init__(self, build_dir, dpi=96, size="1024x768"):
        self.build_dir = os.path.abspath(build_dir)
        self.dpi = dpi
        self.size = size
        self.env = None
        self.xvfb = None

    def __enter__(self):
        self.env = wine_environment(self.build_dir)
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", self.size + "x24", "-nolisten", "tcp",
             "-noreset"], pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as numbers:
            number = numbers.readline().strip()  # written once Xvfb takes connections
        if not number:
            self.xvfb.kill()
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        drop_headless_desktops(self.env["WINEPREFIX"])
        self._set_registry()
        return self

    def __exit__(self, *exc):
        self.xvfb.terminate()
        try:
            self.xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.xvfb.kill()
            self.xvfb.wait()
        return False

    def _set_registry(self):
        with tempfile.NamedTemporaryFile("wb", suffix=".reg", delete=False) as f:
            f.write(REGISTRY.format(dpi=self.dpi).encode("utf-16"))
            path = f.name
        try:
            subprocess.run(["wine", "regedit", "/S", "Z:" + path.replace("/", "\\")], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True,
                           timeout=60)
        finally:
            os.unlink(path)


def main():
    build_dir, program = sys.argv[1], sys.argv[2:]
    with Display(build_dir, int(os.environ.get("E2D_DISPLAY_DPI", "96"))) as display:
        return subprocess.run(["wine"] + program, env=display.env).returncode


if __name__ == "__main__":
    sys.exit(main())
