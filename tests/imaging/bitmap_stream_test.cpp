// Large bitmap files are read row band by row band straight from the file (two threads); the
// result must be exactly what decodeBitmap gives on the whole contents, errors included.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "imaging/bitmap_file.h"
#include "imaging/error.h"
#include "imaging/byte_fields.h"
#include "imaging/picture_file.h"

using namespace tavrik;

namespace {

using tavrik::testing::Bytes;
using tavrik::testing::put16;
using tavrik::testing::put32;

// An uncompressed bitmap with a 40-byte header, random pixel bytes (and colour table), the
// bit-field masks after the header for compression 3.
Bytes makeBitmap(std::mt19937& rng, int width, int height, int bpp, std::uint32_t compression = 0,
                 int coloursUsed = 0) {
  const size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
  const size_t rows = static_cast<size_t>(height < 0 ? -height : height);
  const size_t masks = compression == 3 ? 12 : 0;
  const size_t table = bpp <= 8 ? 4u * (coloursUsed ? coloursUsed : (1u << bpp)) : 0;
  const size_t offset = 14 + 40 + masks + table;
  Bytes b(offset + stride * rows);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, static_cast<std::uint32_t>(b.size()));
  put32(b, 10, static_cast<std::uint32_t>(offset));
  put32(b, 14, 40);
  put32(b, 18, static_cast<std::uint32_t>(width));
  put32(b, 22, static_cast<std::uint32_t>(height));
  put16(b, 26, 1);
  put16(b, 28, static_cast<std::uint32_t>(bpp));
  put32(b, 30, compression);
  put32(b, 46, static_cast<std::uint32_t>(coloursUsed));
  if (masks) {
    put32(b, 54, bpp == 16 ? 0xF800 : 0x3FF00000);
    put32(b, 58, bpp == 16 ? 0x07E0 : 0x000FFC00);
    put32(b, 62, bpp == 16 ? 0x001F : 0x000003FF);
  }
  for (size_t i = 54 + masks; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(rng());
  return b;
}

struct TempFile {
  std::string path;
  explicit TempFile(const Bytes& bytes, const char* name = "stream.bmp") {
    path = (std::filesystem::temp_directory_path() /
            (std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" + name))
               .string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove(path); }
};

std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.message();
  }
  return {};
}

// Returns the error that both gave, if any.
std::string expectSameAsWholeDecode(const Bytes& bytes) {
  EXPECT_GE(bytes.size(), size_t{1} << 20) << "too small for the streamed path";
  const TempFile file(bytes);
  std::string wholeError, fileError;
  Surface whole, loaded;
  wholeError = errorOf([&] { whole = decodeBitmap(bytes); });
  fileError = errorOf([&] {
    Picture p = loadPictureFile(file.path);
    ASSERT_EQ(p.kind, PictureKind::Bitmap);
    loaded = std::move(*p.surface);
  });
  EXPECT_EQ(fileError, wholeError);
  EXPECT_EQ(loaded.width(), whole.width());
  EXPECT_EQ(loaded.height(), whole.height());
  EXPECT_TRUE(loaded.pixels() == whole.pixels());
  return fileError;
}

}  // namespace

TEST(BitmapStream, LargeFilesOfEveryUncompressedKindLoadAsTheirContentsDecode) {
  std::mt19937 rng(7);
  expectSameAsWholeDecode(makeBitmap(rng, 1001, 601, 24));       // bottom-up, padded rows
  expectSameAsWholeDecode(makeBitmap(rng, 999, -603, 24));       // top-down, odd height
  expectSameAsWholeDecode(makeBitmap(rng, 700, 501, 32));
  expectSameAsWholeDecode(makeBitmap(rng, 700, 501, 32, 3));     // 10-bit bit fields
  expectSameAsWholeDecode(makeBitmap(rng, 1023, 777, 16, 3));    // 5-6-5 through the table
  expectSameAsWholeDecode(makeBitmap(rng, 1100, 1001, 8, 0, 100));  // indices beyond the table
  expectSameAsWholeDecode(makeBitmap(rng, 2001, 1099, 4));
  expectSameAsWholeDecode(makeBitmap(rng, 4001, 2501, 1));
}

TEST(BitmapStream, LargeDamagedFilesFailAsTheirContentsDo) {
  std::mt19937 rng(11);
  {
    Bytes cut = makeBitmap(rng, 1000, 600, 24);
    cut.resize(cut.size() - 1);  // one byte short of the last row
    EXPECT_EQ(expectSameAsWholeDecode(cut), "Erreur de lecture du flux");
  }
  {
    Bytes late = makeBitmap(rng, 1000, 600, 24);
    put32(late, 10, static_cast<std::uint32_t>(late.size() + 10));  // pixels beyond the end
    EXPECT_EQ(expectSameAsWholeDecode(late), "Erreur de lecture du flux");
  }
  {
    Bytes planes = makeBitmap(rng, 1000, 600, 24);
    put16(planes, 26, 2);
    EXPECT_EQ(expectSameAsWholeDecode(planes), "Image bitmap incorrecte");
  }
  {
    Bytes table = makeBitmap(rng, 2000, 600, 8);
    put32(table, 46, 0x40000000);  // a colour table larger than the file
    EXPECT_EQ(expectSameAsWholeDecode(table), "Erreur de lecture du flux");
  }
  {
    // A large RLE8 file (runs of 2 pixels) goes through the whole-contents decoder.
    Bytes rle = makeBitmap(rng, 2000, 600, 8);
    put32(rle, 30, 1);
    for (size_t i = 54 + 1024; i + 1 < rle.size(); i += 2) rle[i] = 2;
    expectSameAsWholeDecode(rle);
  }
}

TEST(BitmapStream, AFolderOrAnAbsentFileCannotBeOpened) {
  EXPECT_FALSE(readBitmapFile(std::filesystem::temp_directory_path().string()).has_value());
  EXPECT_FALSE(readBitmapFile("/nonexistent/folder/plane.bmp").has_value());
}
