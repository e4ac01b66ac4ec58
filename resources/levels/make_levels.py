#!/usr/bin/env python3
"""Cuts three small levels out of the demo scene, for the shared tile bank example.

Each level is 192 x 112 pixels (12 x 7 tiles of 16) of the demo's lower half, written as the
three bitmap files that tavrik-batch expects, into the folders 1/, 2/ and 3/ beside this
script:

  1/  the demo's columns 0..191
  2/  the demo's columns 160..351 (its first two tile columns are level 1's last two)
  3/  level 1 mirrored left to right, so that with --flips it brings no new tile at all

and, for the mirrored-tiles example, into halves/: a level whose right half (96 pixels) is its
left half, the demo's columns 0..95, mirrored left to right.

Reads ../demo/*.bmp (24-bit, bottom-up, as make_demo.py writes them). Standard library only;
the output is the same on every run.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, "..", "demo")
PLANES = ("1-sprites.bmp", "2-background.bmp", "3-full.bmp")
WIDTH, HEIGHT, TOP = 192, 112, 112


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    row_bytes = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(height):  # top-down
        start = offset + (height - 1 - y) * row_bytes
        rows.append([tuple(data[start + 3 * x:start + 3 * x + 3]) for x in range(width)])  # (b, g, r)
    return rows


def write_bmp(path, rows):
    height, width = len(rows), len(rows[0])
    row_bytes = (width * 3 + 3) // 4 * 4
    image_size = row_bytes * height
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    data = bytearray()
    for row in reversed(rows):  # bottom-up
        for pixel in row:
            data += bytes(pixel)
        data += bytes(row_bytes - width * 3)
    with open(path, "wb") as f:
        f.write(header + info + data)


def main():
    for plane in PLANES:
        demo = read_bmp(os.path.join(DEMO, plane))
        levels = {
            "1": [row[0:WIDTH] for row in demo[TOP:TOP + HEIGHT]],
            "2": [row[160:160 + WIDTH] for row in demo[TOP:TOP + HEIGHT]],
        }
        levels["3"] = [list(reversed(row)) for row in levels["1"]]
        levels["halves"] = [row[0:WIDTH // 2] + list(reversed(row[0:WIDTH // 2])) for row in demo[TOP:TOP + HEIGHT]]
        for name, rows in levels.items():
            os.makedirs(os.path.join(HERE, name), exist_ok=True)
            write_bmp(os.path.join(HERE, name, plane), rows)


if __name__ == "__main__":
    main()
