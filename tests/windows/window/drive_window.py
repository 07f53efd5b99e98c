#!/usr/bin/python3
"""excel转dbf.exe under Wine and Xvfb, driven as a person drives it: keys
typed with xdotool, windows waited for by their titles, what the window
shows read back with window_probe.exe, the .dbf read back with dbfread.

usage: drive_window.py BUILD_DIR EXE PROBE CASE
       drive_window.py BUILD_DIR EXE PROBE shot PNG [DPI]

CASE is one of: convert, overwrite_yes, overwrite_no, refusal, error.
`shot` converts the sample workbook and saves a picture of the window,
frame and caption included.

Nothing waits on a fixed sleep alone: windows are waited for with
`xdotool search --sync`, everything else by polling with a deadline.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))
from display import Display  # noqa: E402
from roundtrip import compare  # noqa: E402

CAPTION = "转换工具"
MESSAGE_TITLE = "Quenmar软件"
# The sample's header names are renamed or cut: a completed run sums that up.
SUMMARY = "dbf 文件已经生成，但有些内容与工作簿不同："
SAVE_AS_TITLE = "另存为"
SAMPLE = os.path.join(SOURCE_DIR, "examples", "sample.xls")
REFUSAL = "请不要选择中文名称的文件夹，建议保存到D盘根目录"
DECLINED = " 没有覆盖，原文件未改动"
OVERWRITE_PROMPT = "dbf文件已经存在,是否覆盖?"
TIMEOUT = 60


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


class Failure(Exception):
    pass


def wait_until(what, condition, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.1)


class Session:
    """One run of the exe on its own display."""

    def __init__(self, display, exe, probe):
        self.env = display.env
        self.exe = exe
        self.probe_exe = probe
        self.process = None

    def start(self):
        self.process = subprocess.Popen(["wine", self.exe], env=self.env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        try:
            window = self.wait_window(CAPTION, timeout=20)
        except Failure:
            # The first Wine program on a new display now and then never
            # maps its window; a person would start it again.
            print("the window did not appear; starting the exe again")
            self.stop()
            self.process = subprocess.Popen(["wine", self.exe], env=self.env,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            window = self.wait_window(CAPTION)
        # The keyboard goes where the pointer is while no window manager
        # hands the focus around.
        self.xdotool("mousemove", "--window", window, "10", "10")
        wait_until("the focus in txtexcel", lambda: self.focused() == "txtexcel")

    def xdotool(self, *args, timeout=TIMEOUT):
        done = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True,
                              timeout=timeout)
        if done.returncode != 0:
            raise Failure(f"xdotool {' '.join(args)}: {done.stderr.strip()}")
        return done.stdout.strip()

    def wait_window(self, title, timeout=TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Failure(f"no window {title}")
            try:
                found = self.xdotool("search", "--sync", "--onlyvisible", "--name", f"^{title}$",
                                     timeout=left)
                return found.split()[0]
            except subprocess.TimeoutExpired:
                raise Failure(f"no window {title}") from None
            except Failure as failure:
                # xdotool walks the window tree and gives up when a window
                # it listed is destroyed before it reads it (Wine's dialogs
                # come and go as they close); the search is then asked again.
                if "BadWindow" not in str(failure):
                    raise
                time.sleep(0.1)

    def keys(self, *names):
        self.xdotool("key", "--delay", "60", *names)

    def type(self, text):
        self.xdotool("type", "--delay", "30", text)

    def probe(self, title):
        """The rows window_probe.exe prints for the window, or None."""
        done = subprocess.run(["wine", self.probe_exe, title], env=self.env, capture_output=True,
                              timeout=TIMEOUT)
        if done.returncode != 0:
            return None
        rows = [line.split("\t") for line in done.stdout.decode("utf-8").splitlines()]
        return [r[:6] + [r[6].replace("\\n", "\n")] for r in rows[1:] if len(r) == 7]

    # The form's controls come in tab order (the form's table): its boxes
    # and buttons in turn, and the status line as the last label.
    def controls(self):
        rows = self.probe(CAPTION) or []
        edits = [r for r in rows if r[0].lower() == "edit"]
        labels = [r for r in rows if r[0].lower() == "static"]
        buttons = [r for r in rows if r[0].lower() == "button"]
        if len(edits) != 2 or len(buttons) != 4 or not labels:
            return {}
        names = ["txtexcel", "txtdbf", "cmdexcel", "cmddbf", "cmd转换", "cmd退出", "lblstat"]
        return dict(zip(names, edits + buttons + labels[-1:]))

    def text(self, control):
        return self.controls()[control][6]

    def focused(self):
        return next((name for name, row in self.controls().items() if row[3] == "1"), None)

    def message(self):
        """The message box on screen: (icon, text)."""
        self.wait_window(MESSAGE_TITLE)
        rows = wait_until("the message box's text", lambda: self.probe(MESSAGE_TITLE))
        return self.message_shown(rows)

    @staticmethod
    def message_shown(rows):
        icon = next((r[5] for r in rows if r[5] != "-"), "-")
        text = "\n".join(r[6] for r in rows if r[0].lower() == "static" and r[6])
        return icon, text

    def wait_message_gone(self, shown=None):
        """Until no message box is on screen, or one other than `shown`."""
        def gone():
            rows = self.probe(MESSAGE_TITLE)
            return rows is None or (shown is not None and self.message_shown(rows) != shown)
        wait_until("the message box to close", gone)

    def type_paths(self, workbook, target):
        self.type(windows_path(workbook))
        self.keys("Tab", "Tab")  # past 浏览 to txtdbf
        self.type(windows_path(target))

    def convert(self):
        self.keys("Tab", "Tab")  # past 浏览 to 转换
        wait_until("the focus on 转换", lambda: self.focused() == "cmd转换")
        self.keys("Return")

    def finish(self):
        """Waits for a completed run and closes its summary of changes."""
        status = self.wait_status(lambda s: s.endswith(" 完成"), "the run to finish")
        icon, text = self.message()
        expect(icon == "information" and text.startswith(SUMMARY), f"summary {icon} {text!r}")
        self.keys("Return")
        self.wait_message_gone()
        return status, text

    def wait_status(self, predicate, what):
        return wait_until(what, lambda: (lambda s: s if predicate(s) else None)(self.text("lblstat")))

    def exit(self):
        """退出 by the keyboard; the exe's exit status."""
        wait_until("the focus after the run", lambda: self.focused() is not None)
        while self.focused() != "cmd退出":
            self.keys("Tab")
        self.keys("Return")
        return self.process.wait(timeout=TIMEOUT)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def expect(condition, message):
    if not condition:
        raise Failure(message)


def check_converted(workbook, target):
    problems = compare(workbook, target)
    expect(not problems, f"{target}: {problems}")


def case_convert(session, folder):
    target = os.path.join(folder, "out.dbf")
    session.type_paths(SAMPLE, target)
    session.convert()
    status, summary = session.finish()
    expect(status == " 已经导入 5 条记录 完成", f"status line {status!r}")
    print(summary)
    check_converted(SAMPLE, target)
    expect(sorted(os.listdir(folder)) == ["out.dbf"], f"files left: {os.listdir(folder)}")
    expect(session.exit() == 0, "exit status after 退出 not 0")


def overwrite(session, folder, answer):
    target = os.path.join(folder, "out.dbf")
    old = b"not a dbf: the file the user already has\n"
    with open(target, "wb") as f:
        f.write(old)
    session.type_paths(SAMPLE, target)
    session.convert()
    icon, text = session.message()
    expect((icon, text) == ("information", OVERWRITE_PROMPT), f"prompt {icon} {text!r}")
    session.keys(answer)
    session.wait_message_gone((icon, text))
    return target, old


def case_overwrite_yes(session, folder):
    target, _ = overwrite(session, folder, "Return")  # Yes is the default button
    session.finish()
    check_converted(SAMPLE, target)
    expect(session.exit() == 0, "exit status not 0")


def case_overwrite_no(session, folder):
    target, old = overwrite(session, folder, "n")  # 否(N)
    session.wait_status(lambda s: s == DECLINED, "the declined status line")
    with open(target, "rb") as f:
        expect(f.read() == old, "the declined target was changed")
    expect(sorted(os.listdir(folder)) == ["out.dbf"], f"files left: {os.listdir(folder)}")
    expect(session.exit() == 0, "exit status not 0")


def focus_on(session, control):
    """Tabs until the control has the focus, as a person would."""
    for _ in range(8):
        if wait_until("the form's focus", lambda: session.focused()) == control:
            return
        session.keys("Tab")
    raise Failure("Tab never reached " + control)


def file_name_box(session):
    rows = session.probe(SAVE_AS_TITLE) or []
    return next((r[6] for r in rows if r[0].lower() == "comboboxex32"), None)


def save_as(session, path):
    """Types the path into the second 浏览's dialog and presses Enter.

    Keys typed before the dialog's name box takes the keyboard are lost now
    and then under load; the name is checked before Enter, and a dialog
    whose box did not take it all is cancelled and opened again.
    """
    name = windows_path(path)
    for _ in range(3):
        focus_on(session, "cmddbf")
        session.keys("space")
        session.wait_window(SAVE_AS_TITLE)
        wait_until("the dialog's name box", lambda: file_name_box(session) is not None)
        session.type(name)
        try:
            wait_until("the name typed", lambda: file_name_box(session) == name, timeout=10)
        except Failure:
            session.keys("Escape")
            wait_until("the dialog closed", lambda: file_name_box(session) is None)
            continue
        session.keys("Return")
        return
    raise Failure("the Save As dialog never took the name " + name)


def case_refusal(session, folder):
    chinese = os.path.join(folder, "数据")
    os.mkdir(chinese)
    save_as(session, os.path.join(chinese, "out.dbf"))
    icon, text = session.message()
    expect((icon, text) == ("information", REFUSAL), f"refusal {icon} {text!r}")
    session.keys("Return")
    session.wait_message_gone()
    expect(session.text("txtdbf") == "", "a refused target reached txtdbf")
    # A Chinese file name in a folder without one is taken, and Save As
    # adds .dbf to a name typed without an extension.
    save_as(session, os.path.join(folder, "数据表"))
    want = windows_path(os.path.join(folder, "数据表.dbf"))
    wait_until("txtdbf to take the Chinese file name", lambda: session.text("txtdbf") == want)
    expect(not os.path.exists(os.path.join(folder, "数据表.dbf")), "Save As created the file")
    expect(session.exit() == 0, "exit status not 0")


def case_error(session, folder):
    # The sample cut short: its compound file names sectors past the end.
    damaged = os.path.join(folder, "damaged.xls")
    with open(SAMPLE, "rb") as source, open(damaged, "wb") as f:
        f.write(source.read()[:2048])
    session.type_paths(damaged, os.path.join(folder, "out.dbf"))
    session.convert()
    icon, text = session.message()
    expect(icon == "error" and text.startswith("错误 1103："), f"error report {icon} {text!r}")
    session.keys("Return")
    status = session.process.wait(timeout=TIMEOUT)
    expect(status == 1, f"exit status {status} after the error report, not 1")
    expect(os.listdir(folder) == ["damaged.xls"], f"files left: {os.listdir(folder)}")


def save_png(path, width, height, pixels):
    """`pixels`: rows of BGRX bytes, as X hands them over."""
    rows = []
    for y in range(height):
        row = pixels[y * width * 4:(y + 1) * width * 4]
        rgb = bytearray(width * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::4], row[1::4], row[0::4]
        rows.append(b"\0" + bytes(rgb))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b""))


def screenshot(session, png):
    from Xlib import X, display as xdisplay
    window = int(session.wait_window(CAPTION))
    screen = xdisplay.Display(session.env["DISPLAY"])
    try:
        geometry = screen.create_resource_object("window", window).get_geometry()
        # Wine's own frame and caption are part of its X window.
        image = screen.screen().root.get_image(geometry.x, geometry.y, geometry.width,
                                               geometry.height, X.ZPixmap, 0xFFFFFFFF)
        save_png(png, geometry.width, geometry.height, image.data)
    finally:
        screen.close()


def case_shot(session, folder, png):
    target = os.path.join(folder, "out.dbf")
    session.type_paths(SAMPLE, target)
    session.convert()
    session.finish()
    screenshot(session, png)
    session.exit()


CASES = {"convert": case_convert, "overwrite_yes": case_overwrite_yes,
         "overwrite_no": case_overwrite_no, "refusal": case_refusal, "error": case_error}


def main():
    build_dir, exe, probe, case = sys.argv[1:5]
    dpi = int(sys.argv[6]) if case == "shot" and len(sys.argv) > 6 else 96
    folder = tempfile.mkdtemp(prefix="e2d-window-")
    started = time.monotonic()
    try:
        with Display(build_dir, dpi) as display:
            session = Session(display, exe, probe)
            try:
                session.start()
                if case == "shot":
                    case_shot(session, folder, os.path.abspath(sys.argv[5]))
                else:
                    CASES[case](session, folder)
            finally:
                session.stop()
    except Failure as failure:
        print(f"{case}: {failure}")
        return 1
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print(f"{case}: passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
