#!/usr/bin/env python3
"""Draws the Output Destination dialog's icon: 16 x 16 pixels in the classic 16-colour
palette, an open folder with a curved arrow dropping into it. Writes a 4-bit palette PNG;
fuchsia, which the artwork never uses, is the transparent colour.

Usage: make_destination_icon.py OUTPUT.png
"""
import struct
import sys
import zlib

# The classic 16-colour palette, in its usual order.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
TRANSPARENT = 13  # fuchsia

KEYS = {
    '.': TRANSPARENT, 'k': 0, 'o': 3, 'g': 8, 's': 7, 'y': 11, 'w': 15,
    'n': 4, 'b': 12, 'c': 14, 'G': 2, 'l': 10,
}

ART = [
    "................",
    ".......nnnn.....",
    ".....nnbbbbnn...",
    "....nbbnnnnbbn..",
    "....nbn....nbbn.",
    "..nnnbnnn...nbn.",
    "..nbbbbbn...nbn.",
    "kkknbbbnkkkkkbn.",
    "kywwnbnyyyyyknk.",
    "kywyynyyyyyyyk..",
    "kyykkkkkkkkkkkkk",
    "kyykoooooooooook",
    "kykooooooooooook",
    "kkooooooooooook.",
    "kooooooooooook..",
    "kkkkkkkkkkkkkk..",
]


def chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data
            + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))


def png(art):
    height, width = len(art), len(art[0])
    rows = b''
    for line in art:
        assert len(line) == width, line
        indices = [KEYS[c] for c in line]
        packed = bytes((indices[i] << 4) | indices[i + 1] for i in range(0, width, 2))
        rows += b'\x00' + packed
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 4, 3, 0, 0, 0))
            + chunk(b'PLTE', b''.join(bytes(c) for c in PALETTE))
            + chunk(b'tRNS', bytes(255 if i != TRANSPARENT else 0 for i in range(16)))
            + chunk(b'IDAT', zlib.compress(rows, 9))
            + chunk(b'IEND', b''))


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as out:
        out.write(png(ART))
