// PNG files: the decoder against files written and decoded independently by
// tests/imaging/png/make_cases.py, the three ways of reading one, the writer's round trip and
// format choice, and which face accepts a .png.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "files/output_set.h"
#include "imaging/picture_file.h"
#include "imaging/png_file.h"

using namespace tavrik;

namespace {

const std::string kCases = TAVRIK_SOURCE_DIR "/tests/imaging/png/";

struct Case {
  std::string name;
  int width = 0, height = 0;
  std::vector<Colour> pixels;  // empty for a file to refuse
  std::string error;
};

std::vector<Case> loadCases() {
  std::vector<Case> cases;
  std::ifstream in(kCases + "cases.txt");
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    Case c;
    std::string second;
    fields >> c.name >> second;
    if (second == "!") {
      std::getline(fields >> std::ws, c.error);
    } else {
      c.width = std::stoi(second);
      fields >> c.height;
      for (std::string hex; fields >> hex;) c.pixels.push_back(static_cast<Colour>(std::stoul(hex, nullptr, 16)));
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::vector<std::uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The pixels of a surface, row by row, or the message of the error raised making it.
template <class Decode>
std::string outcome(Decode decode, std::vector<Colour>& pixels) {
  try {
    const Surface s = decode();
    pixels.assign(s.pixels().begin(), s.pixels().end());
    return std::to_string(s.width()) + " x " + std::to_string(s.height());
  } catch (const Error& e) {
    pixels.clear();
    return e.message();
  }
}

// Every case, read from memory, from the file, and one row at a time: each way gives the
// expected pixels, or the expected message.
TEST(PngFile, EveryColourTypeDepthInterlaceAndTransparencyDecodesAsComputedIndependently) {
  const std::vector<Case> cases = loadCases();
  ASSERT_GE(cases.size(), 50u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = kCases + c.name;
    const std::vector<std::uint8_t> bytes = fileBytes(path);
    const std::string expected = c.error.empty() ? std::to_string(c.width) + " x " + std::to_string(c.height) : c.error;
    std::vector<Colour> fromMemory, fromFile, byRows;
    EXPECT_EQ(outcome([&] { return decodePng(bytes); }, fromMemory), expected);
    EXPECT_EQ(outcome([&] { return *readPngFile(path); }, fromFile), expected);
    EXPECT_EQ(outcome(
                  [&] {
                    std::unique_ptr<PngReader> reader = PngReader::open(path);
                    Surface s(reader->width(), reader->height());
                    for (int y = 0; y < reader->height(); ++y) reader->readRow(s.row(y));
                    return s;
                  },
                  byRows),
              expected);
    EXPECT_EQ(fromMemory, c.pixels);
    EXPECT_EQ(fromFile, c.pixels);
    EXPECT_EQ(byRows, c.pixels);
  }
}

// A file that ends early gives "Erreur de lecture du flux", wherever it is cut: in its
// signature, a chunk, the image data, or the end chunk's CRC (which libspng alone lets pass), and
// also when it is cut after the reader opened it, while its rows are read.
TEST(PngFile, EveryCutIsAReadErrorBeforeOrWhileReading) {
  for (const char* name : {"grey-1.png", "palette-2-trns.png", "rgb-16.png", "rgba-8-interlaced.png"}) {
    const std::vector<std::uint8_t> whole = fileBytes(kCases + name);
    for (std::size_t size = 0; size < whole.size(); ++size) {
      SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(size) + " bytes");
      const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
      std::vector<Colour> pixels;
      EXPECT_EQ(outcome([&] { return decodePng(cut); }, pixels), "Erreur de lecture du flux");
    }
  }
  // Random colours: a file far larger than the reading buffers, cut once its reader is open.
  Surface surface(300, 200);
  std::mt19937 random(5);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) surface.write(x, y, random() & 0xFFFFFF);
  const std::vector<std::uint8_t> whole = encodePng(surface);
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "tavrik-png-cut.png";
  std::vector<std::size_t> sizes;
  for (std::size_t size = 32768; size < whole.size(); size += 4999) sizes.push_back(size);
  for (std::size_t size = whole.size() - 16; size < whole.size(); ++size) sizes.push_back(size);
  for (const std::size_t size : sizes) {
    SCOPED_TRACE("cut to " + std::to_string(size) + " of " + std::to_string(whole.size()) + " bytes while reading");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()), static_cast<std::streamsize>(whole.size()));
    std::unique_ptr<PngReader> reader = PngReader::open(path.string());
    ASSERT_NE(reader, nullptr);
    std::filesystem::resize_file(path, size);
    std::vector<Colour> pixels;
    EXPECT_EQ(outcome(
                  [&] {
                    Surface s(reader->width(), reader->height());
                    for (int y = 0; y < reader->height(); ++y) reader->readRow(s.row(y));
                    return s;
                  },
                  pixels),
              "Erreur de lecture du flux");
  }
  std::filesystem::remove(path);
}

// Surfaces of 1 to 300 colours, odd sizes: the written file decodes to the same pixels, and
// takes the smallest palette that holds every colour, or RGB beyond 256 colours.
TEST(PngFile, WrittenFilesReadBackExactlyInTheSmallestExactFormat) {
  struct Row {
    int colours, width, height;
    int colourType, depth;  // expected in the file's header
  };
  const Row rows[] = {{1, 1, 1, 3, 1},    {2, 17, 3, 3, 1},  {3, 9, 5, 3, 2},   {4, 33, 2, 3, 2},
                      {5, 7, 7, 3, 4},    {16, 31, 9, 3, 4}, {17, 64, 8, 3, 8}, {256, 40, 40, 3, 8},
                      {257, 40, 40, 2, 8}, {300, 3, 200, 2, 8}};
  std::mt19937 random(7);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.colours);
    std::vector<Colour> colours;
    for (int k = 0; k < row.colours; ++k) colours.push_back(random() & 0xFFFFFF);
    Surface surface(row.width, row.height);
    int k = 0;
    for (int y = 0; y < row.height; ++y)
      for (int x = 0; x < row.width; ++x, ++k)
        surface.write(x, y, k < row.colours ? colours[k] : colours[random() % row.colours]);
    const std::vector<std::uint8_t> png = encodePng(surface);
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png[24], row.depth);
    EXPECT_EQ(png[25], row.colourType);
    const Surface back = decodePng(png);
    EXPECT_EQ(back.width(), row.width);
    EXPECT_EQ(back.height(), row.height);
    EXPECT_EQ(back.pixels(), surface.pixels());
  }
  EXPECT_TRUE(encodePng(Surface(0, 5)).empty());
}

// A write that fails in the middle of a file stops the writer with the file's error, and the
// file is not put in place.
TEST(PngFile, AFailingWriteStopsTheWriterNamingTheFile) {
  // Random colours: a file far larger than the output buffer, so that the write fails while
  // the encoder runs.
  Surface surface(300, 300);
  std::mt19937 random(3);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) surface.write(x, y, random() & 0xFFFFFF);
  struct Failing final : OutputFile {
    bool write(const void*, std::size_t) override { return false; }
    bool finish() override { return true; }
    bool install() override { return true; }
  };
  ScopedOutputFileFactory factory([](const std::string&) { return std::make_unique<Failing>(); });
  try {
    writePngFile(surface, "/nowhere/image.png");
    ADD_FAILURE() << "the write did not fail";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Erreur d'écriture du fichier /nowhere/image.png");
  }
}

// The window keeps its four kinds; tavrik-batch's rules add png, in any case.
TEST(PngFile, OnlyTheBatchRulesAcceptPng) {
  const std::string file = kCases + "rgb-8.png";
  try {
    loadPictureFile(file);
    ADD_FAILURE() << "the window's rules loaded a .png";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Extension de fichier graphique inconnue (.png)");
  }
  const Picture picture = loadPictureFile(file, PictureRules::Batch);
  EXPECT_EQ(picture.kind, PictureKind::Bitmap);
  EXPECT_EQ(picture.width(), 13);
  const std::vector<std::uint8_t> bytes = fileBytes(file);
  EXPECT_EQ(decodePicture("PNG", bytes, PictureRules::Batch).surface->pixels(), picture.surface->pixels());
  EXPECT_THROW(decodePicture("png", bytes), Error);
  try {
    loadPictureFile(kCases + "absent.png", PictureRules::Batch);
    ADD_FAILURE() << "an absent file loaded";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Impossible d'ouvrir le fichier " + kCases + "absent.png");
  }
}

}  // namespace
