#!/usr/bin/env python3
"""Writes the dialog's two 16-colour bitmaps, RSSNewsState.bmp and RSSNewsFolder.bmp, beside this script.

RSSNewsState.bmp (bitmap 26306) is a strip of four 13x13 state images for the check-box tree: 0 plain silver
(never drawn), 1 an empty white box in a black frame (unchecked), 2 a black check on silver in a black
frame (partially checked), 3 a black check on white in a black frame (checked). RSSNewsFolder.bmp (bitmap
26307) is a strip of two 16x16 folder images, closed and open. White is the image lists' transparent colour.

The files are committed; run this script again only to change the pictures.
"""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, SILVER, GRAY, YELLOW, WHITE = 0, 3, 7, 8, 11, 15

# The check mark, 7x7, drawn 3 pixels in from the box's corner.
CHECK = [
    "......X",
    ".....XX",
    "X...XXX",
    "XX.XXX.",
    "XXXXX..",
    ".XXX...",
    "..X....",
]

CLOSED_FOLDER = [
    "................",
    "................",
    "..KKKKK.........",
    ".KYYYYYK........",
    "KKKKKKKKKKKKKK..",
    "KYYYYYYYYYYYYK..",
    "KYYYYYYYYYYYYK..",
    "KYYYYYYYYYYYYK..",
    "KYYYYYYYYYYYYK..",
    "KYYYYYYYYYYYYK..",
    "KYYYYYYYYYYYYK..",
    "KYYYYYYYYYYYYK..",
    "KOOOOOOOOOOOOK..",
    "KKKKKKKKKKKKKK..",
    "................",
    "................",
]

OPEN_FOLDER = [
    "................",
    "................",
    "..KKKKK.........",
    ".KYYYYYK........",
    "KYYYYYYKKKKKK...",
    "KYYYYYYYYYYYK...",
    "KYYYKKKKKKKKKKKK",
    "KYYKYYYYYYYYYYYK",
    "KYYKYYYYYYYYYYK.",
    "KYKYYYYYYYYYYYK.",
    "KYKYYYYYYYYYYK..",
    "KKYYYYYYYYYYYK..",
    "KKOOOOOOOOOOK...",
    "KKKKKKKKKKKKK...",
    "................",
    "................",
]
FOLDER_COLOURS = {".": WHITE, "K": BLACK, "Y": YELLOW, "O": OLIVE}


def state_image(background, framed, checked):
    size = 13
    pixels = [[background] * size for _ in range(size)]
    if framed:
        for i in range(size):
            pixels[0][i] = pixels[size - 1][i] = pixels[i][0] = pixels[i][size - 1] = BLACK
    if checked:
        for y, row in enumerate(CHECK):
            for x, mark in enumerate(row):
                if mark == "X":
                    pixels[3 + y][3 + x] = BLACK
    return pixels


def side_by_side(images):
    return [sum((image[y] for image in images), []) for y in range(len(images[0]))]


def write_bmp(path, pixels):
    """A bottom-up 4-bit BMP with the palette above."""
    height, width = len(pixels), len(pixels[0])
    stride = ((width * 4 + 31) // 32) * 4
    rows = []
    for row in reversed(pixels):
        packed = bytearray()
        for x in range(0, width, 2):
            low = row[x + 1] if x + 1 < width else 0
            packed.append((row[x] << 4) | low)
        rows.append(bytes(packed.ljust(stride, b"\0")))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    bits = b"".join(rows)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(bits), 2835, 2835, 16, 16)
    with open(path, "wb") as out:
        out.write(header + info + palette + bits)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    states = [
        state_image(SILVER, framed=False, checked=False),
        state_image(WHITE, framed=True, checked=False),
        state_image(SILVER, framed=True, checked=True),
        state_image(WHITE, framed=True, checked=True),
    ]
    write_bmp(os.path.join(here, "RSSNewsState.bmp"), side_by_side(states))
    folders = [[[FOLDER_COLOURS[c] for c in row] for row in image] for image in (CLOSED_FOLDER, OPEN_FOLDER)]
    write_bmp(os.path.join(here, "RSSNewsFolder.bmp"), side_by_side(folders))


if __name__ == "__main__":
    main()
