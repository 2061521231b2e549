#!/usr/bin/env python3
"""Writes the preview window's sixteen glyphs as PNG files beside this script.

Each glyph is pixel art: one character per pixel, '.' transparent. Only the standard
library is used (zlib and struct), so the pictures can be regenerated anywhere:
    python3 ui/glyphs/make_glyphs.py
"""
import os
import struct
import zlib

PALETTE = {
    '.': (0, 0, 0, 0),
    'k': (0, 0, 0, 255),
    'w': (255, 255, 255, 255),
    'l': (192, 192, 192, 255),
    'g': (128, 128, 128, 255),
    'd': (64, 64, 64, 255),
    'B': (128, 96, 0, 255),      # folder outline
    'y': (255, 216, 80, 255),    # folder face
    'Y': (232, 176, 32, 255),    # folder back and tab
    'e': (248, 248, 248, 255),   # empty folder face
    'E': (208, 208, 208, 255),   # empty folder back
    'r': (224, 0, 0, 255),
    'b': (0, 0, 255, 255),
    'm': (255, 0, 255, 255),
    'n': (0, 96, 0, 255),        # arrow on a folder
}


def png(rows):
    height = len(rows)
    width = len(rows[0])
    raw = b''
    for row in rows:
        assert len(row) == width, row
        raw += b'\0' + b''.join(bytes(PALETTE[c]) for c in row)

    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xffffffff)

    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')


def grid(width, height, fill='.'):
    return [[fill] * width for _ in range(height)]


def rows_of(g):
    return [''.join(r) for r in g]


def check_box(ticked):
    g = grid(15, 15)
    for i in range(15):
        g[0][i] = 'g'; g[i][0] = 'g'
        g[14][i] = 'w'; g[i][14] = 'w'
    for i in range(1, 14):
        g[1][i] = 'd'; g[i][1] = 'd'
        g[13][i] = 'l'; g[i][13] = 'l'
    for y in range(2, 13):
        for x in range(2, 13):
            g[y][x] = 'w'
    if ticked:
        tick = [(4, 7), (5, 8), (6, 9), (7, 8), (8, 7), (9, 6), (10, 5)]
        for x, y in tick:
            for dy in range(3):
                g[y - 1 + dy][x] = 'b'
    return rows_of(g)


def raised_button(width=18, height=15):
    g = grid(width, height, 'l')
    for x in range(width):
        g[0][x] = 'w'; g[height - 1][x] = 'k'; g[height - 2][x] = 'g' if 0 < x < width - 1 else g[height - 2][x]
    for y in range(height):
        g[y][0] = 'w'; g[y][width - 1] = 'k'
        if 0 < y < height - 1:
            g[y][width - 2] = 'g'
    g[height - 1][0] = 'k'
    return g


def del_button():
    g = raised_button()
    for i in range(7):
        for t in (0, 1):
            g[4 + i][5 + i + t] = 'r'
            g[4 + i][11 - i + t] = 'r'
    return rows_of(g)


def arrow_button(colour, to_right):
    g = raised_button()
    shaft = range(4, 13)
    for x in shaft:
        g[7][x] = colour
    for i in range(4):
        for y in range(7 - i, 8 + i):
            col = (13 - i) if to_right else (4 + i)
            g[y][col] = colour
    if to_right:
        for x in range(4, 11):
            g[6][x] = colour; g[8][x] = colour
    else:
        for x in range(7, 14):
            g[6][x] = colour; g[8][x] = colour
    return rows_of(g)


FOLDER = [
    '................',
    '................',
    '..BBBBB.........',
    '.BYYYYYB........',
    '.BYYYYYYBBBBBBB.',
    '.BYYYYYYYYYYYYB.',
    '.ByyyyyyyyyyyyB.',
    '.ByyyyyyyyyyyyB.',
    '.ByyyyyyyyyyyyB.',
    '.ByyyyyyyyyyyyB.',
    '.ByyyyyyyyyyyyB.',
    '.ByyyyyyyyyyyyB.',
    '.ByyyyyyyyyyyyB.',
    '.BBBBBBBBBBBBBB.',
    '................',
    '................',
]

FOLDER_OPEN = [
    '................',
    '................',
    '..BBBBB.........',
    '.BYYYYYB........',
    '.BYYYYYYBBBBBB..',
    '.BYYYYYYYYYYYB..',
    '.BYYBBBBBBBBBBBB',
    '.BYByyyyyyyyyyyB',
    '.BYByyyyyyyyyyB.',
    '.BBByyyyyyyyyyB.',
    '.BByyyyyyyyyyB..',
    '.BByyyyyyyyyyB..',
    '.BByyyyyyyyyB...',
    '.BBBBBBBBBBBB...',
    '................',
    '................',
]

FOLDER_EMPTY = [row.replace('y', 'e').replace('Y', 'E') for row in FOLDER]

FOLDER_MISSING = [
    '................',
    '................',
    '..g.g.g.........',
    '.g.....g........',
    '.........g.g.g..',
    '.g............g.',
    '................',
    '.g............g.',
    '................',
    '.g............g.',
    '................',
    '.g............g.',
    '................',
    '.g.g.g.g.g.g.g..',
    '................',
    '................',
]


def folder_with_arrow(to_right):
    g = [list(r) for r in FOLDER]
    y = 9
    for x in range(4, 12):
        g[y][x] = 'n'
    for i in range(1, 4):
        col = (11 - i) if to_right else (4 + i)
        g[y - i][col] = 'n'; g[y + i][col] = 'n'
    return rows_of(g)


def small_cross():
    g = grid(7, 16)
    for i in range(5):
        g[6 + i][1 + i] = 'r'; g[6 + i][5 - i] = 'r'
        g[6 + i][min(6, 2 + i)] = 'r'; g[6 + i][max(0, 4 - i)] = 'r'
    return rows_of(g)


def tree_button(plus):
    g = grid(9, 9, 'w')
    for i in range(9):
        g[0][i] = 'g'; g[8][i] = 'g'; g[i][0] = 'g'; g[i][8] = 'g'
    for x in range(2, 7):
        g[4][x] = 'k'
    if plus:
        for y in range(2, 7):
            g[y][4] = 'k'
    return rows_of(g)


def equals():
    g = grid(18, 8)
    for x in range(4, 14):
        g[2][x] = 'k'; g[5][x] = 'k'
    return rows_of(g)


GLYPHS = {
    'UNCHECK4': check_box(False),
    'CHECK4': check_box(True),
    'EQU4': equals(),
    'DEL4': del_button(),
    'LARROW4': arrow_button('m', False),
    'RARROW4': arrow_button('b', True),
    'TFOLDER': FOLDER,
    'TFOLDERO': FOLDER_OPEN,
    'TFOLDERE': FOLDER_EMPTY,
    'TFOLDERNO': FOLDER_MISSING,
    'TDELETE': small_cross(),
    'CLEAR4': rows_of(grid(9, 9)),
    'TFOLDER2RIGHT': folder_with_arrow(True),
    'TFOLDER2LEFT': folder_with_arrow(False),
    'LBTNA4': tree_button(True),
    'LBTNB4': tree_button(False),
}

if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in GLYPHS.items():
        with open(os.path.join(here, name + '.png'), 'wb') as out:
            out.write(png(rows))
