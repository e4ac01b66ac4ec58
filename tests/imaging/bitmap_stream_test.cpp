// Large bitmap files are read row band by row band straight from the file (two threads); the
// result must be exactly what decodeBitmap gives on the whole contents, errors included.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/error.h"
#include "child_process.h"
#include "imaging/bitmap_file.h"
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

namespace {

// Limits the address space of a child process, so that code reading without bound fails
// there instead of taking the machine's memory (not under AddressSanitizer, which reserves
// more than that up front).
void limitMemory(std::uint64_t bytes) {
#if !defined(__SANITIZE_ADDRESS__)
  const rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_AS, &limit);
#else
  (void)bytes;
#endif
}

// An RLE8 bitmap header (40-byte info header, 256-entry colour table, entry 1 black) of a
// width x height picture, its data to follow.
Bytes rle8Header(int width, int height) {
  Bytes b(14 + 40 + 1024, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 10, static_cast<std::uint32_t>(b.size()));
  put32(b, 14, 40);
  put32(b, 18, static_cast<std::uint32_t>(width));
  put32(b, 22, static_cast<std::uint32_t>(height));
  put16(b, 26, 1);
  put16(b, 28, 8);
  put32(b, 30, 1);
  put32(b, 54, 0xFFFFFF);  // entry 0 white, entry 1 black
  return b;
}

}  // namespace

// Anything but a regular file is refused at once, by every loader, without blocking on a named
// pipe or reading a device without end.
TEST(PictureInput, OnlyRegularFilesAreReadAndRefusalIsImmediate) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("tavrik-input-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string pipe = (folder / "pipe.bmp").string(), pipeIcon = (folder / "pipe.ico").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(pipeIcon.c_str(), 0600), 0);
  const std::string zero = (folder / "zero.bmp").string(), zeroMeta = (folder / "zero.emf").string();
  std::filesystem::create_symlink("/dev/zero", zero);
  std::filesystem::create_symlink("/dev/zero", zeroMeta);
  const std::string sub = (folder / "dossier.bmp").string();
  std::filesystem::create_directory(sub);
  const std::string good = (folder / "lien.bmp").string();
  Bytes picture = rle8Header(1, 1);
  picture.insert(picture.end(), {1, 1, 0, 1});
  const TempFile target(picture);
  std::filesystem::create_symlink(target.path, good);

  for (const std::string& name : {pipe, pipeIcon, zero, zeroMeta, sub, good}) {
    SCOPED_TRACE(name);
    const test::ChildEnd end = test::runInChild([&] {
      limitMemory(std::uint64_t{1} << 30);
      const std::string refusal = "Impossible d'ouvrir le fichier " + name;
      const std::string loaded = errorOf([&] { loadPictureFile(name); });
      const std::string thumbnail = errorOf([&] { loadPictureThumbnail(name, 8, 8); });
      if (name == good) return loaded.empty() && thumbnail.empty() ? 0 : 1;
      return loaded == refusal && thumbnail == refusal ? 0 : 1;
    });
    EXPECT_FALSE(end.hung);
    EXPECT_EQ(end.exitCode, 0);
  }
  std::filesystem::remove_all(folder);
}

// A run-length file is read in pieces, and never further than its picture can need: a 12 GiB
// file (sparse here) of a 16 x 16 picture needs a few kilobytes of memory.
TEST(PictureInput, RunLengthDataIsReadInBoundedPieces) {
  Bytes head = rle8Header(16, 16);
  // Row 0: a black run of 3 pixels; then the zero bytes of the sparse file are ends of lines.
  head.insert(head.end(), {3, 1, 0, 0});
  const TempFile file(head, "huge-rle.bmp");
  ASSERT_EQ(truncate(file.path.c_str(), off_t{12} << 30), 0);
  const test::ChildEnd end = test::runInChild([&] {
    limitMemory(std::uint64_t{1} << 30);
    try {
      const Picture picture = loadPictureFile(file.path);
      const Surface& s = *picture.surface;
      const bool pixels = s.read(0, 15) == clBlack && s.read(2, 15) == clBlack &&
                          s.read(3, 15) == clWhite && s.read(0, 0) == clWhite;
      const PictureThumbnail thumb = loadPictureThumbnail(file.path, 16, 8);
      return pixels && thumb.width == 16 && thumb.pixels.read(2, 7) == clBlack ? 0 : 1;
    } catch (const Error& e) {
      std::fprintf(stderr, "%s\n", e.what());
      return 2;
    }
  }, 60);
  EXPECT_FALSE(end.hung);
  EXPECT_EQ(end.exitCode, 0);

  // Data that wastes bytes without end (deltas that move nowhere) stops being read at the
  // limit and fails as data cut short, in memory and from a file alike.
  Bytes waste = rle8Header(2, 2);
  for (int k = 0; k < 300000; ++k) waste.insert(waste.end(), {0, 2, 0, 0});
  waste.insert(waste.end(), {0, 1});
  EXPECT_EQ(expectSameAsWholeDecode(waste), "Erreur de lecture du flux");
}

// Thumbnails decode only the sampled pixels, yet give exactly the thumbnail of the whole
// decode, errors included: in memory and from files, over random pictures of every kind and
// the shared BMP suite.
TEST(PictureThumbnail, SameAsTheThumbnailOfTheWholePicture) {
  std::mt19937 rng(5);
  std::vector<Bytes> files;
  for (const int bpp : {1, 4, 8, 16, 24, 32}) {
    files.push_back(makeBitmap(rng, 37 + bpp, 23, bpp));
    files.push_back(makeBitmap(rng, 300, -41, bpp));  // top-down
  }
  files.push_back(makeBitmap(rng, 50, 20, 16, 3));
  files.push_back(makeBitmap(rng, 50, 20, 32, 3));
  for (int k = 0; k < 200; ++k) {  // random run-length data: pictures and errors
    Bytes rle = rle8Header(1 + static_cast<int>(rng() % 90), 1 + static_cast<int>(rng() % 40));
    if (k % 2) {
      put16(rle, 28, 4);
      put32(rle, 30, 2);
    }
    const size_t length = rng() % 600;
    for (size_t i = 0; i < length; ++i) rle.push_back(static_cast<std::uint8_t>(rng() % 3 == 0 ? rng() % 3 : rng()));
    files.push_back(rle);
  }
  const auto suite = std::filesystem::path(TAVRIK_SHARED_DIR) / "testdata/bmpsuite";
  if (std::filesystem::exists(suite))
    for (const auto& entry : std::filesystem::recursive_directory_iterator(suite))
      if (entry.path().extension() == ".bmp") {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      }

  int compared = 0;
  for (const Bytes& bytes : files) {
    const TempFile file(bytes);
    for (const auto& [maxWidth, maxHeight] : {std::pair{1, 1}, {7, 5}, {64, 64}, {1024, 1024}}) {
      Surface whole;
      const std::string wholeError = errorOf([&] { whole = thumbnailOf(decodeBitmap(bytes), maxWidth, maxHeight); });
      BitmapThumbnail memory, disk;
      EXPECT_EQ(errorOf([&] { memory = decodeBitmapThumbnail(bytes, maxWidth, maxHeight); }), wholeError);
      EXPECT_EQ(errorOf([&] { disk = *readBitmapThumbnail(file.path, maxWidth, maxHeight); }), wholeError);
      if (!wholeError.empty()) continue;
      ++compared;
      for (const BitmapThumbnail* t : {&memory, &disk}) {
        EXPECT_EQ(t->pixels.width(), whole.width());
        EXPECT_EQ(t->pixels.height(), whole.height());
        EXPECT_TRUE(t->pixels.pixels() == whole.pixels());
        EXPECT_LE(t->pixels.width(), maxWidth);
        EXPECT_LE(t->pixels.height(), maxHeight);
      }
    }
  }
  EXPECT_GT(compared, 100);
}
