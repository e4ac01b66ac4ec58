#!/usr/bin/env python3
"""Draws the demo scene: a small side-scrolling level of 512 x 224 pixels (32 x 14 tiles).

Writes three 24-bit bitmap files beside this script, named so that the shell's alphabetical
order is the order that tavrik-batch expects:

  1-sprites.bmp     the sprite plane: the sprites where they stand, flat fuchsia elsewhere, so
                    that the cut-out turns everything but the sprites transparent
  2-background.bmp  the background plane: sky, clouds, hills, bricks, crates, columns and ground
  3-full.bmp        the full plane: the background with the sprites drawn over it

It also writes PNG copies beside them, for tavrik-batch: 2-background.png and 3-full.png as
8-bit RGB, and 1-sprites.png as RGBA whose transparent pixels (alpha 0, black underneath) stand
for the fuchsia ones, as a sprite layer exported from a painting program would.

The background repeats tile-aligned motifs (sky, bricks, ground, crates, columns), so the tile
lists shrink a lot when duplicates are removed; the hills and clouds add a few unique tiles.
Colours are chosen across the brightness bands of the default thresholds (100, 170, 300), so
the four grey levels all appear. Standard library only; the output is the same on every run.
"""

import os
import struct
import zlib

WIDTH, HEIGHT = 512, 224
TILE = 16
FUCHSIA = (255, 0, 255)

# Colours (R, G, B) with their brightness R + G + B and the grey level that the default
# thresholds give: < 100 black, < 170 dark grey, < 300 light grey, else white.
SKY = (92, 148, 252)          # 492 white
CLOUD = (252, 252, 252)       # white
CLOUD_SHADE = (60, 80, 140)   # 280 light grey
CLOUD_EDGE = (30, 40, 70)     # 140 dark grey
HILL = (40, 150, 60)          # 250 light grey
HILL_DARK = (20, 70, 30)      # 120 dark grey
HILL_EDGE = (10, 30, 10)      # 50 black
BRICK = (180, 70, 30)         # 280 light grey
BRICK_LIGHT = (240, 150, 110)  # 500 white
MORTAR = (40, 20, 10)         # 70 black
CRATE = (200, 140, 60)        # 400 white
CRATE_LIGHT = (240, 200, 120)  # 560 white
CRATE_EDGE = (100, 50, 10)    # 160 dark grey
NAIL = (20, 10, 0)            # 30 black
STONE_MID = (80, 80, 110)     # 270 light grey
STONE_LIGHT = (170, 170, 190)  # 530 white
STONE_DARK = (30, 30, 50)     # 110 dark grey
GRASS = (60, 200, 40)         # 300 white
GRASS_DARK = (30, 110, 20)    # 160 dark grey
DIRT = (150, 90, 40)          # 280 light grey
DIRT_DARK = (70, 40, 20)      # 130 dark grey
STONE = (30, 25, 20)          # 75 black
BUSH = (50, 180, 50)          # 280 light grey
BUSH_DARK = (20, 90, 20)      # 130 dark grey

# Sprites as character art; "." is transparent.
KNIGHT = [
    ".....PP.........",
    "....PP..........",
    "...AAAAAA.......",
    "..AAAAAAAA......",
    "..AVVVVVVA......",
    "..AVESSEVA......",
    "..AASSSSAA..W...",
    "...TTTTTT...W...",
    "..TTGTTGTT..W...",
    ".STTTTTTTTS.W...",
    ".S.TTTTTT.SWWW..",
    "...TTTTTT...H...",
    "...LL..LL.......",
    "...LL..LL.......",
    "..BBB..BBB......",
    "..BBB..BBB......",
]
KNIGHT_COLOURS = {"P": (200, 40, 40), "A": (90, 95, 110), "V": (20, 20, 30),
                  "E": (250, 250, 250), "S": (200, 150, 110), "T": (20, 60, 120),
                  "G": (240, 200, 60), "W": (220, 220, 230), "H": (90, 60, 20),
                  "L": (40, 40, 60), "B": (60, 30, 10)}

SLIME = [
    "................",
    "................",
    "................",
    "................",
    "......GGGG......",
    "....GGGGGGGG....",
    "...GGLLGGGGGG...",
    "..GGLLGGGGGGGG..",
    "..GGGWWGGWWGGG..",
    ".GGGGWKGGWKGGGG.",
    ".GGGGGGGGGGGGGG.",
    "GGGGGGKKKKGGGGGG",
    "GGGGGGGGGGGGGGGG",
    "GGGGGGGGGGGGGGGG",
    "GGGGGGGGGGGGGGGG",
    ".DDDDDDDDDDDDDD.",
]
SLIME_COLOURS = {"G": (110, 40, 130), "L": (200, 150, 220), "D": (50, 20, 60),
                 "W": (250, 250, 250), "K": (10, 10, 10)}

GEM = [
    "...CC...",
    "..CLLC..",
    ".CLLBBC.",
    "CLLBBBBC",
    "CBBBBBDC",
    ".CBBBDC.",
    "..CBDC..",
    "...CC...",
]
GEM_COLOURS = {"C": (20, 60, 110), "L": (200, 240, 255), "B": (60, 170, 230), "D": (30, 100, 160)}

BIRD = [
    "K.............K.",
    "KK...........KK.",
    ".KKK.......KKK..",
    "..KKKK...KKKK...",
    "...KKKWWWKKK....",
    "....KWWOWWK.....",
    ".....WWWWWAA....",
    "......WWWW......",
]
BIRD_COLOURS = {"K": (60, 60, 80), "W": (240, 240, 240), "O": (10, 10, 10), "A": (240, 140, 0)}


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.rows = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.rows[y][x] = colour

    def get(self, x, y):
        return self.rows[y][x]

    def rect(self, x, y, w, h, colour):
        for yy in range(y, y + h):
            for xx in range(x, x + w):
                self.put(xx, yy, colour)

    def disc(self, cx, cy, r, colour, lower_half_cut=None):
        for yy in range(cy - r, cy + r + 1):
            if lower_half_cut is not None and yy > lower_half_cut:
                continue
            for xx in range(cx - r, cx + r + 1):
                if (xx - cx) ** 2 + (yy - cy) ** 2 <= r * r:
                    self.put(xx, yy, colour)

    def art(self, x, y, rows, colours):
        for dy, line in enumerate(rows):
            for dx, ch in enumerate(line):
                if ch != ".":
                    self.put(x + dx, y + dy, colours[ch])

    def write_bmp(self, path):
        row_bytes = (self.width * 3 + 3) // 4 * 4
        image_size = row_bytes * self.height
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + image_size, 0, 0, 14 + 40)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, image_size,
                           2835, 2835, 0, 0)
        data = bytearray()
        for y in range(self.height - 1, -1, -1):  # bottom-up
            for r, g, b in self.rows[y]:
                data += bytes((b, g, r))
            data += bytes(row_bytes - self.width * 3)
        with open(path, "wb") as f:
            f.write(header + info + data)

    def write_png(self, path, transparent=None):
        """8-bit RGB, or RGBA with the colour `transparent` written as (0, 0, 0, 0)."""
        alpha = transparent is not None
        data = bytearray()
        for row in self.rows:
            data.append(0)  # filter: none
            for pixel in row:
                if not alpha:
                    data += bytes(pixel)
                else:
                    data += bytes((0, 0, 0, 0)) if pixel == transparent else bytes(pixel) + b"\xff"

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body +
                    struct.pack(">I", zlib.crc32(kind + body)))

        ihdr = struct.pack(">IIBBBBB", self.width, self.height, 8, 6 if alpha else 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
                    chunk(b"IDAT", zlib.compress(bytes(data), 9)) + chunk(b"IEND", b""))


def brick_tile(c, tx, ty):
    x0, y0 = tx * TILE, ty * TILE
    c.rect(x0, y0, TILE, TILE, BRICK)
    for y in (0, 8):
        c.rect(x0, y0 + y, TILE, 1, MORTAR)
        c.rect(x0, y0 + y + 1, TILE, 1, BRICK_LIGHT)
    for x, top in ((0, 0), (8, 8)):
        c.rect(x0 + x, y0 + top, 1, 8, MORTAR)


def crate_tile(c, tx, ty):
    x0, y0 = tx * TILE, ty * TILE
    c.rect(x0, y0, TILE, TILE, CRATE_EDGE)
    c.rect(x0 + 1, y0 + 1, TILE - 2, TILE - 2, CRATE)
    for i in range(2, TILE - 2):
        c.put(x0 + i, y0 + i, CRATE_EDGE)
        c.put(x0 + TILE - 1 - i, y0 + i, CRATE_EDGE)
    for x, y in ((2, 2), (13, 2), (2, 13), (13, 13)):
        c.put(x0 + x, y0 + y, NAIL)
    c.rect(x0 + 1, y0 + 1, TILE - 2, 1, CRATE_LIGHT)


def ground_tile(c, tx, ty, top):
    x0, y0 = tx * TILE, ty * TILE
    c.rect(x0, y0, TILE, TILE, DIRT)
    for x, y in ((3, 6), (11, 3), (7, 11), (13, 13), (1, 14)):
        c.rect(x0 + x, y0 + y, 2, 2, DIRT_DARK)
    c.put(x0 + 9, y0 + 7, STONE)
    if top:
        c.rect(x0, y0, TILE, 4, GRASS)
        for x in range(0, TILE, 4):
            c.rect(x0 + x, y0 + 4, 2, 1, GRASS_DARK)
        c.rect(x0, y0, TILE, 1, GRASS_DARK)


def column(c, tx, ty_top, height_tiles):
    # A stone column two tiles wide: a capital on the top tile row, then a fluted shaft.
    x0 = tx * TILE
    y_top = ty_top * TILE
    y_bottom = (ty_top + height_tiles) * TILE
    c.rect(x0 + 3, y_top, 2 * TILE - 6, y_bottom - y_top, STONE_MID)
    for x in (7, 13, 19, 25):
        c.rect(x0 + x, y_top, 2, y_bottom - y_top, STONE_DARK)
        c.rect(x0 + x - 2, y_top, 1, y_bottom - y_top, STONE_LIGHT)
    c.rect(x0, y_top, 2 * TILE, TILE, STONE_MID)
    c.rect(x0, y_top, 2 * TILE, 2, STONE_LIGHT)
    c.rect(x0, y_top + 6, 2 * TILE, 1, STONE_DARK)
    c.rect(x0, y_top + TILE - 2, 2 * TILE, 2, STONE_DARK)
    c.rect(x0 + 2, y_top + 9, 2 * TILE - 4, 3, STONE_LIGHT)


def cloud(c, tx, ty):
    # Three tiles wide, two high; drawn the same wherever it stands, so repeats de-duplicate.
    x0, y0 = tx * TILE, ty * TILE
    for cx, cy, r in ((12, 18, 9), (24, 12, 11), (36, 18, 9)):
        c.disc(x0 + cx, y0 + cy, r + 1, CLOUD_EDGE, lower_half_cut=y0 + 27)
    for cx, cy, r in ((12, 18, 9), (24, 12, 11), (36, 18, 9)):
        c.disc(x0 + cx, y0 + cy, r, CLOUD, lower_half_cut=y0 + 26)
    c.rect(x0 + 6, y0 + 24, 36, 3, CLOUD_SHADE)


def hill(c, cx, base_y, r):
    c.disc(cx, base_y, r + 1, HILL_EDGE, lower_half_cut=base_y - 1)
    c.disc(cx, base_y, r, HILL, lower_half_cut=base_y - 1)
    for dx, dy in ((-8, -r // 2), (6, -r // 3), (-2, -2 * r // 3)):
        c.rect(cx + dx, base_y + dy, 2, 6, HILL_DARK)


def bush(c, tx, ty, tiles):
    x0, y0 = tx * TILE, ty * TILE
    for i in range(tiles):
        c.disc(x0 + i * TILE + 8, y0 + 16, 9, BUSH_DARK, lower_half_cut=y0 + 15)
        c.disc(x0 + i * TILE + 8, y0 + 16, 8, BUSH, lower_half_cut=y0 + 15)


def draw_background():
    c = Canvas(WIDTH, HEIGHT, SKY)
    for tx, ty in ((1, 1), (9, 2), (17, 1), (25, 2), (29, 0)):
        cloud(c, tx, ty)
    hill(c, 48, 192, 40)
    hill(c, 330, 192, 26)
    bush(c, 13, 11, 3)
    bush(c, 26, 11, 2)
    for tx in range(5, 10):
        brick_tile(c, tx, 8)
    crate_tile(c, 7, 8)
    crate_tile(c, 7, 4)
    for tx in range(15, 21):
        brick_tile(c, tx, 5)
    crate_tile(c, 17, 5)
    crate_tile(c, 18, 5)
    for ty in (9, 10, 11):
        brick_tile(c, 28, ty)
        brick_tile(c, 29, ty)
    column(c, 11, 10, 2)
    column(c, 23, 9, 3)
    for tx in range(WIDTH // TILE):
        if tx in (19, 20):  # a gap in the ground, with the bricks of the lower row showing
            brick_tile(c, tx, 13)
            continue
        ground_tile(c, tx, 12, top=True)
        ground_tile(c, tx, 13, top=False)
    return c


SPRITES = [
    (KNIGHT, KNIGHT_COLOURS, 42, 176),
    (SLIME, SLIME_COLOURS, 203, 176),
    (SLIME, SLIME_COLOURS, 297, 176),
    (GEM, GEM_COLOURS, 246, 62),
    (GEM, GEM_COLOURS, 262, 62),
    (GEM, GEM_COLOURS, 278, 62),
    (GEM, GEM_COLOURS, 100, 112),
    (BIRD, BIRD_COLOURS, 395, 44),
    (BIRD, BIRD_COLOURS, 430, 62),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    background = draw_background()
    full = Canvas(WIDTH, HEIGHT, SKY)
    full.rows = [row[:] for row in background.rows]
    sprites = Canvas(WIDTH, HEIGHT, FUCHSIA)
    for art, colours, x, y in SPRITES:
        full.art(x, y, art, colours)
        sprites.art(x, y, art, colours)
    # The sprite plane holds exactly the full plane's pixels where the sprites are.
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if sprites.get(x, y) != FUCHSIA:
                assert sprites.get(x, y) == full.get(x, y)
    sprites.write_bmp(os.path.join(here, "1-sprites.bmp"))
    background.write_bmp(os.path.join(here, "2-background.bmp"))
    full.write_bmp(os.path.join(here, "3-full.bmp"))
    sprites.write_png(os.path.join(here, "1-sprites.png"), transparent=FUCHSIA)
    background.write_png(os.path.join(here, "2-background.png"))
    full.write_png(os.path.join(here, "3-full.png"))


if __name__ == "__main__":
    main()
