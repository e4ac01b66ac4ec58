// Every file of the BMP suite against its expected outcome. Rows marked "unsure" carry our own
// decision here: the outcome that the decoding rules give, with the row's hash where we load.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "imaging/picture_file.h"
#include "sha256.h"

using namespace tavrik;

namespace {

const std::filesystem::path kSuite = std::filesystem::path(TAVRIK_SHARED_DIR) / "testdata/bmpsuite";

constexpr const char* kBad = "Image bitmap incorrecte";
constexpr const char* kRead = "Erreur de lecture du flux";
constexpr const char* kLoad = "load";

// Our outcome for the rows that the table leaves open.
const std::map<std::string, std::string> kUnsureDecisions = {
    // Header sizes, depths and compressions outside the supported set; RLE stored top-down;
    // widths of 0 or below; more than 2^28 pixels.
    {"b/badbitcount.bmp", kBad},
    {"b/badheadersize.bmp", kBad},
    {"b/badwidth.bmp", kBad},
    {"b/reallybig.bmp", kBad},
    {"b/rletopdown.bmp", kBad},
    {"q/pal1huffmsb.bmp", kBad},
    {"q/pal2.bmp", kBad},
    {"q/pal2color.bmp", kBad},
    {"q/pal8os2v2-16.bmp", kBad},
    {"q/pal8os2v2-sz.bmp", kBad},
    {"q/pal8os2v2.bmp", kBad},
    {"q/rgb24jpeg.bmp", kBad},
    {"q/rgb24png.bmp", kBad},
    {"q/rgb24rle24.bmp", kBad},
    {"q/rgb32h52.bmp", kBad},
    {"q/rgba32abf.bmp", kBad},
    {"q/rgba32h56.bmp", kBad},
    {"q/rgba64.bmp", kBad},
    // Pixel data that ends early.
    {"b/shortfile.bmp", kRead},
    // RLE runs clipped at the edges, skipped pixels as colour-table entry 0.
    {"b/badrle.bmp", kLoad},
    {"b/badrle4.bmp", kLoad},
    {"b/badrle4bis.bmp", kLoad},
    {"b/badrle4ter.bmp", kLoad},
    {"b/badrlebis.bmp", kLoad},
    {"b/badrleter.bmp", kLoad},
    {"q/pal4rlecut.bmp", kLoad},
    {"q/pal4rletrns.bmp", kLoad},
    {"q/pal8rlecut.bmp", kLoad},
    {"q/pal8rletrns.bmp", kLoad},
    // Indices beyond the colour table read black.
    {"b/pal8badindex.bmp", kLoad},
    // Bit fields of any width scaled by rounding; empty masks read 0; alpha ignored.
    {"b/rgb16-880.bmp", kLoad},
    {"g/rgb16-565.bmp", kLoad},
    {"g/rgb16-565pal.bmp", kLoad},
    {"g/rgb16.bmp", kLoad},
    {"g/rgb16bfdef.bmp", kLoad},
    {"q/rgb16-231.bmp", kLoad},
    {"q/rgb16-3103.bmp", kLoad},
    {"q/rgb16faketrns.bmp", kLoad},
    {"q/rgb32-111110.bmp", kLoad},
    {"q/rgb32-7187.bmp", kLoad},
    {"q/rgba16-1924.bmp", kLoad},
    {"q/rgba16-4444.bmp", kLoad},
    {"q/rgba16-5551.bmp", kLoad},
    {"q/rgba32-1.bmp", kLoad},
    {"q/rgba32-1010102.bmp", kLoad},
    {"q/rgba32-2.bmp", kLoad},
    {"q/rgba32-61754.bmp", kLoad},
    {"q/rgba32-81284.bmp", kLoad},
};

struct Row {
  std::string path, outcome, width, height, hashOrMessage;
};

std::vector<Row> readExpected() {
  std::ifstream in(kSuite / "expected.tsv");
  std::vector<Row> rows;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::stringstream fields(line);
    std::string cell;
    while (std::getline(fields, cell, '\t')) cells.push_back(cell);
    cells.resize(5);
    rows.push_back({cells[0], cells[1], cells[2], cells[3], cells[4]});
  }
  return rows;
}

}  // namespace

TEST(BmpSuite, EveryFileGivesItsExpectedOutcome) {
  if (!std::filesystem::exists(kSuite / "expected.tsv"))
    GTEST_SKIP() << "BMP suite not found at " << kSuite << "; shared test data absent";
  const std::vector<Row> rows = readExpected();
  ASSERT_EQ(rows.size(), 90u);
  int loaded = 0, refused = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    std::string expected = row.outcome == "load" ? kLoad : row.hashOrMessage;
    if (row.outcome == "unsure") {
      const auto decision = kUnsureDecisions.find(row.path);
      ASSERT_NE(decision, kUnsureDecisions.end()) << "no decision for an unsure row";
      expected = decision->second;
    } else {
      ASSERT_TRUE(row.outcome == "load" || row.outcome == "error") << row.outcome;
      ASSERT_EQ(kUnsureDecisions.count(row.path), 0u) << "decision for a settled row";
    }
    try {
      const Picture picture = loadPictureFile((kSuite / row.path).string());
      ASSERT_EQ(expected, kLoad) << "loaded, expected: " << expected;
      ASSERT_EQ(picture.kind, PictureKind::Bitmap);
      ASSERT_NE(row.hashOrMessage, "-") << "loaded a file that has no candidate pixels";
      EXPECT_EQ(std::to_string(picture.width()), row.width);
      EXPECT_EQ(std::to_string(picture.height()), row.height);
      EXPECT_EQ(test::pixelSha256(*picture.surface), row.hashOrMessage);
      ++loaded;
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), expected);
      ++refused;
    }
  }
  EXPECT_EQ(loaded, 68);
  EXPECT_EQ(refused, 22);
}

TEST(Sha256, KnownDigests) {
  EXPECT_EQ(test::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(test::sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(test::sha256Hex(std::string(1000, 'a')),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}
