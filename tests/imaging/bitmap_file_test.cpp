// Bitmap decoding from files built in the test: every header size, depth and compression,
// truncated and malformed files, and the writer's round trip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "base/error.h"
#include "child_process.h"
#include "imaging/bitmap_file.h"
#include "imaging/byte_fields.h"

using namespace tavrik;
using tavrik::testing::Bytes;
using tavrik::testing::put16;
using tavrik::testing::put32;

namespace {

constexpr const char* kRead = "Erreur de lecture du flux";
constexpr const char* kBad = "Image bitmap incorrecte";


// A bitmap file put together field by field.
struct BmpFile {
  std::uint32_t headerSize = 40;
  std::int32_t width = 0, height = 0;
  int planes = 1, bitCount = 24;
  std::uint32_t compression = 0, coloursUsed = 0;
  std::vector<std::uint32_t> masks;   // written after a 40-byte header, inside larger ones
  std::vector<Colour> palette;        // written as B, G, R (, 0)
  Bytes pixels;                       // the data at bfOffBits
  std::uint32_t gap = 0;              // unused bytes before the pixels

  Bytes build() const {
    Bytes b(14 + headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 14, headerSize);
    if (headerSize == 12) {
      put16(b, 18, static_cast<std::uint32_t>(width));
      put16(b, 20, static_cast<std::uint32_t>(height));
      put16(b, 22, planes);
      put16(b, 24, bitCount);
    } else {
      put32(b, 18, static_cast<std::uint32_t>(width));
      put32(b, 22, static_cast<std::uint32_t>(height));
      put16(b, 26, planes);
      put16(b, 28, bitCount);
      put32(b, 30, compression);
      put32(b, 46, coloursUsed);
      if (headerSize >= 108)
        for (size_t k = 0; k < masks.size(); ++k) put32(b, 54 + 4 * k, masks[k]);
    }
    if (headerSize == 40)
      for (std::uint32_t m : masks) {
        b.resize(b.size() + 4);
        put32(b, b.size() - 4, m);
      }
    for (Colour c : palette) {
      b.push_back(static_cast<std::uint8_t>(blueOf(c)));
      b.push_back(static_cast<std::uint8_t>(greenOf(c)));
      b.push_back(static_cast<std::uint8_t>(redOf(c)));
      if (headerSize != 12) b.push_back(0);
    }
    b.resize(b.size() + gap, 0xEE);
    put32(b, 10, static_cast<std::uint32_t>(b.size()));
    b.insert(b.end(), pixels.begin(), pixels.end());
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
  }
};

// Packs rows of raw pixel values (indices or packed words) at `bpp` bits, each row padded to
// 4 bytes, in the order given.
Bytes packRows(const std::vector<std::vector<std::uint32_t>>& rows, int bpp) {
  Bytes out;
  for (const auto& row : rows) {
    const size_t stride = ((row.size() * bpp + 31) / 32) * 4;
    Bytes line(stride, 0);
    for (size_t x = 0; x < row.size(); ++x) {
      const std::uint32_t v = row[x];
      if (bpp < 8) {
        const size_t bit = x * bpp;
        line[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bpp - bit % 8));
      } else {
        for (int k = 0; k < bpp / 8; ++k) line[x * bpp / 8 + k] = static_cast<std::uint8_t>(v >> (8 * k));
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

Surface decode(const Bytes& bytes) { return decodeBitmap(bytes); }

std::string errorOf(const Bytes& bytes) {
  try {
    decodeBitmap(bytes);
  } catch (const Error& e) {
    return e.message();
  }
  return "(loaded)";
}

// The colours of a decoded surface, rows from the top.
std::vector<std::vector<Colour>> rowsOf(const Surface& s) {
  std::vector<std::vector<Colour>> rows;
  for (int y = 0; y < s.height(); ++y) rows.emplace_back(s.row(y), s.row(y) + s.width());
  return rows;
}

unsigned scaled(unsigned v, unsigned max) { return (v * 510 + max) / (2 * max); }

const std::vector<Colour> kPalette16 = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x123456, 0xABCDEF,
                                        0x808080, 0xC0C0C0, 0xFFFFFF, 0xFF00FF, 0x010203, 0x0A0B0C,
                                        0x202020, 0x404040, 0x606060, 0xA0A0A0};

}  // namespace

TEST(BitmapDecode, EveryHeaderSizeAndDepthWithAColourTable) {
  // Indices 0..15 across a 13 x 3 picture, so that rows need padding and nibbles straddle bytes.
  for (std::uint32_t headerSize : {12u, 40u, 108u, 124u}) {
    for (int bpp : {1, 4, 8}) {
      for (bool topDown : {false, true}) {
        if (topDown && headerSize == 12) continue;  // core header heights are unsigned
        SCOPED_TRACE(::testing::Message() << headerSize << " bytes, " << bpp << " bpp, topDown " << topDown);
        const int w = 13, h = 3;
        const unsigned entries = 1u << bpp;
        std::vector<std::vector<std::uint32_t>> indices(h, std::vector<std::uint32_t>(w));
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) indices[y][x] = (x * 7 + y * 3) % std::min(entries, 16u);
        BmpFile f;
        f.headerSize = headerSize;
        f.width = w;
        f.height = topDown ? -h : h;
        f.bitCount = bpp;
        f.palette.assign(kPalette16.begin(), kPalette16.begin() + std::min(entries, 16u));
        f.palette.resize(headerSize == 12 ? entries : f.palette.size());
        f.coloursUsed = headerSize == 12 ? 0 : static_cast<std::uint32_t>(f.palette.size());
        auto stored = indices;
        if (!topDown) std::reverse(stored.begin(), stored.end());
        f.pixels = packRows(stored, bpp);
        const Surface s = decode(f.build());
        ASSERT_EQ(s.width(), w);
        ASSERT_EQ(s.height(), h);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) EXPECT_EQ(s.read(x, y), kPalette16[indices[y][x]]) << x << "," << y;
      }
    }
  }
}

TEST(BitmapDecode, TrueColourDepthsKeepEveryColourExactly) {
  std::mt19937 random(7);
  const int w = 5, h = 4;
  std::vector<std::vector<Colour>> colours(h, std::vector<Colour>(w));
  for (auto& row : colours)
    for (Colour& c : row) c = random() & 0xFFFFFF;
  for (std::uint32_t headerSize : {12u, 40u, 124u}) {
    for (int bpp : {24, 32}) {
      SCOPED_TRACE(::testing::Message() << headerSize << " bytes, " << bpp << " bpp");
      std::vector<std::vector<std::uint32_t>> stored;
      for (int y = h - 1; y >= 0; --y) {
        stored.emplace_back();
        for (Colour c : colours[y])  // stored as B, G, R (, junk that must be ignored)
          stored.back().push_back(blueOf(c) | (greenOf(c) << 8) | (redOf(c) << 16) | 0xA5000000u);
      }
      BmpFile f;
      f.headerSize = headerSize;
      f.width = w;
      f.height = h;
      f.bitCount = bpp;
      f.pixels = packRows(stored, bpp);
      EXPECT_EQ(rowsOf(decode(f.build())), colours);
    }
  }
}

TEST(BitmapDecode, SixteenBitDefaultsTo555AndBitFieldsScaleByRounding) {
  // Plain 16-bit: 5-5-5 with the top bit ignored.
  BmpFile f;
  f.width = 3;
  f.height = 1;
  f.bitCount = 16;
  f.pixels = packRows({{0x8000 | (31 << 10) | (1 << 5) | 16, 0x7FFF, (3 << 10) | (30 << 5)}}, 16);
  EXPECT_EQ(rowsOf(decode(f.build())),
            (std::vector<std::vector<Colour>>{{rgb(255, scaled(1, 31), scaled(16, 31)), clWhite,
                                               rgb(scaled(3, 31), scaled(30, 31), 0)}}));

  // 5-6-5 masks after a 40-byte header and inside a 124-byte one.
  for (std::uint32_t headerSize : {40u, 108u, 124u}) {
    BmpFile g = f;
    g.headerSize = headerSize;
    g.width = 1;
    g.compression = 3;
    g.masks = {0xF800, 0x07E0, 0x001F};
    g.pixels = packRows({{(17u << 11) | (33u << 5) | 2u}}, 16);
    EXPECT_EQ(decode(g.build()).read(0, 0), rgb(scaled(17, 31), scaled(33, 63), scaled(2, 31)));
  }

  // 32-bit: 10-10-10 with alpha above, a 1-bit channel, an empty mask, a non-byte layout.
  BmpFile h;
  h.width = 2;
  h.height = 1;
  h.bitCount = 32;
  h.compression = 3;
  h.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  h.pixels = packRows({{0xC0000000u | (1023u << 20) | (512u << 10) | 1u, (100u << 20) | 3u}}, 32);
  EXPECT_EQ(rowsOf(decode(h.build())),
            (std::vector<std::vector<Colour>>{{rgb(255, scaled(512, 1023), scaled(1, 1023)),
                                               rgb(scaled(100, 1023), 0, scaled(3, 1023))}}));
  h.masks = {0x80000000u, 0, 0x0000FFFF};  // 1 bit, empty, 16 bits
  h.pixels = packRows({{0x80000000u | 0x8000u, 0x7FFFFFFFu}}, 32);
  EXPECT_EQ(rowsOf(decode(h.build())),
            (std::vector<std::vector<Colour>>{{rgb(255, 0, scaled(0x8000, 0xFFFF)), rgb(0, 0, 255)}}));
  h.masks = {0xFFFFFFFFu, 0, 0};  // a 32-bit channel
  h.pixels = packRows({{0x80000000u, 0xFFFFFFFFu}}, 32);
  EXPECT_EQ(rowsOf(decode(h.build())), (std::vector<std::vector<Colour>>{{rgb(128, 0, 0), rgb(255, 0, 0)}}));
}

TEST(BitmapDecode, LargeBitFieldPicturesGiveTheSameColoursAsSmallOnes) {
  // 256 x 256 pixels take the table-driven path; every 16-bit value appears once.
  for (int bpp : {16, 32}) {
    BmpFile f;
    f.width = 256;
    f.height = -256;
    f.bitCount = bpp;
    f.compression = 3;
    f.masks = bpp == 16 ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                        : std::vector<std::uint32_t>{0xFFC00000, 0x003FF000, 0x00000FFC};
    std::vector<std::vector<std::uint32_t>> rows(256);
    for (std::uint32_t v = 0; v < 65536; ++v) rows[v / 256].push_back(bpp == 16 ? v : v * 0x10003u);
    f.pixels = packRows(rows, bpp);
    const Surface s = decode(f.build());
    for (std::uint32_t v = 0; v < 65536; v += 97) {
      const std::uint32_t p = rows[v / 256][v % 256];
      const Colour expected =
          bpp == 16 ? rgb(scaled(p >> 11, 31), scaled((p >> 5) & 63, 63), scaled(p & 31, 31))
                    : rgb(scaled(p >> 22, 1023), scaled((p >> 12) & 1023, 1023), scaled((p >> 2) & 1023, 1023));
      ASSERT_EQ(s.read(v % 256, v / 256), expected) << bpp << " bpp, pixel " << v;
      // The same pixel alone in a small picture.
      BmpFile one = f;
      one.width = 1;
      one.height = 1;
      one.pixels = packRows({{p}}, bpp);
      ASSERT_EQ(decode(one.build()).read(0, 0), expected);
    }
  }
}

TEST(BitmapDecode, ColourTableEdgesAndPixelOffset) {
  BmpFile f;
  f.width = 4;
  f.height = 1;
  f.bitCount = 8;
  f.palette = {0x111111, 0x222222};
  f.coloursUsed = 2;
  f.gap = 37;  // pixels at bfOffBits, not right after the table
  f.pixels = packRows({{1, 0, 2, 255}}, 8);
  // Indices beyond the table read black.
  EXPECT_EQ(rowsOf(decode(f.build())), (std::vector<std::vector<Colour>>{{0x222222, 0x111111, 0, 0}}));

  // More than 256 entries: the first 256 serve.
  f.palette.assign(300, 0x0A0B0C);
  f.palette[255] = 0x00FF00;
  f.coloursUsed = 300;
  EXPECT_EQ(decode(f.build()).read(3, 0), 0x00FF00u);

  // A table given for a true-colour picture is skipped.
  BmpFile t;
  t.width = 1;
  t.height = 1;
  t.palette = {0x123456, 0x654321};
  t.coloursUsed = 2;
  t.pixels = {0x01, 0x02, 0x03, 0};
  EXPECT_EQ(decode(t.build()).read(0, 0), rgb(3, 2, 1));
}

namespace {

// Entry 0 is not black, so that skipped pixels and indices beyond the table differ.
std::vector<Colour> rlePalette() {
  std::vector<Colour> p = kPalette16;
  p[0] = 0x0F0F0F;
  return p;
}

BmpFile rleFile(bool rle4, int w, int h, Bytes data) {
  BmpFile f;
  f.width = w;
  f.height = h;
  f.bitCount = rle4 ? 4 : 8;
  f.compression = rle4 ? 2 : 1;
  f.palette = rlePalette();
  f.coloursUsed = 16;
  f.pixels = std::move(data);
  return f;
}

}  // namespace

TEST(BitmapDecode, Rle8RunsAbsoluteDeltaEndOfLineAndClipping) {
  const Colour e0 = rlePalette()[0];
  // Row 0 (bottom): run of 3 x index 1, absolute 3 pixels (2, 3, 4) + pad, end of line.
  // Row 1: delta (+2, +0), run of 9 x index 5 clipped at the right edge, end of line.
  // Row 2: absolute 4 (no pad), then end of bitmap; the rest keeps entry 0.
  const Bytes data = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 0, 9, 5, 0, 0, 0, 4, 6, 7, 200, 8, 0, 1};
  const Surface s = decode(rleFile(false, 6, 4, data).build());
  const std::vector<std::vector<Colour>> expected = {
      {e0, e0, e0, e0, e0, e0},
      {kPalette16[6], kPalette16[7], 0, kPalette16[8], e0, e0},  // 200 is beyond the table
      {e0, e0, kPalette16[5], kPalette16[5], kPalette16[5], kPalette16[5]},
      {kPalette16[1], kPalette16[1], kPalette16[1], kPalette16[2], kPalette16[3], kPalette16[4]},
  };
  EXPECT_EQ(rowsOf(s), expected);

  // A delta that leaves the picture upwards ends the decoding; a run past the last row too.
  const Surface up = decode(rleFile(false, 2, 2, {1, 3, 0, 2, 0, 9, 2, 4, 0, 1}).build());
  EXPECT_EQ(rowsOf(up), (std::vector<std::vector<Colour>>{{e0, e0}, {kPalette16[3], e0}}));
  // Data that stops once the picture is complete needs no end-of-bitmap code.
  EXPECT_EQ(decode(rleFile(false, 2, 1, {2, 9}).build()).read(1, 0), kPalette16[9]);
}

TEST(BitmapDecode, Rle4AlternatesNibblesAndPadsAbsoluteRuns) {
  // Row 0: run of 5 alternating 1/2, absolute 3 nibbles (3, 4, 5) in 2 bytes, end of line.
  // Row 1: absolute 5 nibbles in 3 bytes + 1 pad, end of bitmap.
  const Bytes data = {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 5, 0x67, 0x89, 0xA0, 0, 0, 1};
  const Surface s = decode(rleFile(true, 8, 2, data).build());
  const auto p = [](int i) { return rlePalette()[i]; };
  EXPECT_EQ(rowsOf(s), (std::vector<std::vector<Colour>>{
                           {p(6), p(7), p(8), p(9), p(10), p(0), p(0), p(0)},
                           {p(1), p(2), p(1), p(2), p(1), p(3), p(4), p(5)}}));
}

TEST(BitmapDecode, EmptyFileIsAZeroByZeroPicture) {
  const Surface s = decode({});
  EXPECT_EQ(s.width(), 0);
  EXPECT_EQ(s.height(), 0);
}

TEST(BitmapDecode, MalformedHeadersAreRefused) {
  BmpFile good;
  good.width = 2;
  good.height = 2;
  good.bitCount = 8;
  good.palette = {0x010101};
  good.coloursUsed = 1;
  good.pixels = Bytes(8, 0);
  ASSERT_EQ(errorOf(good.build()), "(loaded)");

  auto refusedWith = [&](const char* why, auto change) {
    BmpFile f = good;
    change(f);
    EXPECT_EQ(errorOf(f.build()), kBad) << why;
  };
  refusedWith("planes 0", [](BmpFile& f) { f.planes = 0; });
  refusedWith("planes 2", [](BmpFile& f) { f.planes = 2; });
  for (std::uint32_t size : {0u, 16u, 52u, 56u, 64u, 66u, 0xFFFFFFFFu}) {
    Bytes b = good.build();
    put32(b, 14, size);
    EXPECT_EQ(errorOf(b), kBad) << "header size " << size;
  }
  for (int bpp : {0, 2, 3, 15, 64, 30000}) refusedWith("depth", [&](BmpFile& f) { f.bitCount = bpp; });
  refusedWith("RLE8 at 4 bits", [](BmpFile& f) { f.bitCount = 4; f.compression = 1; });
  refusedWith("RLE4 at 8 bits", [](BmpFile& f) { f.compression = 2; });
  refusedWith("bit fields at 8 bits", [](BmpFile& f) { f.compression = 3; f.masks = {1, 2, 4}; });
  refusedWith("bit fields at 24 bits",
              [](BmpFile& f) { f.bitCount = 24; f.compression = 3; f.masks = {1, 2, 4}; });
  refusedWith("JPEG", [](BmpFile& f) { f.compression = 4; });
  refusedWith("PNG", [](BmpFile& f) { f.compression = 5; });
  refusedWith("alpha bit fields", [](BmpFile& f) { f.bitCount = 32; f.compression = 6; });
  refusedWith("width 0", [](BmpFile& f) { f.width = 0; });
  refusedWith("width -2", [](BmpFile& f) { f.width = -2; });
  refusedWith("height 0", [](BmpFile& f) { f.height = 0; });
  refusedWith("RLE top-down", [](BmpFile& f) { f.compression = 1; f.height = -2; });
  refusedWith("too many pixels", [](BmpFile& f) { f.width = 1 << 15; f.height = (1 << 13) + 1; });
  refusedWith("most negative height", [](BmpFile& f) { f.height = INT32_MIN; });

  Bytes notBm = good.build();
  notBm[1] = 'A';
  EXPECT_EQ(errorOf(notBm), kBad);
  // The largest picture allowed passes the format checks and fails on its missing data.
  BmpFile limit = good;
  limit.width = 1 << 14;
  limit.height = -(1 << 14);
  EXPECT_EQ(errorOf(limit.build()), kRead);
}

TEST(BitmapDecode, HugeDeclaredSizeFailsFastWithoutAllocating) {
  BmpFile f;
  f.width = 3000000;
  f.height = 2000000;
  f.pixels = Bytes(24576, 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(errorOf(f.build()), kBad);
  // Within the pixel limit but with far too little data: refused before the surface exists.
  f.width = 16384;
  f.height = 16384;
  EXPECT_EQ(errorOf(f.build()), kRead);
  f.compression = 1;
  f.bitCount = 8;
  f.palette = {0};
  f.coloursUsed = 1;
  f.pixels = {};
  EXPECT_EQ(errorOf(f.build()), kRead);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
}

TEST(BitmapDecode, EveryTruncationIsAReadError) {
  // Uncompressed with a 40-byte header, bit-field masks, a table and pixels: any proper prefix
  // ends inside the file header, the header, the masks, the table or the pixel data.
  BmpFile f;
  f.width = 3;
  f.height = 2;
  f.bitCount = 16;
  f.compression = 3;
  f.masks = {0xF800, 0x07E0, 0x001F};
  f.palette = {1, 2};
  f.coloursUsed = 2;
  f.pixels = Bytes(16, 0x5A);
  const Bytes whole = f.build();
  ASSERT_EQ(errorOf(whole), "(loaded)");
  for (size_t n = 1; n < whole.size(); ++n)
    EXPECT_EQ(errorOf(Bytes(whole.begin(), whole.begin() + n)), kRead) << n << " bytes";

  // RLE data cut inside a code, or ending before the picture is complete.
  const Bytes rle = rleFile(false, 4, 2, {0, 2, 1, 0, 0, 3, 1, 2, 3, 0, 2, 7, 0, 1}).build();
  ASSERT_EQ(errorOf(rle), "(loaded)");
  const size_t dataStart = rle.size() - 14;
  for (size_t n = dataStart; n < rle.size(); ++n)
    EXPECT_EQ(errorOf(Bytes(rle.begin(), rle.begin() + n)), kRead) << n << " bytes";
}

TEST(BitmapWrite, RoundTripsEveryColourAndWritesA24BitBottomUpFile) {
  const auto dir = std::filesystem::temp_directory_path() / "tavrik_bitmap_write_test";
  std::filesystem::create_directories(dir);
  std::mt19937 random(11);
  for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {64, 2}, {7, 9}}) {
    Surface s(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) s.write(x, y, random() & 0xFFFFFF);
    const std::string name = (dir / "round.bmp").string();
    writeBitmapFile(s, name);
    std::ifstream in(name, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), {});
    const size_t stride = (w * 3 + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), 54 + stride * h);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[10], 54);  // pixels right after the 40-byte header
    EXPECT_EQ(bytes[14], 40);
    EXPECT_EQ(bytes[28], 24);
    // Bottom-up: the first stored pixel is the bottom-left one, as B, G, R.
    const Colour bottomLeft = s.read(0, h - 1);
    EXPECT_EQ(bytes[54], blueOf(bottomLeft));
    EXPECT_EQ(bytes[56], redOf(bottomLeft));
    const Surface back = decodeBitmap(bytes);
    EXPECT_EQ(back.width(), w);
    EXPECT_EQ(back.height(), h);
    EXPECT_EQ(back.pixels(), s.pixels());
  }
  // No pixels: an empty file, which reads back as 0 x 0.
  writeBitmapFile(Surface(0, 0), (dir / "empty.bmp").string());
  EXPECT_EQ(std::filesystem::file_size(dir / "empty.bmp"), 0u);
  std::filesystem::remove_all(dir);
}

TEST(BitmapWrite, UncreatableFileNamesItself) {
  const std::string name = "/nonexistent-folder-for-tavrik/x.bmp";
  try {
    writeBitmapFile(Surface(2, 2), name);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Impossible de créer le fichier " + name);
  }
  // A named pipe under the name is neither opened (that would block) nor replaced.
  const auto pipe = std::filesystem::temp_directory_path() / ("tavrik-pipe-" + std::to_string(getpid()) + ".bmp");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const test::ChildEnd end = test::runInChild([&] {
    try {
      writeBitmapFile(Surface(300, 300), pipe.string());
    } catch (const Error& e) {
      return e.message() == "Impossible de créer le fichier " + pipe.string() ? 0 : 1;
    }
    return 2;
  });
  EXPECT_FALSE(end.hung);
  EXPECT_EQ(end.exitCode, 0);
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  std::filesystem::remove(pipe);
}
