#!/usr/bin/env python3
# Writes resources/velmot.ico, Velmot's application / notification-area icon:
# a yellow crescent moon and white "z"s ("asleep") on a dark-blue rounded
# square with transparent corners.  The file holds two 16-colour (4 bpp) DIB
# images, 32x32 then 16x16, each drawn by hand below as a pixel grid (one
# character per pixel, see COLOURS) rather than scaled, so the small one stays
# crisp.  Standard library only and deterministic; to regenerate after editing
# a grid, run:  python3 resources/make_icon.py
import os
import struct

# The standard 16-colour Windows palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# Grid character -> palette index; "." is transparent (AND mask bit set).
COLOURS = {".": 0, "K": 0, "N": 4, "Y": 11, "W": 15}

ICON_32 = [
    "..KKKKKKKKKKKKKKKKKKKKKKKKKKKK..",
    ".KKNNNNNNNNNNNNNNNNNNNNNNNNNNKK.",
    "KKNNNNNNNNNNNNNNNNNNNNNNNNNNNNKK",
    "KNNNNNNNNNNNNNNNNNNNNNNWWWWWNNNK",
    "KNNNNNNNNNNNNNNNNNNNNNNNNNWNNNNK",
    "KNNNNNNNNNNNNNNNNNNNNNNNNWNNNNNK",
    "KNNNNNNNNNNNNNNNNNNNNNNNWNNNNNNK",
    "KNNNNNNNNNNNNNNNNNNNNNNWWWWWNNNK",
    "KNNNNNNNNNYYNNNNNNNNNNNNNNNNNNNK",
    "KNNNNNNNNYYYNNNNNNNNNNNNNNNNNNNK",
    "KNNNNNNYYYYNNNNWWWWWWWNNNNNNNNNK",
    "KNNNNNYYYYYNNNNWWWWWWWNNNNNNNNNK",
    "KNNNNNYYYYYNNNNNNNNWWNNNNNNNNNNK",
    "KNNNNYYYYYYNNNNNNNWWNNNNNNNNNNNK",
    "KNNNYYYYYYYNNNNNNWWNNNNNNNNNNNNK",
    "KNNNYYYYYYYYNNNNWWNNNNNNNNNNNNNK",
    "KNNNYYYYYYYYNNNWWWWWWWNNNNNNNNNK",
    "KNNNYYYYYYYYYNNWWWWWWWNNNNNNNNNK",
    "KNNNYYYYYYYYYNNNNNNNNNNNNNNNNNNK",
    "KNNNYYYYYYYYYYNNNNNNNNNNNNNNNNNK",
    "KNNNYYYYYYYYYYYYNNNNNNNNNNNNNNNK",
    "KNNNYYYYYYYYYYYYYYNNNNNYYNNNNNNK",
    "KNNNYYYYYYYYYYYYYYYYYYYYYNNNNNNK",
    "KNNNNYYYYYYYYYYYYYYYYYYYNNNNNNNK",
    "KNNNNNYYYYYYYYYYYYYYYYYNNNNNNNNK",
    "KNNNNNYYYYYYYYYYYYYYYYYNNNNNNNNK",
    "KNNNNNNYYYYYYYYYYYYYYYNNNNNNNNNK",
    "KNNNNNNNNYYYYYYYYYYYNNNNNNNNNNNK",
    "KNNNNNNNNNYYYYYYYYYNNNNNNNNNNNNK",
    "KKNNNNNNNNNNNNNNNNNNNNNNNNNNNNKK",
    ".KKNNNNNNNNNNNNNNNNNNNNNNNNNNKK.",
    "..KKKKKKKKKKKKKKKKKKKKKKKKKKKK..",
]

ICON_16 = [
    "..NNNNNNNNNNNN..",
    ".NNNNNNNNNNNWWW.",
    "NNNNNNNNNNNNNNWN",
    "NNNYYNNNNNNNNWNN",
    "NNYYNNNNNNNNWWWN",
    "NYYYNNWWWWWNNNNN",
    "NYYYNNNNNWNNNNNN",
    "NYYYNNNNWNNNNNNN",
    "NYYYNNNWNNNNNNNN",
    "NYYYYNWWWWWNNNNN",
    "NYYYYNNNNNNNNNNN",
    "NNYYYYYNNNNNYNNN",
    "NNYYYYYYYYYYYNNN",
    "NNNYYYYYYYYYNNNN",
    ".NNNNYYYYYYNNNN.",
    "..NNNNNNNNNNNN..",
]


def pack_rows(grid, bpp, pixel):
    """DIB rows, bottom-up, each padded to a multiple of 4 bytes."""
    out = b""
    for row in reversed(grid):
        bits = "".join(format(pixel(c), "0%db" % bpp) for c in row)
        bits += "0" * (-len(bits) % 32)
        out += int(bits, 2).to_bytes(len(bits) // 8, "big")
    return out


def dib(grid):
    size = len(grid)
    assert all(len(row) == size for row in grid)
    xor = pack_rows(grid, 4, lambda c: COLOURS[c])
    mask = pack_rows(grid, 1, lambda c: c == ".")
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + xor + mask


def ico(grids):
    images = [dib(g) for g in grids]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for grid, image in zip(grids, images):
        out += struct.pack("<BBBBHHII", len(grid), len(grid), 16, 0, 1, 4,
                           len(image), offset)
        offset += len(image)
    return out + b"".join(images)


if __name__ == "__main__":
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "velmot.ico")
    with open(path, "wb") as f:
        f.write(ico([ICON_32, ICON_16]))
    print("wrote", path)
