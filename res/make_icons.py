#!/usr/bin/env python3
"""Draws the setup program's icons: setup.ico (32x32 and 16x16, 16 colours)
and uninstall.ico (16x16, 256 colours). The .ico files are committed; run
this only to change the drawings."""
import struct

# The 16 colours of the classic VGA palette (R, G, B).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, SILVER, GREY, RED, YELLOW, BLUE, WHITE = 0, 4, 7, 8, 9, 11, 12, 15


def box_with_arrow(size):
    """A grey box (the product package) with a blue arrow pointing into it.
    Returns rows of palette indexes, None for transparent."""
    px = [[None] * size for _ in range(size)]
    s = size / 32.0
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c
    rect(4, 14, 28, 30, BLACK)   # outline
    rect(5, 15, 27, 29, SILVER)  # box
    rect(5, 15, 27, 18, GREY)    # lid
    rect(13, 2, 19, 14, BLACK)   # arrow shaft outline
    rect(14, 2, 18, 14, BLUE)
    for i in range(7):           # arrow head
        rect(9 + i, 10 + i, 23 - i, 11 + i, BLUE if i else BLACK)
    return px


def remove_sign(size):
    """A red circle with a white bar: remove."""
    px = [[None] * size for _ in range(size)]
    c = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d <= c + 0.3:
                px[y][x] = 1  # dark red edge (palette index 1 of the 256 below)
            if d <= c - 0.8:
                px[y][x] = 2  # red
            if abs(y - c) <= 1.2 and abs(x - c) <= c - 3:
                px[y][x] = 3  # white bar
    return px


def dib(px, bpp, palette, used=0):
    """`used`: the number of palette entries stored (biClrUsed); 0 stores the
    full palette of the depth. The 256-colour icon keeps its 8-bit pixels but
    stores only the colours it uses, which saves 1 KB of the program."""
    size = len(px)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bpp, 0, 0, 0, 0, used, 0)
    entries = used or (1 << bpp)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette[:entries])
    pal += b'\0' * (4 * entries - len(pal))
    xor = b''
    stride = ((size * bpp + 31) // 32) * 4
    for row in reversed(px):
        bits = 0
        nbits = 0
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


def ico(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for px, bpp, palette, used in images:
        data = dib(px, bpp, palette, used)
        size = len(px)
        colours = 16 if bpp == 4 else 0
        out += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b''.join(blobs)


ramp = [(0, 0, 0), (128, 0, 0), (220, 30, 30), (255, 255, 255)]
ramp += [(i, i, i) for i in range(4, 256)]
with open('setup.ico', 'wb') as f:
    f.write(ico([(box_with_arrow(32), 4, VGA, 0), (box_with_arrow(16), 4, VGA, 0)]))
with open('uninstall.ico', 'wb') as f:
    f.write(ico([(remove_sign(16), 8, ramp, 4)]))
