#!/usr/bin/python3
"""Writes the code page tables built into the program, from glibc's iconv.

    /usr/bin/python3 src/platform/codepage/make_tables.py

rewrites cp936_data.h and legacy_tables.cpp beside this script. The program
then converts text the same way on every system, with no conversion library
and no table to build at start; tests/platform/codepage/iconv_agreement_test
checks the tables against iconv over every code point.

Code page 936 is taken character by character in the encoding direction (the
first character that iconv gives a two-byte code keeps it, so every code
decodes to one character). Characters it lacks are written in their GB18030
form: a two-byte code for the user-defined areas and the characters GB18030
added in two-byte codes, else a four-byte code, whose ranges are read off
iconv's GB18030 here and computed from them in the program.
"""

import ctypes
import ctypes.util
import errno
import os
import sys

LIBC = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
LIBC.iconv_open.restype = ctypes.c_void_p
LIBC.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
LIBC.iconv.restype = ctypes.c_size_t
LIBC.iconv.argtypes = [ctypes.c_void_p] + [ctypes.c_void_p] * 4
FAILED = ctypes.c_size_t(-1).value

HERE = os.path.dirname(os.path.abspath(__file__))
LEAD_FIRST, LEAD_LAST, TRAIL_FIRST, TRAIL_LAST = 0x81, 0xFE, 0x40, 0xFE
TRAIL_COUNT = TRAIL_LAST - TRAIL_FIRST + 1
# Four-byte codes of the planes above the first follow one another from
# 0x90308130, the 189,000th four-byte code.
SUPPLEMENTARY_START = 189000

# Code pages older workbooks name (BIFF5 CODEPAGE records), with glibc's names.
SINGLE_BYTE = {
    437: "CP437", 737: "CP737", 775: "CP775", 850: "CP850", 852: "CP852",
    855: "CP855", 857: "CP857", 860: "CP860", 861: "CP861", 862: "CP862",
    863: "CP863", 864: "CP864", 865: "CP865", 866: "CP866", 869: "CP869",
    874: "CP874", 1250: "CP1250", 1251: "CP1251", 1252: "CP1252",
    1253: "CP1253", 1254: "CP1254", 1255: "CP1255", 1256: "CP1256",
    1257: "CP1257", 1258: "CP1258", 10000: "MACINTOSH",
    10007: "MAC-CYRILLIC", 10029: "MAC-CENTRALEUROPE",
}
DOUBLE_BYTE = {932: "CP932", 949: "CP949", 950: "CP950"}


class Converter:
    def __init__(self, to, frm):
        self.cd = LIBC.iconv_open(to.encode(), frm.encode())
        if self.cd in (None, FAILED):
            sys.exit(f"iconv has no converter from {frm} to {to}")

    def __call__(self, data):
        """The whole conversion of data, or the errno that stopped it."""
        LIBC.iconv(self.cd, None, None, None, None)
        source = ctypes.create_string_buffer(data, len(data))
        target = ctypes.create_string_buffer(64)
        src = ctypes.c_void_p(ctypes.addressof(source))
        src_left = ctypes.c_size_t(len(data))
        dst = ctypes.c_void_p(ctypes.addressof(target))
        dst_left = ctypes.c_size_t(64)
        if LIBC.iconv(self.cd, ctypes.byref(src), ctypes.byref(src_left),
                      ctypes.byref(dst), ctypes.byref(dst_left)) == FAILED:
            return ctypes.get_errno()
        LIBC.iconv(self.cd, None, None, ctypes.byref(dst), ctypes.byref(dst_left))
        return target.raw[:64 - dst_left.value]


def utf32(c):
    return c.to_bytes(4, "little")


def characters(data):
    return [int.from_bytes(data[i:i + 4], "little") for i in range(0, len(data), 4)]


def cell(lead, trail):
    return (lead - LEAD_FIRST) * TRAIL_COUNT + (trail - TRAIL_FIRST)


def linear(code):
    b = list(code)
    return (((b[0] - 0x81) * 10 + (b[1] - 0x30)) * 126 + (b[2] - 0x81)) * 10 + (b[3] - 0x30)


def bmp():
    return (c for c in range(0x80, 0x10000) if not 0xD800 <= c <= 0xDFFF)


def cp936_tables():
    to_cp936 = Converter("CP936", "UTF-32LE")
    to_gb18030 = Converter("GB18030", "UTF-32LE")
    decode = [0] * ((LEAD_LAST - LEAD_FIRST + 1) * TRAIL_COUNT)
    extras, four = [], []
    for c in bmp():
        code = to_cp936(utf32(c))
        if isinstance(code, bytes) and len(code) == 2 and decode[cell(*code)] == 0:
            decode[cell(*code)] = c
            continue
        if isinstance(code, bytes) and len(code) == 1:
            if code != b"\x80" or c != 0x20AC:
                sys.exit(f"unexpected single byte {code.hex()} for U+{c:04X}")
            # The euro sign is written as 0x80; its GB18030 code A2E3 is
            # still read back as the euro.
        gb = to_gb18030(utf32(c))
        if isinstance(gb, bytes) and len(gb) == 2:
            extras.append((c, gb[0] << 8 | gb[1]))
        elif isinstance(gb, bytes) and len(gb) == 4:
            four.append((c, linear(gb)))
    for c in range(0x10000, 0x110000):
        gb = to_gb18030(utf32(c))
        if isinstance(gb, bytes) and len(gb) == 2:
            extras.append((c, gb[0] << 8 | gb[1]))
        elif not isinstance(gb, bytes) or linear(gb) != SUPPLEMENTARY_START + c - 0x10000:
            sys.exit(f"U+{c:04X}: not at its computed four-byte code")
    for c, code in extras:
        if decode[cell(code >> 8, code & 0xFF)] != 0:
            sys.exit(f"U+{c:04X}: GB18030 code {code:04X} is taken in code page 936")
    return decode, extras, ranges(four)


def ranges(pairs):
    """Runs of characters whose four-byte codes follow one another."""
    runs = []
    for c, index in pairs:
        if runs and runs[-1][0] + runs[-1][2] == c and runs[-1][1] + runs[-1][2] == index:
            runs[-1][2] += 1
        else:
            runs.append([c, index, 1])
    return runs


def single_byte_table(name):
    decode = Converter("UTF-32LE", name)
    for b in range(0x80):
        # glibc's CP864 reads 0x25 as the Arabic percent sign; the program
        # reads the low half as ASCII in every code page, as it always has
        # for text that is all ASCII.
        if characters(decode(bytes([b]))) != [b] and (name, b) != ("CP864", 0x25):
            sys.exit(f"{name}: byte {b:02X} is not ASCII")
    table = []
    for b in range(0x80, 0x100):
        out = decode(bytes([b]))
        table.append(characters(out)[0] if isinstance(out, bytes) and len(out) == 4 else 0)
    return table


def double_byte_table(name):
    """(single: 128 entries, 0xFFFF for a lead byte; pairs: one per cell)."""
    decode = Converter("UTF-32LE", name)
    single, pairs = [], [0] * ((LEAD_LAST - LEAD_FIRST + 1) * TRAIL_COUNT)
    for b in range(0x80, 0x100):
        out = decode(bytes([b]))
        if out == errno.EINVAL:
            if not LEAD_FIRST <= b <= LEAD_LAST:
                sys.exit(f"{name}: lead byte {b:02X} outside {LEAD_FIRST:02X}-{LEAD_LAST:02X}")
            single.append(0xFFFF)
            for trail in range(0x100):
                out = decode(bytes([b, trail]))
                if not isinstance(out, bytes) or len(out) != 4:
                    continue
                if not TRAIL_FIRST <= trail <= TRAIL_LAST:
                    sys.exit(f"{name}: trail byte {trail:02X} outside the table")
                pairs[cell(b, trail)] = characters(out)[0]
        else:
            single.append(characters(out)[0] if isinstance(out, bytes) and len(out) == 4 else 0)
    return single, pairs


def rows(values, width=12):
    return "\n".join("    " + " ".join(f"0x{v:04X}," for v in values[i:i + width])
                     for i in range(0, len(values), width))


def decimal_rows(values, width=16):
    return "\n".join("    " + " ".join(f"{v}," for v in values[i:i + width])
                     for i in range(0, len(values), width))


HEADER = "// Written by make_tables.py from glibc's iconv; do not edit.\n"


def write_cp936(path):
    decode, extras, four = cp936_tables()
    by_code = sorted(range(len(four)), key=lambda i: four[i][1])
    with open(path, "w", encoding="utf-8") as out:
        out.write(HEADER + "#pragma once\n\n#include <cstdint>\n\n"
                  "namespace platform::codepage::cp936 {\n\n"
                  "// Character of each two-byte code: lead 0x81-0xFE, trail 0x40-0xFE,\n"
                  "// at (lead - 0x81) * 191 + (trail - 0x40); 0 where the code has none.\n"
                  f"inline constexpr char16_t kDecode[{len(decode)}] = {{\n{rows(decode)}\n}};\n\n"
                  "// GB18030 two-byte codes of characters code page 936 lacks (and\n"
                  "// A2E3, GB18030's code of the euro sign), by character.\n"
                  "struct TwoByteForm {\n  char32_t character;\n  std::uint16_t code;\n};\n"
                  f"inline constexpr TwoByteForm kGb18030TwoByte[{len(extras)}] = {{\n")
        out.write("\n".join(f"    {{0x{c:04X}, 0x{code:04X}}}," for c, code in extras))
        out.write("\n};\n\n"
                  "// Characters of the basic plane with four-byte GB18030 codes: count\n"
                  "// characters from first take the codes from index on (the code's\n"
                  "// position counted from 0x81308130), by character.\n"
                  "struct FourByteRange {\n  char16_t first;\n  std::uint16_t index;\n"
                  "  std::uint16_t count;\n};\n"
                  f"inline constexpr FourByteRange kGb18030FourByte[{len(four)}] = {{\n")
        out.write("\n".join(f"    {{0x{c:04X}, {i}, {n}}}," for c, i, n in four))
        out.write("\n};\n// The same ranges by index: positions in kGb18030FourByte.\n"
                  f"inline constexpr std::uint16_t kGb18030FourByteByIndex[{len(four)}] = {{\n"
                  f"{decimal_rows(by_code)}\n}};\n\n"
                  "}  // namespace platform::codepage::cp936\n")


def write_legacy(path):
    with open(path, "w", encoding="utf-8") as out:
        out.write(HEADER + '#include "platform/codepage/legacy_tables.h"\n\n'
                  "namespace platform::codepage::legacy {\nnamespace {\n\n")
        for page, name in SINGLE_BYTE.items():
            out.write(f"// {name}, bytes 0x80-0xFF.\n"
                      f"constexpr char16_t kHigh{page}[128] = {{\n{rows(single_byte_table(name))}\n}};\n\n")
        for page, name in DOUBLE_BYTE.items():
            single, pairs = double_byte_table(name)
            out.write(f"// {name}: bytes 0x80-0xFF (0xFFFF for a lead byte), then two-byte codes.\n"
                      f"constexpr char16_t kHigh{page}[128] = {{\n{rows(single)}\n}};\n"
                      f"constexpr char16_t kPairs{page}[{len(pairs)}] = {{\n{rows(pairs)}\n}};\n\n")
        out.write("}  // namespace\n\nconst CodePageTable kTables[] = {\n")
        for page in SINGLE_BYTE:
            out.write(f"    {{{page}, kHigh{page}, nullptr}},\n")
        for page in DOUBLE_BYTE:
            out.write(f"    {{{page}, kHigh{page}, kPairs{page}}},\n")
        out.write("};\nconst std::size_t kTableCount = sizeof kTables / sizeof kTables[0];\n\n"
                  "}  // namespace platform::codepage::legacy\n")


if __name__ == "__main__":
    write_cp936(os.path.join(HERE, "cp936_data.h"))
    write_legacy(os.path.join(HERE, "legacy_tables.cpp"))
