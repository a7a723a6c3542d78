#!/usr/bin/env python3
"""Draws the wizard's artwork: bitmap 131 (163x278, 24 bits) and icon 128
(32x32 and 16x16, 256 colours). Writes wizard.bmp and Update.ico into the
folder given as the only argument."""
import math
import os
import struct
import sys


def wizard_pixel(x, y, w, h):
    """A deep blue gradient with a rising arrow over three stacked boxes."""
    t = y / (h - 1)
    r, g, b = int(20 + 30 * t), int(60 + 90 * t), int(140 + 100 * t)
    # soft light rings from the upper left
    d = math.hypot(x - 30, y - 40)
    glow = max(0.0, 1.0 - d / 140.0) * 60
    r, g, b = r + glow, g + glow, b + glow * 0.5
    cx = w // 2
    # three boxes, each a little lighter than the one below
    for i, top in enumerate((190, 160, 130)):
        if cx - 40 + i * 6 <= x <= cx + 40 - i * 6 and top <= y <= top + 24:
            edge = x in (cx - 40 + i * 6, cx + 40 - i * 6) or y in (top, top + 24)
            shade = 200 + i * 20
            return (shade - 80, shade - 40, 255) if not edge else (250, 250, 255)
    # the arrow: a shaft and a head pointing up
    if cx - 8 <= x <= cx + 8 and 60 <= y <= 118:
        return (255, 200, 60)
    if 30 <= y < 60 and abs(x - cx) <= (y - 30):
        return (255, 200, 60)
    return (min(255, int(r)), min(255, int(g)), min(255, int(b)))


def write_bmp24(path, w, h, pixel):
    row_size = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(x, y, w, h)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def icon_palette():
    """The 6x6x6 colour cube and a grey ramp: 256 entries (B, G, R, 0)."""
    pal = []
    for r in range(6):
        for g in range(6):
            for b in range(6):
                pal.append((b * 51, g * 51, r * 51))
    for i in range(256 - len(pal)):
        v = int(i * 255 / 39)
        pal.append((v, v, v))
    return pal


def icon_index(rgb):
    r, g, b = (round(c / 51) for c in rgb)
    return r * 36 + g * 6 + b


def icon_pixel(x, y, size):
    """A blue disc with a yellow arrow pointing up; transparent outside."""
    c = (size - 1) / 2
    if math.hypot(x - c, y - c) > size / 2 - 0.5:
        return None
    s = size / 32
    if abs(x - c) <= 3 * s and 12 * s <= y <= 25 * s:
        return (255, 204, 0)
    if 5 * s <= y < 13 * s and abs(x - c) <= (y - 5 * s) + 1:
        return (255, 204, 0)
    return (0, 102, 204)


def icon_image(size):
    pal = icon_palette()
    xor = bytearray()
    and_row_size = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        mbits = 0
        for x in range(size):
            p = icon_pixel(x, y, size)
            xor.append(0 if p is None else icon_index(p))
            mbits = (mbits << 1) | (1 if p is None else 0)
        mrow = mbits.to_bytes((size + 7) // 8, "big")
        mask += mrow + b"\0" * (and_row_size - len(mrow))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         len(xor) + len(mask), 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in pal)
    return header + palette + bytes(xor) + bytes(mask)


def write_ico(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 8, len(img), offset)
        offset += len(img)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_bmp24(os.path.join(out, "wizard.bmp"), 163, 278, wizard_pixel)
    write_ico(os.path.join(out, "Update.ico"), [32, 16])


if __name__ == "__main__":
    main()
