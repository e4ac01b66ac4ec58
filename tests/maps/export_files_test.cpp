#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/error.h"
#include "files/output_set.h"
#include "maps/export_files.h"
#include "maps/maps_fixtures.h"

using namespace tavrik;
using namespace tavrik::maps_test;

namespace {

using Bytes = std::vector<unsigned char>;

// A workspace whose lists and counters are set directly (no planes needed for the export).
struct ExportCase {
  Workspace ws;
  Maps maps;
  ExportCase(int size = 16) {
    ws.SpriteSize = size;
    ws.Label23 = "0";
    ws.Label26 = "0";
  }
};

}  // namespace

TEST(ExportFiles, WorkedExamplesByteForByte) {
  TempDir dir;
  ExportCase e;
  e.maps.sprite = mapOf(3, 2, {0, 1, 2, 300, 1, 0});
  e.maps.background = mapOf(1, 1, {10});
  // Sprite list: tile 0 carries the example row on row 0 (rest white), tile 1 all fuchsia,
  // tile 2 all black.
  Surface& sprites = setWorkingImage(e.ws.Image5, 48, 16);
  const Colour row[16] = {clWhite,   clWhite,   clBlack, clBlack, clGray,   clGray,
                          clSilver,  clSilver,  clFuchsia, clFuchsia, clBlack, clGray,
                          clSilver,  clWhite,   clBlack, clBlack};
  for (int x = 0; x < 16; ++x) sprites.write(x, 0, row[x]);
  fillBlock(sprites, 16, 0, 16, clFuchsia);
  fillBlock(sprites, 32, 0, 16, clBlack);
  e.ws.Label23 = "3";
  e.ws.OpenPictureDialog1FileName = "C:\\niveaux\\plan1.bmp";

  const ExportResult result = exportFiles(e.ws, e.maps, dir.str());

  EXPECT_EQ(readBytes(dir.file("Demo1.lvl")),
            (Bytes{0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0x2C, 0x01, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(readBytes(dir.file("Demo2.lvl")), (Bytes{0x0A, 0x00}));
  Bytes expected = {0x3C, 0x33, 0x33, 0x2B};
  expected.resize(64 + 64, 0x00);    // rest of tile 0, all of tile 1
  expected.resize(64 * 3, 0xFF);     // tile 2
  EXPECT_EQ(readBytes(dir.file("Demo1.bin")), expected);
  EXPECT_TRUE(readBytes(dir.file("Demo2.bin")).empty());
  EXPECT_EQ(result.files, (std::vector<std::string>{dir.file("Demo1.lvl"), dir.file("Demo2.lvl"),
                                                    dir.file("Demo1.bin"), dir.file("Demo2.bin")}));
  EXPECT_EQ(result.closingMessage,
            "Les fichiers ont été enregistrés avec l'image : C:\\niveaux\\plan1.bmp");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.str()), {}), 4);
}

TEST(ExportFiles, EightPixelTilesFillTheLowBytesOfEachWord) {
  TempDir dir;
  ExportCase e(8);
  Surface& tiles = setWorkingImage(e.ws.Image6, 16, 8);
  const Colour row[8] = {clBlack, clGray, clSilver, clWhite, clRed, clSilver, clGray, clBlack};
  for (int x = 0; x < 8; ++x) tiles.write(8 + x, 7, row[x]);  // tile 1, last row
  e.ws.Label26 = "2";
  exportFiles(e.ws, e.maps, dir.str());
  Bytes expected(64, 0x00);
  // first word 1100 0011, second word 1010 0101
  expected[60] = 0x00;
  expected[61] = 0xC3;
  expected[62] = 0x00;
  expected[63] = 0xA5;
  EXPECT_EQ(readBytes(dir.file("Demo2.bin")), expected);
}

TEST(ExportFiles, TilesBeyondTheStripReadInvalidAndWriteZero) {
  TempDir dir;
  ExportCase e;
  Surface& tiles = setWorkingImage(e.ws.Image5, 24, 16);  // slot 1 half inside
  fillBlock(tiles, 0, 0, 24, clBlack);
  e.ws.Label23 = "3";
  exportFiles(e.ws, e.maps, dir.str());
  const Bytes bytes = readBytes(dir.file("Demo1.bin"));
  ASSERT_EQ(bytes.size(), 3u * 64);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[64], 0xFF);  // the first 8 pixels of slot 1 are black...
  EXPECT_EQ(bytes[65], 0x00);  // ...the others lie outside the grid
  for (size_t i = 128; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0x00);
}

TEST(ExportFiles, NamesComeFromTheBaseNameInTheCurrentFolder) {
  TempDir dir;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.str());
  ExportCase e;
  e.ws.Edit6 = "";
  ExportResult result;
  EXPECT_NO_THROW(result = exportFiles(e.ws, e.maps));
  std::filesystem::current_path(previous);
  EXPECT_EQ(result.files, (std::vector<std::string>{"1.lvl", "2.lvl", "1.bin", "2.bin"}));
  for (const char* name : {"1.lvl", "2.lvl", "1.bin", "2.bin"}) {
    EXPECT_TRUE(exists(dir.file(name))) << name;
    EXPECT_TRUE(readBytes(dir.file(name)).empty()) << name;  // no cell, no tile
  }
  EXPECT_EQ(result.closingMessage, "Les fichiers ont été enregistrés avec l'image : ");
}

TEST(ExportFiles, RefusesWhatTheFilesCannotHoldBeforeWritingAnything) {
  TempDir dir;
  {
    ExportCase e;
    e.ws.Label26 = "65537";
    EXPECT_EQ(errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); }),
              "Trop de tuiles dans la liste : 65537 (65536 au plus)");
  }
  {
    ExportCase e(32);
    EXPECT_EQ(errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); }),
              "Les tuiles de 32 pixels ne peuvent pas être enregistrées (16 pixels au plus)");
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.str()));
  {
    ExportCase e(8);  // 65536 tiles are fine: the highest index, 65535, fits 16 bits
    setWorkingImage(e.ws.Image5, 8, 8);
    e.ws.Label23 = "65536";
    EXPECT_NO_THROW(exportFiles(e.ws, e.maps, dir.str()));
    EXPECT_EQ(std::filesystem::file_size(dir.file("Demo1.bin")), 65536u * 32);
  }
}

TEST(ExportFiles, BadCounterChangesNoneOfTheFourFiles) {
  TempDir dir;
  ExportCase e;
  e.maps.sprite = mapOf(1, 1, {7});
  writeBytes(dir.file("Demo1.bin"), {1, 2, 3});
  e.ws.Label23 = "douze";
  EXPECT_EQ(errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); }),
            "'douze' n'est pas une valeur entière correcte");
  EXPECT_FALSE(exists(dir.file("Demo1.lvl")));
  EXPECT_FALSE(exists(dir.file("Demo2.lvl")));
  EXPECT_EQ(readBytes(dir.file("Demo1.bin")), (Bytes{1, 2, 3}));  // previous content intact
  EXPECT_FALSE(exists(dir.file("Demo2.bin")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.str()), {}), 1);  // no temporary
}

// A disk file that fails on purpose: at open, at the byte of offset `failAt`, when it is
// finished (flush, sync, close) or when it is renamed into place.
enum class FailAt { Open, Byte, Finish, Install };

class FailingFile : public OutputFile {
 public:
  FailingFile(std::unique_ptr<OutputFile> real, FailAt mode, size_t failAt)
      : real_(std::move(real)), mode_(mode), failAt_(failAt) {}
  bool write(const void* data, std::size_t size) override {
    if (mode_ == FailAt::Byte && written_ + size > failAt_) {
      real_->write(data, failAt_ - written_);  // what got through before the failure
      return false;
    }
    written_ += size;
    return real_->write(data, size);
  }
  bool finish() override { return mode_ == FailAt::Finish ? false : real_->finish(); }
  bool install() override { return mode_ == FailAt::Install ? false : real_->install(); }

 private:
  std::unique_ptr<OutputFile> real_;
  FailAt mode_;
  size_t failAt_;
  size_t written_ = 0;
};

// Until the renames every failure leaves all four files as they were; a failed rename leaves
// the files renamed before it in place.
TEST(ExportFiles, TheFourFilesAreReplacedAsOneSet) {
  const char* names[] = {"Demo1.lvl", "Demo2.lvl", "Demo1.bin", "Demo2.bin"};
  for (int failing = 0; failing < 4; ++failing) {
    for (FailAt mode : {FailAt::Open, FailAt::Byte, FailAt::Finish, FailAt::Install}) {
      SCOPED_TRACE(std::string(names[failing]) + " mode " + std::to_string(static_cast<int>(mode)));
      TempDir dir;
      for (const char* name : names) writeBytes(dir.file(name), {0xEE, 0xEE});
      ExportCase e;
      e.maps.sprite = mapOf(2, 1, {1, 2});
      e.maps.background = mapOf(1, 2, {3, 4});
      setWorkingImage(e.ws.Image5, 32, 16);
      setWorkingImage(e.ws.Image6, 16, 16);
      fillBlock(e.ws.Image6.surface(), 0, 0, 16, clBlack);
      e.ws.Label23 = "2";
      e.ws.Label26 = "1";
      const std::string target = dir.file(names[failing]);
      ScopedOutputFileFactory factory([&](const std::string& path) -> std::unique_ptr<OutputFile> {
        if (path != target) return openDiskFile(path);
        if (mode == FailAt::Open) return nullptr;
        return std::make_unique<FailingFile>(openDiskFile(path), mode, 1);
      });
      const std::string message = errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); });
      EXPECT_EQ(message, (mode == FailAt::Open ? "Impossible de créer le fichier "
                                               : "Erreur d'écriture du fichier ") + target);
      const Bytes fresh[4] = {{1, 0, 2, 0}, {3, 0, 4, 0}, Bytes(128, 0), Bytes(64, 0xFF)};
      for (int f = 0; f < 4; ++f) {
        const bool replaced = mode == FailAt::Install && f < failing;
        EXPECT_EQ(readBytes(dir.file(names[f])), replaced ? fresh[f] : (Bytes{0xEE, 0xEE}))
            << names[f];
      }
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.str()), {}), 4);
    }
  }
}

TEST(ExportFiles, ReadOnlyFolderOrFileCannotBeCreated) {
  TempDir dir;
  writeBytes(dir.file("Demo1.lvl"), {9});
  // A read-only file is refused whoever runs the tool, root included.
  std::filesystem::permissions(dir.file("Demo1.lvl"), std::filesystem::perms::owner_read);
  ExportCase e;
  EXPECT_EQ(errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); }),
            "Impossible de créer le fichier " + dir.file("Demo1.lvl"));
  EXPECT_EQ(readBytes(dir.file("Demo1.lvl")), (Bytes{9}));

  std::filesystem::remove(dir.file("Demo1.lvl"));
  std::filesystem::permissions(dir.str(), std::filesystem::perms::owner_read |
                                              std::filesystem::perms::owner_exec);
  const bool permissionsBind = ::access(dir.str().c_str(), W_OK) != 0;
  if (!permissionsBind) GTEST_SKIP() << "running with rights that ignore folder permissions (root)";
  EXPECT_EQ(errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); }),
            "Impossible de créer le fichier " + dir.file("Demo1.lvl"));
}

TEST(ExportFiles, MissingFolderCannotBeCreatedEither) {
  TempDir dir;
  ExportCase e;
  e.ws.Edit6 = "sous/Demo";
  EXPECT_EQ(errorOf([&] { exportFiles(e.ws, e.maps, dir.str()); }),
            "Impossible de créer le fichier " + dir.file("sous/Demo1.lvl"));
}
