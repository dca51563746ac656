#!/usr/bin/env python3
"""Turns the icon's text grid into a 48 x 48, 16-colour .ico file.

Each character of the grid is one pixel: a hexadecimal digit names a colour
of the standard 16-colour palette, '.' is transparent.
Usage: make_icon.py GRID.txt OUT.ico
"""
import struct
import sys

PALETTE = [  # (red, green, blue) of the standard VGA palette
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
SIZE = 48


def read_grid(path):
    rows = [line.rstrip("\n") for line in open(path, encoding="ascii")]
    rows = [r for r in rows if r]
    if len(rows) != SIZE or any(len(r) != SIZE for r in rows):
        sys.exit(f"{path}: the grid must be {SIZE} rows of {SIZE} characters")
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != "." and ch.upper() not in "0123456789ABCDEF":
                sys.exit(f"{path}: row {y}, column {x}: unknown pixel {ch!r}")
    return rows


def icon_image(rows):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour = b""
    mask = b""
    for row in reversed(rows):  # bottom-up
        indexes = [0 if ch == "." else int(ch, 16) for ch in row]
        colour += bytes((indexes[i] << 4) | indexes[i + 1] for i in range(0, SIZE, 2))
        bits = 0
        for ch in row:
            bits = (bits << 1) | (1 if ch == "." else 0)
        mask += bits.to_bytes(SIZE // 8, "big") + b"\0\0"  # rows padded to 32 bits
    return header + palette + colour + mask


def main():
    grid, out = sys.argv[1], sys.argv[2]
    image = icon_image(read_grid(grid))
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    with open(out, "wb") as f:
        f.write(directory + entry + image)


if __name__ == "__main__":
    main()
