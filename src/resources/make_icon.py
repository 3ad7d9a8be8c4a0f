#!/usr/bin/env python3
"""Draws the program icon (a serial connector face on a teal tile) and
writes TarnVik.ico with 16, 24, 32 and 48 pixel 32-bit images.
Standard library only; run it again after changing the drawing."""
import struct, sys, os

def rounded_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1

def in_trapezoid(x, y, top, bottom, half_top, half_bottom, cx):
    if y < top or y > bottom:
        return False
    t = (y - top) / (bottom - top)
    half = half_top + (half_bottom - half_top) * t
    return abs(x - cx) <= half

def pixel(x, y):
    """Colour (r, g, b, a) at unit-square coordinates x, y in [0, 1)."""
    if not rounded_rect(x, y, 0.02, 0.02, 0.98, 0.98, 0.2):
        return (0, 0, 0, 0)
    # tile: teal, a little lighter at the top
    shade = 1.0 - 0.25 * y
    tile = (int(16 * shade), int(112 * shade), int(128 * shade), 255)
    cx = 0.5
    outer = in_trapezoid(x, y, 0.26, 0.74, 0.40, 0.29, cx)
    inner = in_trapezoid(x, y, 0.33, 0.67, 0.33, 0.235, cx)
    if outer and not inner:
        return (255, 255, 255, 255)
    if inner:
        pins = [(0.5 + dx * 0.12, 0.43) for dx in (-2, -1, 0, 1, 2)]
        pins += [(0.5 + dx * 0.12, 0.57) for dx in (-1.5, -0.5, 0.5, 1.5)]
        for px, py in pins:
            if (x - px) ** 2 + (y - py) ** 2 <= 0.035 ** 2:
                return (255, 196, 64, 255)
        return (8, 60, 70, 255)
    return tile

def render(size, ss=6):
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            acc = [0, 0, 0, 0]
            for sj in range(ss):
                for si in range(ss):
                    r, g, b, a = pixel((i + (si + 0.5) / ss) / size, (j + (sj + 0.5) / ss) / size)
                    acc[0] += r * a; acc[1] += g * a; acc[2] += b * a; acc[3] += a
            n = ss * ss
            a = acc[3] / n
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(a)))
        rows.append(row)
    return rows

def dib(size):
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bytes(bits)
    return header + pixels + mask

def main():
    sizes = [16, 24, 32, 48]
    images = [dib(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'TarnVik.ico')
    with open(path, 'wb') as f:
        f.write(out)

if __name__ == '__main__':
    main()
