#!/usr/bin/python3
"""Checks what a Windows exe carries: its imports, version information,
icon and manifest.

usage: check_exe.py EXE ORIGINAL_FILENAME OBJDUMP WINDRES

As a module: problems(...) gives what is wrong, for the package checks.

The exe must import only Windows' own DLLs (it is linked statically, so it
runs with nothing installed), and carry the identity resource: language
0804 with code page 04B0, version 1.0.0.0 / "1.00", "brasmo", the internal
name excel转dbf, its file name, the 16 and 32 pixel 256-colour icons, and the
manifest (common controls 6, per-monitor DPI awareness, Windows 7 to 11, no
UTF-8 active code page).
"""
import re
import subprocess
import sys

WINDOWS_DLLS = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
                "msvcrt.dll", "ole32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
                "uxtheme.dll"}
VERSION_LINES = [
    "FILEVERSION 1, 0, 0, 0", "PRODUCTVERSION 1, 0, 0, 0", 'BLOCK "080404b0"',
    'VALUE "FileVersion", "1.00"', 'VALUE "ProductVersion", "1.00"',
    'VALUE "ProductName", "brasmo"', 'VALUE "InternalName", L"excel\\x8f6cdbf"',
    'VALUE "Translation", 0x804, 1200',
]
MANIFEST_PARTS = [
    'name=""Microsoft.Windows.Common-Controls"" version=""6.0.0.0""',
    ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
]


def original_filename_line(name):
    if name.isascii():
        return f'VALUE "OriginalFilename", "{name}"'
    escaped = "".join(c if c.isascii() else f"\\x{ord(c):x}" for c in name)
    return f'VALUE "OriginalFilename", L"{escaped}"'


# The subsystem each shipped exe is built for: the window starts with no
# console, the command line with one.
SUBSYSTEMS = {"excel转dbf.exe": "(Windows GUI)", "excel2dbf-cli.exe": "(Windows CUI)"}


def problems(exe, original, objdump, windres):
    """(what is wrong, the DLLs imported)."""
    found = []
    headers = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    dlls = re.findall(r"DLL Name: (\S+)", headers)
    foreign = [d for d in dlls if d.lower() not in WINDOWS_DLLS]
    if not dlls or foreign:
        found.append(f"imports {dlls}: not Windows' own: {foreign}")
    subsystem = re.search(r"^Subsystem\s+\S+\s+(.*)$", headers, re.M)
    wanted = SUBSYSTEMS.get(original)
    if wanted and (not subsystem or subsystem.group(1).strip() != wanted):
        found.append(f"subsystem {subsystem and subsystem.group(1)}, not {wanted}")
    rc = subprocess.run([windres, "-i", exe, "-J", "coff", "-O", "rc"], capture_output=True,
                        text=True, check=True).stdout
    for line in VERSION_LINES + [original_filename_line(original)]:
        if line not in rc:
            found.append(f"version information lacks {line}")
    if "LANGUAGE 4, 2" not in rc:
        found.append("resources not in Chinese (Simplified): LANGUAGE 4, 2")
    for size in ("\\020\\020", "\\040\\040"):
        if not re.search(re.escape(f'"{size}\\000\\000", 1, 8,'), rc):
            found.append(f"no 256-colour icon {size}")
    for part in MANIFEST_PARTS:
        if part not in rc:
            found.append(f"manifest lacks {part}")
    if "<activeCodePage" in rc:
        found.append("manifest sets an active code page")
    return found, dlls


def main():
    exe, original, objdump, windres = sys.argv[1:5]
    problems_found, dlls = problems(exe, original, objdump, windres)
    for p in problems_found:
        print(f"{exe}: {p}")
    print(f"{exe}: imports {', '.join(dlls)}")
    return 1 if problems_found else 0


if __name__ == "__main__":
    sys.exit(main())
