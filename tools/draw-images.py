#!/usr/bin/env python3
"""Draws the program's images as 16-colour Windows files: icon 128 (32x32 and 16x16)
and bitmap 133, the backup dialog's 48x16 strip of three 16x16 pictures.

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


def strip_pictures():
    """0 waste basket with a green recycling mark, 1 notebook with a red spiral and a pen,
    2 closed blue book; white where no picture is. Black is the image list's mask colour,
    so outlines are dark grey or navy, never black."""
    img = [[WHITE] * 48 for _ in range(16)]

    def r(x0, y0, x1, y1, c, dx=0):
        rect(img, x0 + dx, y0, x1 + dx, y1, c)

    # 0: waste basket (grey body, darker rim) with a green recycling triangle
    r(3, 2, 12, 3, GRAY)
    r(4, 4, 11, 14, SILVER)
    r(3, 4, 3, 14, GRAY)
    r(12, 4, 12, 14, GRAY)
    r(4, 15, 11, 15, GRAY)
    for i, (x, y) in enumerate([(7, 6), (6, 7), (8, 7), (5, 8), (9, 8), (4, 9), (10, 9)]):
        img[y][x] = GREEN if i % 2 == 0 else DKGREEN
    r(5, 10, 10, 10, GREEN)
    r(6, 11, 9, 11, DKGREEN)
    r(7, 12, 8, 12, GREEN)
    # 1: notebook with a red spiral and a pen
    r(3, 1, 12, 14, NAVY, 16)
    r(4, 2, 11, 13, WHITE, 16)
    for y in range(2, 14, 2):
        img[y][16 + 2] = RED
        img[y][16 + 3] = DKRED
    for y in (4, 6, 8, 10):
        r(6, y, 10, y, CYAN, 16)
    for k in range(7):  # the pen, lying across the page
        img[13 - k][16 + 8 + k] = YELLOW
        img[14 - k][16 + 8 + k] = OLIVE
    img[14][16 + 7] = GRAY
    # 2: closed blue book
    r(3, 1, 12, 14, NAVY, 32)
    r(4, 1, 12, 13, BLUE, 32)
    r(4, 14, 12, 14, SILVER, 32)
    r(4, 1, 5, 13, NAVY, 32)
    r(7, 4, 11, 5, WHITE, 32)
    r(7, 7, 10, 7, CYAN, 32)
    return img


def bmp(img):
    h = len(img)
    w = len(img[0])
    row_bytes = ((w * 4 + 31) // 32) * 4
    pixels = b''
    for y in reversed(range(h)):
        row = bytearray()
        for x in range(0, w, 2):
            row.append((img[y][x] << 4) | img[y][x + 1])
        pixels += bytes(row) + b'\0' * (row_bytes - len(row))
    pal = b''.join(struct.pack('BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(info) + len(pal)
    head = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return head + info + pal + pixels


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
    with open(f'{folder}/BookImages.bmp', 'wb') as f:
        f.write(bmp(strip_pictures()))


if __name__ == '__main__':
    main()
