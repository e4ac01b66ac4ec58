// The band reader of uncompressed bitmaps against the whole-file loading: on every file of the
// BMP suite and on files that shrink after they were opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <random>

#include "base/error.h"
#include "imaging/bitmap_file.h"

using namespace tavrik;

namespace {

const std::filesystem::path kSuite = std::filesystem::path(TAVRIK_SHARED_DIR) / "testdata/bmpsuite";

// Reads the whole picture through `reader` in bands of random heights, in a random order.
Surface readInBands(BitmapRowReader& reader, std::mt19937& rng) {
  Surface out(reader.width(), reader.height());
  std::vector<std::pair<int, int>> bands;
  for (int y = 0; y < reader.height();) {
    const int count = std::min(reader.height() - y, static_cast<int>(rng() % 7) + 1);
    bands.emplace_back(y, count);
    y += count;
  }
  std::shuffle(bands.begin(), bands.end(), rng);
  for (const auto& [y, count] : bands) reader.read(y, count, out.row(y), static_cast<size_t>(out.width()));
  return out;
}

bool samePixels(const Surface& a, const Surface& b) {
  return a.width() == b.width() && a.height() == b.height() && a.pixels() == b.pixels();
}

}  // namespace

TEST(BitmapRowReader, GivesTheLoadedPixelsOrDeclinesOnEveryFileOfTheSuite) {
  if (!std::filesystem::exists(kSuite))
    GTEST_SKIP() << "BMP suite not found at " << kSuite << "; shared test data absent";
  std::mt19937 rng(7);
  int read = 0, declined = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kSuite)) {
    if (entry.path().extension() != ".bmp") continue;
    const std::string path = entry.path().string();
    SCOPED_TRACE(path);
    std::optional<Surface> whole;
    std::string error;
    try {
      whole = readBitmapFile(path);
    } catch (const Error& e) {
      error = e.message();
    }
    const std::unique_ptr<BitmapRowReader> reader = BitmapRowReader::open(path);
    if (!reader) {
      ++declined;
      continue;
    }
    // A file that the reader takes loads, with the same pixels.
    ASSERT_TRUE(whole.has_value()) << "reader opened a file that does not load: " << error;
    EXPECT_TRUE(samePixels(readInBands(*reader, rng), *whole));
    ++read;
  }
  // The suite holds both uncompressed files and compressed or broken ones.
  EXPECT_GT(read, 40);
  EXPECT_GT(declined, 15);
}

TEST(BitmapRowReader, TopDownAndBottomUpFilesOfAllRows) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "tavrik-rows-test.bmp";
  Surface picture(37, 29);
  std::mt19937 rng(3);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.row(y)[x] = rng() & 0xFFFFFF;
  writeBitmapFile(picture, path.string());
  std::unique_ptr<BitmapRowReader> reader = BitmapRowReader::open(path.string());
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(samePixels(readInBands(*reader, rng), picture));

  // The same file stored top-down: a negative height, rows in the other order.
  std::vector<char> bytes(std::filesystem::file_size(path));
  {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);
  }
  const size_t stride = (37 * 3 + 3) / 4 * 4;
  std::vector<char> flipped(bytes.begin(), bytes.begin() + 54);
  for (int r = 28; r >= 0; --r)
    flipped.insert(flipped.end(), bytes.begin() + 54 + static_cast<long>(r * stride),
                   bytes.begin() + 54 + static_cast<long>((r + 1) * stride));
  const std::int32_t height = -29;
  std::memcpy(flipped.data() + 22, &height, 4);
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_EQ(std::fwrite(flipped.data(), 1, flipped.size(), f), flipped.size());
    std::fclose(f);
  }
  reader = BitmapRowReader::open(path.string());
  ASSERT_NE(reader, nullptr);
  EXPECT_TRUE(samePixels(readInBands(*reader, rng), picture));
  std::filesystem::remove(path);
}

TEST(BitmapRowReader, AFileCutShortAfterOpeningIsAReadError) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "tavrik-rows-short.bmp";
  writeBitmapFile(Surface(16, 40, clGray), path.string());
  const std::unique_ptr<BitmapRowReader> reader = BitmapRowReader::open(path.string());
  ASSERT_NE(reader, nullptr);
  std::filesystem::resize_file(path, 54 + 48 * 20);  // the bottom 20 rows only
  std::vector<Colour> rows(16 * 16);
  reader->read(24, 16, rows.data(), 16);  // the bottom rows are still there
  EXPECT_EQ(rows.back(), clGray);
  try {
    reader->read(0, 16, rows.data(), 16);
    ADD_FAILURE() << "read rows that are gone";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Erreur de lecture du flux");
  }
  // Cut short before opening: declined (loading it whole reports the error).
  EXPECT_EQ(BitmapRowReader::open(path.string()), nullptr);
  std::filesystem::resize_file(path, 0);
  EXPECT_EQ(BitmapRowReader::open(path.string()), nullptr);
  std::filesystem::remove(path);
  EXPECT_EQ(BitmapRowReader::open(path.string()), nullptr);
}
