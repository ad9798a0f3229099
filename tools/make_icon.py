#!/usr/bin/env python3
"""Draws Morvane's program icon (a broom sweeping over a blue disc) into res/morvane.ico.

The icon is generated, not copied: run this script to change it."""
import math, struct, sys, zlib

def draw(size):
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    c = (size - 1) / 2.0
    r = size * 0.46
    for y in range(size):
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d <= r:
                t = y / size
                base = (int(40 + 30 * t), int(110 + 40 * t), int(200 + 30 * t))
                a = 255 if d <= r - 1 else int(255 * (r - d + 1) / 1.0) if d < r else 0
                px[y][x] = base + (max(0, min(255, a)),)
    # broom handle: a light diagonal from top right towards the centre
    def line(x0, y0, x1, y1, w, col):
        n = int(max(abs(x1 - x0), abs(y1 - y0)) * 4) + 1
        for i in range(n + 1):
            t = i / n
            xx, yy = x0 + (x1 - x0) * t, y0 + (y1 - y0) * t
            for dy in range(-w, w + 1):
                for dx in range(-w, w + 1):
                    X, Y = int(round(xx + dx)), int(round(yy + dy))
                    if 0 <= X < size and 0 <= Y < size and dx * dx + dy * dy <= w * w + 1:
                        px[Y][X] = col
    s = size / 32.0
    line(24 * s, 5 * s, 13 * s, 18 * s, max(1, int(1.2 * s)), (235, 200, 120, 255))
    # bristles: a fan of straw lines below the handle
    for k in range(-4, 5):
        line(13 * s, 18 * s, (9 + k * 1.4) * s, 27 * s, max(0, int(0.6 * s)), (250, 225, 90, 255))
    return px

def bmp_entry(px):
    size = len(px)
    rows = b"".join(bytes([p[2], p[1], p[0], p[3]]) for row in reversed(px) for p in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(rows) + len(mask), 0, 0, 0, 0)
    return header + rows + mask

def main(out):
    sizes = [16, 32, 48]
    images = [bmp_entry(draw(s)) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)

if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/morvane.ico")
