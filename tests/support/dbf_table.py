"""A .dbf file as a dBase reader finds it, checked by its header alone (the
Python side of support/dbf_table.h): version 3, a header of 32 bytes plus
32 per field ending in 0x0D, every field a character field, records as
long as the widths add up to, all the header counts followed by 0x1A."""

import struct


def dbf_problem(data, exact=True):
    """None when data is a complete dBase III table of character fields,
    else what is wrong. With exact, nothing may follow the end-of-file
    byte."""
    if len(data) < 34 or data[0] != 0x03:
        return "no dBase III header"
    count, header, record = struct.unpack_from("<IHH", data, 4)
    if header < 65 or (header - 33) % 32 or header > len(data) or data[header - 1] != 0x0D:
        return "bad header length"
    fields = (header - 33) // 32
    if any(data[32 + 32 * f + 11] != ord("C") for f in range(fields)):
        return "non-character field"
    if 1 + sum(data[32 + 32 * f + 16] for f in range(fields)) != record:
        return "record length is not the sum of the widths"
    end = header + count * record
    if end >= len(data) or data[end] != 0x1A or (exact and len(data) != end + 1):
        return "size %d, header says %d" % (len(data), end + 1)
    return None
