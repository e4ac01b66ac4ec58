#!/usr/bin/env python3
"""Writes the PNG test files beside this script, and cases.txt with what each must decode to.

Every colour type and bit depth, plain and Adam7-interlaced, with and without tRNS, rows
filtered with all five filter types, and a few files that must be refused. The files are made
with Python's zlib and the expected pixels computed here, independently of the decoder under
test. Standard library only; the output is the same on every run.

cases.txt has one line per file:
  NAME W H P0 P1 ...   the expected colours, row by row, as 0x00BBGGRR in hexadecimal
  NAME ! MESSAGE       the error the file must give
"""

import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
W, H = 13, 9
FUCHSIA = 0xFF00FF
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
DEPTHS = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def to8(v, depth):
    """A sample of `depth` bits as 8 bits: exact for 1..8 bits, round(v * 255 / 65535) for 16."""
    top = (1 << depth) - 1
    return (v * 255 * 2 + top) // (2 * top)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_rows(rows, bpp):
    """Each row (bytes) prefixed with its filter type; the type cycles through all five."""
    out = bytearray()
    prev = bytes(len(rows[0])) if rows else b""
    for n, row in enumerate(rows):
        kind = n % 5
        out.append(kind)
        for i, x in enumerate(row):
            a = row[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            predictor = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
            out.append((x - predictor) & 0xFF)
        prev = row
    return bytes(out)


def pack(samples, depth):
    """One row of samples as PNG stores them: big-endian, low depths packed from the high bits."""
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out = bytearray((len(samples) * depth + 7) // 8)
    for i, s in enumerate(samples):
        bit = i * depth
        out[bit // 8] |= s << (8 - depth - bit % 8)
    return bytes(out)


def image_data(pixels, colour_type, depth, interlaced):
    """pixels[y][x] is a tuple of samples; returns the filtered, uncompressed data."""
    channels = CHANNELS[colour_type]
    bpp = max(1, channels * depth // 8)
    if not interlaced:
        return filter_rows([pack([s for p in row for s in p], depth) for row in pixels], bpp)
    data = b""
    for x0, y0, dx, dy in ADAM7:
        xs = range(x0, W, dx)
        ys = range(y0, H, dy)
        if not xs or not ys:
            continue
        data += filter_rows([pack([s for x in xs for s in pixels[y][x]], depth) for y in ys], bpp)
    return data


def colour(r, g, b):
    return r | (g << 8) | (b << 16)


def make_case(colour_type, depth, interlaced, trns, rnd):
    """Returns (png bytes, expected colours)."""
    top = (1 << depth) - 1
    pixels = []
    alpha_choices = [0, 127, 128, 255, 64, 200] if depth == 8 else \
        [0, 32767, 32768, 32895, 32896, 65535, 1000, 60000]
    for y in range(H):
        row = []
        for x in range(W):
            if colour_type == 3:
                row.append((rnd.randrange(1 << depth),))
                continue
            samples = [rnd.choice([0, top, rnd.randrange(top + 1)]) for _ in range(CHANNELS[colour_type])]
            if depth == 16 and colour_type != 3:
                # 16-bit values next to the rounding boundaries of the 8-bit result.
                samples = [rnd.choice([0, 128, 32767, 32768, 32896, 65535, rnd.randrange(65536)])
                           for _ in samples]
            if colour_type in (4, 6):
                samples[-1] = rnd.choice(alpha_choices)
            row.append(tuple(samples))
        pixels.append(row)

    body = b""
    palette = []
    if colour_type == 3:
        palette = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(1 << depth)]
        body += chunk(b"PLTE", bytes(c for entry in palette for c in entry))
    alphas = []
    key = None
    if trns:
        if colour_type == 3:
            alphas = [0, 127, 128][: len(palette) - 1]  # shorter than the palette: the rest opaque
            body += chunk(b"tRNS", bytes(alphas))
        else:
            key = pixels[1][2]  # a colour that the picture holds
            body += chunk(b"tRNS", b"".join(struct.pack(">H", s) for s in key))

    expected = []
    for row in pixels:
        for p in row:
            if colour_type == 3:
                r, g, b = palette[p[0]]
                a = alphas[p[0]] if p[0] < len(alphas) else 255
            else:
                if colour_type in (0, 4):
                    r = g = b = to8(p[0], depth)
                else:
                    r, g, b = (to8(s, depth) for s in p[:3])
                a = to8(p[-1], depth) if colour_type in (4, 6) else 255
                if key is not None and p == key:
                    a = 0
            expected.append(FUCHSIA if a < 128 else colour(r, g, b))

    ihdr = struct.pack(">IIBBBBB", W, H, depth, colour_type, 0, 0, 1 if interlaced else 0)
    data = zlib.compress(image_data(pixels, colour_type, depth, interlaced), 9)
    # The data split over two IDAT chunks, as encoders that write in pieces do.
    half = len(data) // 2
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + body + chunk(b"IDAT", data[:half]) +
           chunk(b"IDAT", data[half:]) + chunk(b"IEND", b""))
    return png, expected


def main():
    lines = []
    files = {}
    rnd = random.Random(12)
    names = {0: "grey", 2: "rgb", 3: "palette", 4: "grey-alpha", 6: "rgba"}
    for colour_type, depths in DEPTHS.items():
        for depth in depths:
            for interlaced in (False, True):
                for trns in ((False, True) if colour_type in (0, 2, 3) else (False,)):
                    name = "%s-%d%s%s.png" % (names[colour_type], depth, "-interlaced" if interlaced else "",
                                             "-trns" if trns else "")
                    png, expected = make_case(colour_type, depth, interlaced, trns, rnd)
                    files[name] = png
                    lines.append("%s %d %d %s" % (name, W, H, " ".join("%06x" % c for c in expected)))

    # Ancillary chunks that the decoder ignores, a malformed one and one with a wrong CRC among
    # them: the pixels are taken as stored.
    base, expected = make_case(2, 8, False, False, rnd)
    bad_crc = bytearray(chunk(b"tEXt", b"Title\x00level 1"))
    bad_crc[-1] ^= 0xFF
    extra = (bytes(bad_crc) + chunk(b"tEXt", b"no keyword separator") +chunk(b"gAMA", struct.pack(">I", 100000)) + chunk(b"sRGB", b"\x00") +
             chunk(b"iCCP", b"profile\x00\x00" + zlib.compress(b"not a real profile")) +
             chunk(b"tEXt", b"Comment\x00drawn by hand") +
             chunk(b"zTXt", b"Author\x00\x00" + zlib.compress(b"someone")) +
             chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1)) + chunk(b"prVt", b"private"))
    files["ancillary-chunks.png"] = base[:33] + extra + base[33:]
    lines.append("ancillary-chunks.png %d %d %s" % (W, H, " ".join("%06x" % c for c in expected)))

    # Files to refuse.
    good, _ = make_case(2, 8, False, False, rnd)
    ihdr_at = 8
    bad = {}
    bad["bad-signature.png"] = (b"\x89PNG\r\n\x1a\x0b" + good[8:], "Image PNG incorrecte")
    crc = bytearray(good)
    crc[ihdr_at + 8 + 13] ^= 0x01  # first CRC byte of IHDR
    bad["bad-crc.png"] = (bytes(crc), "Image PNG incorrecte")
    bad["bad-depth.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 4, 2, 0, 0, 0)) +
                            good[33:], "Image PNG incorrecte")
    bad["unknown-critical-chunk.png"] = (good[:33] + chunk(b"ABCD", b"1234") + good[33:], "Image PNG incorrecte")
    idat = good.find(b"IDAT")
    broken = bytearray(good)
    for i in range(idat + 6, idat + 14):
        broken[i] ^= 0x5A
    length = struct.unpack(">I", good[idat - 4:idat])[0]
    broken[idat + 4 + length:idat + 8 + length] = struct.pack(
        ">I", zlib.crc32(bytes(broken[idat:idat + 4 + length])))
    bad["bad-image-data.png"] = (bytes(broken), "Image PNG incorrecte")
    # 32768 x 16384 = 2^29 pixels: above the limit, refused before anything is allocated.
    huge = struct.pack(">IIBBBBB", 32768, 16384, 1, 0, 0, 0, 0)
    tail = chunk(b"IDAT", zlib.compress(b"\x00" * 100)) + chunk(b"IEND", b"")
    bad["too-many-pixels.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", huge) + tail, "Image PNG incorrecte")
    # 16384 x 16384 RGBA at 16 bits (2^28 pixels, allowed) in a file of a few dozen bytes: its
    # 2 GiB of pixel data cannot inflate from so little.
    claims = struct.pack(">IIBBBBB", 16384, 16384, 16, 6, 0, 0, 0)
    bad["claims-more-than-file.png"] = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", claims) + tail,
                                        "Erreur de lecture du flux")
    bad["truncated-image-data.png"] = (good[:idat + 20], "Erreur de lecture du flux")
    # A data chunk whose length reaches past the end of the file.
    long_chunk = bytearray(good)
    long_chunk[idat - 4:idat] = struct.pack(">I", 1000000)
    bad["chunk-longer-than-file.png"] = (bytes(long_chunk), "Erreur de lecture du flux")
    bad["no-end-chunk.png"] = (good[:-12], "Erreur de lecture du flux")
    bad["header-only.png"] = (good[:33], "Erreur de lecture du flux")
    bad["short-signature.png"] = (good[:4], "Erreur de lecture du flux")
    bad["empty.png"] = (b"", "Erreur de lecture du flux")
    for name, (data, message) in bad.items():
        files[name] = data
        lines.append("%s ! %s" % (name, message))

    for name, data in files.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)
    with open(os.path.join(HERE, "cases.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
