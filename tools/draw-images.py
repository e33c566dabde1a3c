#!/usr/bin/env python3
"""Draws the program's images as 16-colour Windows files: icon 128 (32x32 and 16x16).

The images are committed; run this again only to change them:
    python3 tools/draw-images.py resources
"""
import struct
import sys

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DKRED, DKGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = None


def canvas(n):
    return [[CLEAR] * n for _ in range(n)]


def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = c


def icon_picture(n):
    """A closed blue BOOK (the project's database) under a yellow safety helmet."""
    s = n / 32.0
    img = canvas(n)

    def r(x0, y0, x1, y1, c):
        rect(img, int(x0 * s), int(y0 * s), max(int(x0 * s), int((x1 + 1) * s) - 1),
             max(int(y0 * s), int((y1 + 1) * s) - 1), c)

    # the BOOK: cover, pages along the bottom and right, spine
    r(5, 12, 26, 30, BLACK)
    r(6, 13, 25, 28, BLUE)
    r(6, 29, 25, 29, WHITE)
    r(26, 14, 26, 29, WHITE)
    r(6, 13, 8, 28, NAVY)
    r(12, 18, 22, 19, WHITE)
    r(12, 22, 20, 23, CYAN)
    # the helmet: dome, band and brim
    r(11, 2, 20, 3, BLACK)
    r(9, 4, 22, 10, BLACK)
    r(12, 3, 19, 3, YELLOW)
    r(10, 4, 21, 9, YELLOW)
    r(15, 2, 16, 9, OLIVE)
    r(6, 10, 25, 11, BLACK)
    r(7, 10, 24, 10, YELLOW)
    return img


def dib(img):
    n = len(img)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    xor = b''
    row_bytes = ((n * 4 + 31) // 32) * 4
    for y in reversed(range(n)):
        row = bytearray()
        for x in range(0, n, 2):
            a = img[y][x] or 0
            b = img[y][x + 1] or 0
            row.append((a << 4) | b)
        xor += bytes(row) + b'\0' * (row_bytes - len(row))
    mask = b''
    mask_bytes = ((n + 31) // 32) * 4
    for y in reversed(range(n)):
        bits = 0
        row = bytearray()
        for x in range(n):
            bits = (bits << 1) | (1 if img[y][x] is None else 0)
            if x % 8 == 7:
                row.append(bits)
                bits = 0
        mask += bytes(row) + b'\0' * (mask_bytes - len(row))
    return header + pal + xor + mask


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for img in images:
        data = dib(img)
        n = len(img)
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b''.join(blobs)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else 'resources'
    with open(f'{folder}/OrvelClientTool.ico', 'wb') as f:
        f.write(ico([icon_picture(32), icon_picture(16)]))


if __name__ == '__main__':
    main()
