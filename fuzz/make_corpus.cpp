// Writes the fuzzer's seed corpus into the folder given: small pictures of every kind, each
// file's first byte choosing the decoder (0 bmp, 1 ico, 2 emf, 3 wmf, 8 and up png) as
// fuzz_picture expects. Bitmaps cover every header size, depth and compression, both row orders,
// and a few refusals; PNGs every colour type and depth, interlaced or not, with and without tRNS.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/byte_fields.h"
#include "png_chunks.h"

namespace {

using tavrik::testing::Bytes;
using tavrik::testing::put16;
using tavrik::testing::put32;


int written = 0;

void save(const std::string& folder, const std::string& name, std::uint8_t kind, const Bytes& contents) {
  const std::string path = folder + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fputc(kind, f);
  std::fwrite(contents.data(), 1, contents.size(), f);
  std::fclose(f);
  ++written;
}

// RLE data for a w x h picture: a run, an absolute run, a delta, end of line, end of bitmap.
Bytes rleData(bool rle4, int w, int h) {
  Bytes d;
  for (int y = 0; y < h; ++y) {
    d.insert(d.end(), {3, static_cast<std::uint8_t>(rle4 ? 0x12 : y + 1)});
    d.insert(d.end(), {0, 4, 0x34, 0x56});
    if (!rle4) d.insert(d.end(), {0x78, 0x9A});
    if (y == 1) d.insert(d.end(), {0, 2, 1, 0});
    d.insert(d.end(), {0, 0});
  }
  (void)w;
  d.insert(d.end(), {0, 1});
  return d;
}

Bytes bitmap(std::uint32_t headerSize, int bpp, std::uint32_t compression, bool topDown) {
  const int w = 7, h = 5;
  Bytes b(14 + headerSize, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 14, headerSize);
  const unsigned entries = bpp <= 8 ? (1u << bpp) : 0;
  if (headerSize == 12) {
    put16(b, 18, w);
    put16(b, 20, h);
    put16(b, 22, 1);
    put16(b, 24, bpp);
  } else {
    put32(b, 18, w);
    put32(b, 22, static_cast<std::uint32_t>(topDown ? -h : h));
    put16(b, 26, 1);
    put16(b, 28, bpp);
    put32(b, 30, compression);
    put32(b, 46, entries > 16 ? 16 : 0);  // a short table for 8 bits
  }
  std::vector<std::uint32_t> masks;
  if (compression == 3)
    masks = bpp == 16 ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                      : std::vector<std::uint32_t>{0x3FF00000, 0x000FFC00, 0x000003FF};
  for (size_t k = 0; k < masks.size(); ++k) {
    if (headerSize == 40) {
      b.resize(b.size() + 4);
      put32(b, b.size() - 4, masks[k]);
    } else {
      put32(b, 54 + 4 * k, masks[k]);
    }
  }
  const unsigned tableEntries = headerSize == 12 ? entries : (entries > 16 ? 16 : entries);
  for (unsigned k = 0; k < tableEntries; ++k) {
    b.insert(b.end(), {static_cast<std::uint8_t>(k * 16), static_cast<std::uint8_t>(255 - k * 8),
                       static_cast<std::uint8_t>(k * 5)});
    if (headerSize != 12) b.push_back(0);
  }
  put32(b, 10, static_cast<std::uint32_t>(b.size()));
  if (compression == 1 || compression == 2) {
    const Bytes d = rleData(compression == 2, w, h);
    b.insert(b.end(), d.begin(), d.end());
  } else {
    const size_t stride = ((static_cast<size_t>(w) * bpp + 31) / 32) * 4;
    for (size_t i = 0; i < stride * h; ++i) b.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  }
  put32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

Bytes enhancedMetafile() {
  Bytes b(128, 0);
  put32(b, 0, 1);
  put32(b, 4, 108);
  put32(b, 32, 2539);
  put32(b, 36, 1269);
  b[40] = ' ';
  b[41] = 'E';
  b[42] = 'M';
  b[43] = 'F';
  put32(b, 44, 0x10000);
  put32(b, 48, 128);
  put32(b, 108, 14);
  put32(b, 112, 20);
  return b;
}

Bytes placeableMetafile() {
  Bytes b(46, 0);
  put32(b, 0, 0x9AC6CDD7u);
  put16(b, 10, 1440);
  put16(b, 12, 720);
  put16(b, 14, 1440);
  std::uint32_t sum = 0;
  for (int k = 0; k < 10; ++k) sum ^= b[2 * k] | (b[2 * k + 1] << 8);
  put16(b, 20, sum);
  put16(b, 22, 1);
  put16(b, 24, 9);
  put16(b, 26, 0x300);
  put32(b, 28, 12);
  put32(b, 40, 3);
  return b;
}

// A small PNG of colour type `colourType` at `depth` bits, its image data in stored (not
// compressed) deflate blocks, rows filtered with every filter type in turn.
Bytes png(int colourType, int depth, bool interlaced, bool trns) {
  const int w = 7, h = 5;
  const int channels = colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr(13, 0);
  tavrik::fuzzing::putBe32(&ihdr[0], w);
  tavrik::fuzzing::putBe32(&ihdr[4], h);
  ihdr[8] = static_cast<std::uint8_t>(depth);
  ihdr[9] = static_cast<std::uint8_t>(colourType);
  ihdr[12] = interlaced ? 1 : 0;
  tavrik::fuzzing::appendChunk(out, "IHDR", ihdr);
  if (colourType == 3) {
    Bytes plte;
    for (int k = 0; k < (1 << depth); ++k)
      plte.insert(plte.end(), {static_cast<std::uint8_t>(k * 40), static_cast<std::uint8_t>(255 - k), static_cast<std::uint8_t>(k * 7)});
    tavrik::fuzzing::appendChunk(out, "PLTE", plte);
  }
  if (trns) {
    const Bytes key = colourType == 3 ? Bytes{0, 127, 128} : colourType == 2 ? Bytes{0, 1, 0, 2, 0, 3} : Bytes{0, 1};
    tavrik::fuzzing::appendChunk(out, "tRNS", key);
  }
  // The rows of each pass (one pass of the whole picture when not interlaced).
  struct Pass { int x0, y0, dx, dy; };
  const std::vector<Pass> passes = interlaced ? std::vector<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                                  {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                                              : std::vector<Pass>{{0, 0, 1, 1}};
  Bytes raw;
  int row = 0;
  for (const Pass& p : passes) {
    const int pw = (w - p.x0 + p.dx - 1) / p.dx, ph = (h - p.y0 + p.dy - 1) / p.dy;
    if (pw <= 0 || ph <= 0) continue;
    const size_t bytes = (static_cast<size_t>(pw) * channels * depth + 7) / 8;
    for (int y = 0; y < ph; ++y, ++row) {
      raw.push_back(static_cast<std::uint8_t>(row % 5));
      for (size_t i = 0; i < bytes; ++i) raw.push_back(static_cast<std::uint8_t>(i * 29 + row * 71 + 3));
    }
  }
  // zlib stream: header, one stored block, Adler-32 of the data.
  Bytes z = {0x78, 0x01, 1, static_cast<std::uint8_t>(raw.size() & 0xFF), static_cast<std::uint8_t>(raw.size() >> 8),
             static_cast<std::uint8_t>(~raw.size() & 0xFF), static_cast<std::uint8_t>((~raw.size() >> 8) & 0xFF)};
  z.insert(z.end(), raw.begin(), raw.end());
  std::uint32_t a = 1, b = 0;
  for (const std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  z.resize(z.size() + 4);
  tavrik::fuzzing::putBe32(&z[z.size() - 4], (b << 16) | a);
  tavrik::fuzzing::appendChunk(out, "IDAT", z);
  tavrik::fuzzing::appendChunk(out, "IEND", {});
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  for (std::uint32_t headerSize : {12u, 40u, 108u, 124u}) {
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
      std::vector<std::uint32_t> compressions = {0};
      if (headerSize != 12) {
        if (bpp == 8) compressions.push_back(1);
        if (bpp == 4) compressions.push_back(2);
        if (bpp == 16 || bpp == 32) compressions.push_back(3);
      }
      for (std::uint32_t compression : compressions) {
        for (bool topDown : {false, true}) {
          if (topDown && (headerSize == 12 || compression == 1 || compression == 2)) continue;
          const std::string name = "bmp-h" + std::to_string(headerSize) + "-" + std::to_string(bpp) +
                                   "bpp-c" + std::to_string(compression) + (topDown ? "-topdown" : "");
          save(folder, name, 0, bitmap(headerSize, bpp, compression, topDown));
        }
      }
    }
  }
  // Refusals and edge cases.
  Bytes other = bitmap(40, 8, 0, false);
  put32(other, 14, 64);
  save(folder, "bmp-h64", 0, other);
  save(folder, "bmp-empty", 0, {});
  Bytes cut = bitmap(40, 24, 0, false);
  cut.resize(cut.size() / 2);
  save(folder, "bmp-truncated", 0, cut);

  save(folder, "ico-type1", 1, {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0});
  save(folder, "ico-type2", 1, {0, 0, 2, 0, 1, 0});
  save(folder, "emf", 2, enhancedMetafile());
  save(folder, "wmf-placeable", 3, placeableMetafile());

  // PNG: kind byte 8; 8 | 4 also compares the reader of files with the one of memory, 8 | 16
  // rewrites the CRCs of a mutated file before decoding it.
  const std::vector<std::pair<int, std::vector<int>>> depths = {
      {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
  int k = 0;
  for (const auto& [colourType, list] : depths)
    for (const int depth : list)
      for (const bool interlaced : {false, true})
        for (const bool trns : {false, true}) {
          if (trns && (colourType == 4 || colourType == 6)) continue;
          const std::string name = "png-c" + std::to_string(colourType) + "-" + std::to_string(depth) +
                                   (interlaced ? "-interlaced" : "") + (trns ? "-trns" : "");
          const int variant = k++ % 3;
          save(folder, name, static_cast<std::uint8_t>(8 | (variant == 1 ? 4 : 0) | (variant == 2 ? 16 : 0)),
               png(colourType, depth, interlaced, trns));
        }
  std::printf("%d seeds written to %s\n", written, folder.c_str());
  return 0;
}
