#!/usr/bin/env python3
"""Writes the largest picture of a Windows icon file as a PNG, for the
desktop entry. Pictures stored as PNG are copied; bitmaps of 32 bits (with
their own alpha) or 24 bits (with the icon's mask) are converted.
Prints the picture's size ("48") so the caller can file it by size.
Usage: icon_png.py <icon.ico> <out.png>"""
import struct
import sys
import zlib


def pictures(data: bytes):
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if reserved != 0 or kind != 1:
        raise ValueError('not an icon file')
    for i in range(count):
        width, height, _, _, _, _, size, offset = struct.unpack_from('<BBBBHHII', data, 6 + 16 * i)
        yield (width or 256), (height or 256), data[offset:offset + size]


def bitmap_rgba(dib: bytes) -> tuple[int, int, bytes]:
    header, width, height, _, bits = struct.unpack_from('<IiiHH', dib, 0)
    height //= 2  # the colour rows, then the mask's
    if bits not in (24, 32):
        raise ValueError(f'{bits}-bit pictures are not handled')
    stride = (width * bits // 8 + 3) & ~3
    mask_stride = ((width + 31) // 32) * 4
    pixels = header
    mask = pixels + stride * height
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            at = pixels + y * stride + x * bits // 8
            b, g, r = dib[at], dib[at + 1], dib[at + 2]
            if bits == 32:
                a = dib[at + 3]
            else:
                masked = dib[mask + y * mask_stride + x // 8] & (0x80 >> (x % 8))
                a = 0 if masked else 255
            row += bytes((r, g, b, a))
        rows.append(bytes(row))
    return width, height, b''.join(b'\0' + row for row in rows)


def png(width: int, height: int, filtered_rows: bytes) -> bytes:
    def chunk(kind: bytes, body: bytes) -> bytes:
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(filtered_rows, 9))
            + chunk(b'IEND', b''))


def main() -> int:
    source, target = sys.argv[1:3]
    with open(source, 'rb') as f:
        data = f.read()
    width, height, picture = max(pictures(data), key=lambda p: p[0] * p[1])
    if picture.startswith(b'\x89PNG'):
        out = picture
    else:
        width, height, rows = bitmap_rgba(picture)
        out = png(width, height, rows)
    with open(target, 'wb') as f:
        f.write(out)
    print(width)
    return 0


if __name__ == '__main__':
    sys.exit(main())
