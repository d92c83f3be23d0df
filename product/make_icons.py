#!/usr/bin/env python3
"""Draws the stand-in product's icons into icons/: six icons, each with a
32x32 and a 16x16 image at 16 colours. kr.exe carries all six (the macro list
file class names icon index 5), and three of them also ship as loose .ico
files. The .ico files are committed; run this only to change the drawings."""
import os
import struct

# The 16 colours of the classic VGA palette (R, G, B).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, TEAL = 0, 1, 2, 3, 4, 6
SILVER, GREY, RED, LIME, YELLOW, BLUE, WHITE = 7, 8, 9, 10, 11, 12, 15

# A 5x7 "K", the product's letter.
LETTER_K = ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"]


class Canvas:
    """Palette indexes in rows, None for transparent; drawing coordinates
    are on a 32-unit grid and scaled to the image size."""

    def __init__(self, size):
        self.size = size
        self.s = size / 32.0
        self.px = [[None] * size for _ in range(size)]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(int(y0 * self.s), int(y1 * self.s)):
            for x in range(int(x0 * self.s), int(x1 * self.s)):
                self.px[y][x] = c

    def disc(self, cx, cy, r, c):
        for y in range(self.size):
            for x in range(self.size):
                dx = (x + 0.5) / self.s - cx
                dy = (y + 0.5) / self.s - cy
                if dx * dx + dy * dy <= r * r:
                    self.px[y][x] = c

    def triangle_right(self, x0, y0, x1, y1, c):
        mid = (y0 + y1) / 2.0
        for y in range(self.size):
            for x in range(self.size):
                fx = (x + 0.5) / self.s
                fy = (y + 0.5) / self.s
                if x0 <= fx < x1:
                    half = (y1 - y0) / 2.0 * (1 - (fx - x0) / (x1 - x0))
                    if abs(fy - mid) <= half:
                        self.px[y][x] = c

    def letter(self, glyph, x0, y0, cell, c):
        for j, row in enumerate(glyph):
            for i, ch in enumerate(row):
                if ch == "X":
                    self.rect(x0 + i * cell, y0 + j * cell, x0 + (i + 1) * cell,
                              y0 + (j + 1) * cell, c)


def kestrune(cv):
    cv.rect(2, 2, 30, 30, BLACK)
    cv.rect(3, 3, 29, 29, NAVY)
    cv.letter(LETTER_K, 7, 4, 3.5, YELLOW)


def record(cv):
    cv.disc(16, 16, 14, BLACK)
    cv.disc(16, 16, 12.5, RED)
    cv.disc(12, 12, 3, WHITE)


def play(cv):
    cv.triangle_right(6, 3, 28, 29, BLACK)
    cv.triangle_right(8, 6, 25, 26, GREEN)


def stop(cv):
    cv.rect(4, 4, 28, 28, BLACK)
    cv.rect(6, 6, 26, 26, MAROON)


def folder(cv):
    cv.rect(2, 6, 14, 10, BLACK)
    cv.rect(2, 9, 30, 28, BLACK)
    cv.rect(4, 11, 28, 26, YELLOW)
    cv.rect(4, 11, 28, 14, OLIVE)


def macro_list(cv):
    cv.rect(5, 1, 27, 31, BLACK)
    cv.rect(7, 3, 25, 29, WHITE)
    for y in (6, 10, 14):
        cv.rect(9, y, 23, y + 2, BLUE)
    cv.letter(LETTER_K, 14, 18, 1.5, RED)


def dib(px, bpp, palette):
    size = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    pal += b'\0' * (4 * (1 << bpp) - len(pal))
    xor = b''
    stride = ((size * bpp + 31) // 32) * 4
    for row in reversed(px):
        bits = nbits = 0
        line = bytearray()
        for v in row:
            bits = (bits << bpp) | (v or 0)
            nbits += bpp
            if nbits == 8:
                line.append(bits)
                bits = nbits = 0
        xor += bytes(line) + b'\0' * (stride - len(line))
    mask = b''
    mstride = ((size + 31) // 32) * 4
    for row in reversed(px):
        line = bytearray((size + 7) // 8)
        for x, v in enumerate(row):
            if v is None:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line) + b'\0' * (mstride - len(line))
    return header + pal + xor + mask


def ico(draw):
    images = []
    for size in (32, 16):
        cv = Canvas(size)
        draw(cv)
        images.append(cv.px)
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for px in images:
        data = dib(px, 4, VGA)
        out += struct.pack('<BBBBHHII', len(px), len(px), 16, 0, 1, 4, len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b''.join(blobs)


# In kr.exe's icon order: index 0 is the program's icon, index 5 the macro
# list file's.
ICONS = [("kestrune.ico", kestrune), ("record.ico", record), ("play.ico", play),
         ("stop.ico", stop), ("folder.ico", folder), ("macrolist.ico", macro_list)]

if __name__ == "__main__":
    here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    os.makedirs(here, exist_ok=True)
    for name, draw in ICONS:
        with open(os.path.join(here, name), "wb") as f:
            f.write(ico(draw))
