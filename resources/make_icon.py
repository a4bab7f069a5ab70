#!/usr/bin/env python3
# Writes Velmot's icons: a yellow crescent moon and white "z"s ("asleep") on a
# dark-blue rounded square with transparent corners.
#
# - resources/velmot.ico, the device's icon (every build's icon group 101):
#   two 16-colour (4 bpp) DIB images, 32x32 then 16x16, each drawn by hand
#   below as a pixel grid (one character per pixel, see COLOURS) rather than
#   scaled, so the small one stays crisp.
# - resources/velmot_desktop.ico, the same picture for desktop Windows (the
#   desktop build's first icon group): 32-bit colour with alpha at 16, 20, 24,
#   32, 40 and 48 pixels, the notification area's sizes at 100 % to 300 %,
#   each drawn from the shapes in DESKTOP_* below, edges smoothed by sampling
#   every pixel 8 x 8 times, bars of the "z"s on whole pixels so that they stay
#   sharp; each image is stored PNG-compressed, which Windows Vista and later
#   read in icon resources.
#
# Standard library only and deterministic; to regenerate after editing a grid
# or a shape, run:  python3 resources/make_icon.py
import os
import struct
import zlib

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


# ---- The desktop's icon -------------------------------------------------------
# Shapes in units of the image's side (0 to 1, y downwards); colours as
# (red, green, blue).

DESKTOP_SIZES = [16, 20, 24, 32, 40, 48]
SAMPLES = 8  # per pixel and direction

DESKTOP_CORNER = 0.19           # radius of the square's rounded corners
DESKTOP_RIM = (0x0A, 0x12, 0x45)  # the square's outline
DESKTOP_TOP = (0x2B, 0x45, 0xAE)  # its fill, shading downwards to
DESKTOP_BOTTOM = (0x12, 0x20, 0x6A)
DESKTOP_MOON = (0xFF, 0xD4, 0x3A)
# The crescent: the disc MOON less the disc SHADOW, each (x, y, radius).
MOON = (0.42, 0.60, 0.32)
SHADOW = (0.62, 0.42, 0.30)
DESKTOP_Z = (0xFF, 0xFF, 0xFF)
# Each "z": left, top, right, bottom and its bars' thickness (at least a pixel).
Z_LARGE = (0.42, 0.34, 0.69, 0.62, 0.06)
Z_SMALL = (0.70, 0.07, 0.90, 0.30, 0.045)


def in_rounded_square(x, y, inset, radius):
    """Whether (x, y) lies in the unit square shrunk by inset on every side,
    with corners of the given radius."""
    if x < inset or x > 1 - inset or y < inset or y > 1 - inset:
        return False
    # How far the point lies beyond the square of the corners' centres.
    low, high = inset + radius, 1 - inset - radius
    dx = x - low if x < low else x - high if x > high else 0
    dy = y - low if y < low else y - high if y > high else 0
    return dx * dx + dy * dy <= radius * radius


def in_disc(x, y, disc):
    cx, cy, r = disc
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def z_shape(z, size):
    """A "z" in pixels: its two bars as (left, top, right, bottom) on whole
    pixels, its diagonal as the corners of a parallelogram, and whether the
    diagonal is drawn in whole pixels."""
    left, top, right, bottom, thickness = z
    left, right = round(left * size), round(right * size)
    top, bottom = round(top * size), round(bottom * size)
    bar = max(1, round(thickness * size))
    bars = [(left, top, right, top + bar), (left, bottom - bar, right, bottom)]
    # The diagonal runs from the top bar's right end to the bottom bar's left
    # end. With bars of one pixel it is a staircase of one pixel per row, as
    # drawn by hand; thicker, it is a pixel wider across than the bars are
    # thick, with smoothed edges.
    crisp = bar == 1
    across = 1 if crisp else bar + 1
    diagonal = [(right - across, top + bar), (right, top + bar),
                (left + across, bottom - bar), (left, bottom - bar)]
    return bars, diagonal, crisp


def in_z(px, py, shape):
    bars, (a, b, c, d), crisp = shape
    for left, top, right, bottom in bars:
        if left <= px < right and top <= py < bottom:
            return True
    if not a[1] <= py < d[1]:
        return False
    if crisp:
        # On each row, the one pixel under the middle of the diagonal there.
        t = (int(py) + 0.5 - a[1]) / (d[1] - a[1])
        middle = (a[0] + b[0]) / 2 + t * ((c[0] + d[0]) / 2 - (a[0] + b[0]) / 2)
        return int(px) == int(middle)
    # The diagonal's left and right edges at this height.
    t = (py - a[1]) / (d[1] - a[1])
    return a[0] + t * (d[0] - a[0]) <= px < b[0] + t * (c[0] - b[0])


def mix(a, b, t):
    return tuple(p + (q - p) * t for p, q in zip(a, b))


def desktop_pixels(size):
    """Rows of (red, green, blue, alpha) of the picture at size x size."""
    rim = max(1, round(size / 24)) / size
    shapes = [z_shape(Z_LARGE, size), z_shape(Z_SMALL, size)]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            covered, total = 0, [0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px = x + (sx + 0.5) / SAMPLES
                    py = y + (sy + 0.5) / SAMPLES
                    u, v = px / size, py / size
                    if not in_rounded_square(u, v, 0, DESKTOP_CORNER):
                        continue
                    if not in_rounded_square(u, v, rim, DESKTOP_CORNER - rim):
                        colour = DESKTOP_RIM
                    else:
                        colour = mix(DESKTOP_TOP, DESKTOP_BOTTOM, v)
                    if in_disc(u, v, MOON) and not in_disc(u, v, SHADOW):
                        colour = DESKTOP_MOON
                    if any(in_z(px, py, shape) for shape in shapes):
                        colour = DESKTOP_Z
                    covered += 1
                    for i in range(3):
                        total[i] += colour[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / covered) for c in total) +
                           (round(255 * covered / SAMPLES ** 2),))
        rows.append(row)
    return rows


def png(rows):
    """A PNG file of 8-bit RGBA pixels."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    height, width = len(rows), len(rows[0])
    # Each row with filter 0 (none): flat areas compress well as they are.
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel)
                   for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def png_ico(sizes):
    """An icon file of PNG images, 32 bits per pixel, in the order of sizes."""
    images = [png(desktop_pixels(size)) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def write(name, data):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", path, "(%d bytes)" % len(data))


if __name__ == "__main__":
    write("velmot.ico", ico([ICON_32, ICON_16]))
    write("velmot_desktop.ico", png_ico(DESKTOP_SIZES))
