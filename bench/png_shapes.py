#!/usr/bin/env python3
"""Writes the pictures of bench/png-shapes: one picture in several PNG encodings of the same
pixels, and some as 1-bit bitmaps. Standard library only (zlib for the image data).

  png_shapes.py DIR [--large]

Pictures (NAME-KIND.png / .bmp):
  narrow     16 x 2^26 (2^24 without --large), black: grey 1-bit, RGB 8-bit, 1-bit bitmap
  square     8192 x 8192, black and white in shifted bands of noise: grey 1-bit, grey 8-bit,
             palette 2-bit, RGB 8-bit
  huge       65535 x 65535 (only with --large), black: grey 1-bit
"""

import os
import random
import struct
import sys
import zlib


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def write_png(path, width, height, depth, colour_type, rows, palette=None):
    """`rows(y)` gives row y as stored (without its filter byte); rows go out filtered None."""
    packer = zlib.compressobj(6)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)))
        if palette:
            out.write(chunk(b"PLTE", palette))
        pending = []
        size = 0
        for y in range(height):
            data = packer.compress(b"\0" + rows(y))
            if data:
                pending.append(data)
                size += len(data)
            if size >= 1 << 20:
                out.write(chunk(b"IDAT", b"".join(pending)))
                pending, size = [], 0
        pending.append(packer.flush())
        out.write(chunk(b"IDAT", b"".join(pending)))
        out.write(chunk(b"IEND", b""))


def write_black_png(path, width, height, depth, colour_type):
    """A black picture, written a block of identical rows at a time (fast for 2^26 rows)."""
    channels = {0: 1, 2: 3}[colour_type]
    row = b"\0" * (1 + (width * channels * depth + 7) // 8)
    packer = zlib.compressobj(6)
    block = row * max(1, (1 << 20) // len(row))
    rows_a_block = len(block) // len(row)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)))
        left = height
        pending = []
        while left > 0:
            n = min(left, rows_a_block)
            pending.append(packer.compress(block[: n * len(row)]))
            left -= n
        pending.append(packer.flush())
        data = b"".join(pending)
        for i in range(0, len(data), 1 << 20):
            out.write(chunk(b"IDAT", data[i : i + (1 << 20)]))
        out.write(chunk(b"IEND", b""))


def write_black_bitmap(path, width, height):
    """A 1-bit bottom-up bitmap, black and white palette, every pixel black."""
    stride = ((width + 31) // 32) * 4
    header = 14 + 40 + 8
    with open(path, "wb") as out:
        out.write(b"BM" + struct.pack("<IHHI", header + stride * height, 0, 0, header))
        out.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, stride * height, 2835, 2835, 2, 0))
        out.write(b"\0\0\0\0\xff\xff\xff\0")
        block = b"\0" * (stride * 65536)
        left = height
        while left > 0:
            n = min(left, 65536)
            out.write(block[: n * stride])
            left -= n


def write_square(folder, size):
    """Black and white noise, each row the row of noise shifted by a multiple of 8 pixels."""
    rng = random.Random(7)
    bits = bytes(rng.getrandbits(8) for _ in range(size // 8))
    pixels = bytes(255 * ((bits[x // 8] >> (7 - x % 8)) & 1) for x in range(size))
    twice_bits, twice_grey = bits * 2, pixels * 2
    # 2-bit palette indices 0 (black) and 1 (white), four to a byte.
    two = bytearray(size // 4)
    for x in range(size):
        if pixels[x]:
            two[x // 4] |= 1 << (6 - 2 * (x % 4))
    twice_two = bytes(two) * 2
    twice_rgb = bytes(v for p in pixels for v in (p, p, p)) * 2
    shift = lambda y: (y * 13) % (size // 8)  # in bytes of the 1-bit row, 8 pixels each
    write_png(os.path.join(folder, "square-grey1.png"), size, size, 1, 0, lambda y: twice_bits[shift(y) : shift(y) + size // 8])
    write_png(os.path.join(folder, "square-grey8.png"), size, size, 8, 0,
              lambda y: twice_grey[8 * shift(y) : 8 * shift(y) + size])
    write_png(os.path.join(folder, "square-palette2.png"), size, size, 2, 3,
              lambda y: twice_two[2 * shift(y) : 2 * shift(y) + size // 4], palette=b"\0\0\0\xff\xff\xff")
    write_png(os.path.join(folder, "square-rgb8.png"), size, size, 8, 2,
              lambda y: twice_rgb[24 * shift(y) : 24 * shift(y) + 3 * size])


def main():
    folder = sys.argv[1]
    large = "--large" in sys.argv[2:]
    tall = 1 << (26 if large else 24)
    write_black_png(os.path.join(folder, "narrow-grey1.png"), 16, tall, 1, 0)
    write_black_png(os.path.join(folder, "narrow-rgb8.png"), 16, tall, 8, 2)
    write_black_bitmap(os.path.join(folder, "narrow-bmp1.bmp"), 16, tall)
    write_square(folder, 8192)
    if large:
        write_black_png(os.path.join(folder, "huge-grey1.png"), 65535, 65535, 1, 0)


if __name__ == "__main__":
    main()
