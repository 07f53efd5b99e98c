#!/usr/bin/python3
"""Renders excel2dbf.svg into the program's icon images.

Writes excel2dbf-16.png, excel2dbf-32.png (256-colour PNGs with one
transparent colour) and excel2dbf.ico (both sizes as classic 8-bit
bitmaps with an AND mask). The outputs are committed, so building needs
none of this. Needs rsvg-convert (librsvg2-bin) and PIL (python3-pil).

    res/render_icons.py
"""
import io
import os
import struct
import subprocess

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "excel2dbf.svg")
SIZES = (16, 32)
# Edge pixels at least this opaque are kept; a 256-colour icon has only
# opaque and transparent.
ALPHA_THRESHOLD = 128


def render(size):
    png = subprocess.run(
        ["rsvg-convert", "-w", str(size), "-h", str(size), SOURCE],
        check=True, capture_output=True).stdout
    return Image.open(io.BytesIO(png)).convert("RGBA")


def to_palette(rgba):
    """255 colours for the symbol, index 255 (black) for transparency."""
    opaque = [a >= ALPHA_THRESHOLD for a in rgba.getchannel("A").getdata()]
    symbol = rgba.convert("RGB").quantize(colors=255, method=Image.Quantize.MEDIANCUT,
                                          dither=Image.Dither.NONE)
    palette = symbol.getpalette()[:255 * 3]
    palette += [0, 0, 0] * (256 - len(palette) // 3)
    indices = [i if keep else 255 for i, keep in zip(symbol.getdata(), opaque)]
    image = Image.new("P", rgba.size)
    image.putpalette(palette)
    image.putdata(indices)
    return image, opaque


def ico_entry(image, opaque):
    """One icon image: BITMAPINFOHEADER, palette, pixels, AND mask."""
    width, height = image.size
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    rgb = image.getpalette()
    palette = b"".join(bytes((rgb[3 * i + 2], rgb[3 * i + 1], rgb[3 * i], 0)) for i in range(256))
    pixels = list(image.getdata())
    xor_rows, and_rows = [], []
    mask_stride = ((width + 31) // 32) * 4
    for y in reversed(range(height)):  # bitmaps run bottom-up
        xor_rows.append(bytes(pixels[y * width:(y + 1) * width]))
        bits = bytearray(mask_stride)
        for x in range(width):
            if not opaque[y * width + x]:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def main():
    entries = []
    for size in SIZES:
        image, opaque = to_palette(render(size))
        image.save(os.path.join(HERE, "excel2dbf-%d.png" % size), transparency=255, optimize=True)
        entries.append((size, ico_entry(image, opaque)))
    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    for size, data in entries:
        directory += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 8, len(data), offset)
        offset += len(data)
    with open(os.path.join(HERE, "excel2dbf.ico"), "wb") as out:
        out.write(directory + b"".join(data for _, data in entries))


if __name__ == "__main__":
    main()
