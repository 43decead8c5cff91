#!/usr/bin/env python3
"""Draws the program icon (a document sheet with a table on it and a cog wheel at its foot) in
the classic 16-colour palette, at any size, and writes it as PNG files.

Usage: make_icon.py OUTPUT_DIR [SIZE...]   (writes OUTPUT_DIR/tonwright-SIZE.png; 16 and 32
       when no size is given)
The window's own icons (ui/resources) are sizes 16 and 32; the desktop's (packaging/icons) are
48, 64, 128 and 256. Standard library only, so it runs anywhere the sources are checked out.
"""
import math
import struct
import sys
import zlib

# The classic 16-colour palette.
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# At 16 x 16 a drawn cog turns to mush, so that size is laid out pixel by pixel.
SMALL_SHEET = [
    ".KKKKKKKK.......",
    ".KWWWWWWKK......",
    ".KWWWWWWKSK.....",
    ".KWWWWWWKKKK....",
    ".KWNNNNNNNWK....",
    ".KWGWGWGWGWK....",
    ".KWGGGGGGGWK....",
    ".KWGWGWGWGWK....",
    ".KWGGGGGGGWK....",
    ".KWWWWWWWWWK....",
    ".KWWWWWWWWWK....",
    ".KWWWWWWWWWK....",
    ".KWWWWWWWWWK....",
    ".KWWWWWWWWWK....",
    ".KKKKKKKKKKK....",
    "................",
]
SMALL_COG = [  # laid over the sheet's lower right corner
    "...KKK...",
    ".KKSSSKK.",
    ".KSSSSGK.",
    "KSSKKKGGK",
    "KSSKWKGGK",
    "KSSKKKGGK",
    ".KSGGGGK.",
    ".KKGGGKK.",
    "...KKK...",
]
SMALL_COLOURS = {"K": BLACK, "W": WHITE, "S": SILVER, "G": GRAY, "N": NAVY}


def draw_small():
    px = [[SMALL_COLOURS.get(c) for c in row] for row in SMALL_SHEET]
    for y, row in enumerate(SMALL_COG):
        for x, c in enumerate(row):
            if c != ".":
                px[7 + y][7 + x] = SMALL_COLOURS[c]
    return px


def draw(size):
    if size == 16:
        return draw_small()
    s = size / 32.0
    # Lines are one pixel at 32 x 32 and as much thicker as the icon is larger, so that every
    # size looks like the 32-pixel artwork.
    w = max(1, int(s))
    px = [[None] * size for _ in range(size)]

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = c

    def r(v):
        return int(round(v * s))

    # The sheet, with its top right corner folded down.
    left, top, right, bottom = r(4), r(1), r(25), r(28)
    fold = max(2, r(6))
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            diagonal = (x - (right - fold)) - (y - top)
            if diagonal > 0:
                continue  # cut away by the fold
            edge = (x < left + w or x > right - w or y < top + w or y > bottom - w
                    or diagonal > -w)
            put(x, y, BLACK if edge else WHITE)
    for i in range(fold + 1):  # the folded flap
        for x in range(right - fold, right - fold + i + 1):
            outline = x > right - fold + i - w or x < right - fold + w
            put(x, top + i, BLACK if outline else SILVER)
    for y in range(top + fold - w + 1, top + fold + 1):
        for x in range(right - fold, right + 1):
            put(x, y, BLACK)

    # The table: a navy heading row, then rows and columns of grey rules.
    tl, tt, tr, tb = left + max(2, r(3)), top + fold + max(1, r(2)), right - max(2, r(3)), r(19)
    heading = max(1, r(3))
    for x in range(tl, tr + 1):
        for y in range(tt, tt + heading):
            put(x, y, NAVY)
    step = max(2, r(4))
    columns = (tl, tl + (tr - tl) // 3, tl + 2 * (tr - tl) // 3, tr - w + 1)
    text_row = (step + w) // 2 - w // 2
    for y in range(tt + heading, tb + 1):
        for x in range(tl, tr + 1):
            rule = (y - tt) % step < w or y > tb - w
            col = any(c <= x < c + w for c in columns)
            if rule or col:
                put(x, y, GRAY)
            elif size >= 32 and text_row <= (y - tt) % step < text_row + w and (x // w) % 2 == 0:
                put(x, y, TEAL)  # a little text in the cells

    # The cog wheel at the foot of the sheet.
    cx, cy = r(21), r(23.5)
    outer, inner, hole = 8.0 * s, 5.6 * s, 2.2 * s
    teeth = 8
    for y in range(size):
        for x in range(size):
            dx, dy = x + 0.5 - (cx + 0.5), y + 0.5 - (cy + 0.5)
            d = math.hypot(dx, dy)
            a = (math.atan2(dy, dx) / (2 * math.pi)) * teeth
            phase = a - math.floor(a)
            tooth = phase < 0.5
            rim = outer if tooth else inner
            if d <= hole:
                put(x, y, WHITE if size == 16 else None)
                if size >= 32 and d > hole - w:
                    put(x, y, BLACK)
            elif d <= rim:
                border = d > rim - w or d <= hole + w
                # A tooth's flanks get an outline too once lines are thicker than a pixel: at
                # one pixel their staircase already reads as an edge.
                if w > 1 and tooth and d > inner - w:
                    flank = min(phase, 0.5 - phase) * 2 * math.pi * d / teeth
                    border = border or flank < w
                shade = dx + dy < 0
                put(x, y, BLACK if border else (SILVER if shade else GRAY))
    if size == 16:
        put(cx, cy, WHITE)
    return px


def png(px):
    size = len(px)
    raw = b""
    for row in px:
        raw += b"\x00"
        for c in row:
            raw += bytes((0, 0, 0, 0)) if c is None else bytes(PALETTE[c] + (255,))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    sizes = [int(size) for size in sys.argv[2:]] or [16, 32]
    for size in sizes:
        with open(f"{out}/tonwright-{size}.png", "wb") as f:
            f.write(png(draw(size)))


if __name__ == "__main__":
    main()
