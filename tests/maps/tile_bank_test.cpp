// Tile files read back as banks, and map records with flip bits.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "base/error.h"
#include "maps/export_files.h"
#include "maps/maps_fixtures.h"
#include "maps/tile_bank.h"
#include "maps/tile_words.h"

using namespace tavrik;
using namespace tavrik::maps_test;

TEST(TileBank, ExportedTilesReadBackAsTheSameGreys) {
  // Lists of the four greys written by the export and decoded again give the same pixels, for
  // both tile sizes; a bank read from the files holds them in file order.
  std::mt19937 rng(7);
  const Colour greys[] = {clWhite, clSilver, clGray, clBlack};
  for (const int S : {16, 8}) {
    Workspace ws;
    ws.SpriteSize = S;
    const int count = 37;
    std::vector<Colour> tiles(static_cast<size_t>(count * S * S));
    for (Colour& c : tiles) c = greys[rng() % 4];
    for (ImageControl* list : {&ws.Image5, &ws.Image6}) {
      Surface& strip = setWorkingImage(*list, count * S, S);
      for (int t = 0; t < count; ++t)
        for (int y = 0; y < S; ++y)
          for (int x = 0; x < S; ++x) strip.write(t * S + x, y, tiles[static_cast<size_t>((t * S + y) * S + x)]);
    }
    ws.Label23 = ws.Label26 = std::to_string(count);
    TempDir dir;
    exportFiles(ws, Maps{}, dir.str());
    const TileBank bank = readTileBank(dir.file("Demo"), S);
    EXPECT_EQ(bank.sprites, tiles) << S;
    EXPECT_EQ(bank.backgrounds, tiles) << S;
  }
}

TEST(TileWords, EachGreyKeepsItsColourNumberBothWays) {
  // Leftmost pixel in the highest bit: white, silver, grey, black, then a colour that is no grey.
  const Colour row[5] = {clWhite, clSilver, clGray, clBlack, clRed};
  const TileRowWords words = encodeTileRow(row, 5);
  EXPECT_EQ(words.first, 0b00110);
  EXPECT_EQ(words.second, 0b01010);
  Colour decoded[5] = {};
  decodeTileRow(words.first | 0xFF00u, words.second, 5, decoded);  // bits above the row ignored
  const Colour expected[5] = {clWhite, clSilver, clGray, clBlack, clWhite};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(decoded[x], expected[x]) << x;
  for (unsigned n = 0; n < 4; ++n) EXPECT_EQ(colourNumber(kColourOfNumber[n]), n);
}

TEST(TileBank, WhatNoExportWritesIsRefused) {
  struct Case {
    int S;
    std::vector<std::uint8_t> bytes;
    bool accepted;
  };
  std::vector<std::uint8_t> highBit(32, 0);
  highBit[4] = 0x01;  // row 1, first word, bit 8: a ninth pixel
  const std::vector<Case> cases = {
      {16, {}, true},
      {16, std::vector<std::uint8_t>(64, 0xFF), true},
      {16, std::vector<std::uint8_t>(63, 0), false},
      {16, std::vector<std::uint8_t>(96, 0), false},
      {8, std::vector<std::uint8_t>(32, 0), true},
      {8, std::vector<std::uint8_t>(64, 0), true},
      {8, std::vector<std::uint8_t>(48, 0), false},
      {8, highBit, false},
      {32, std::vector<std::uint8_t>(128, 0), false},
  };
  for (const Case& c : cases) {
    const std::string error = errorOf([&] { decodeTileRecords(c.bytes, c.S, "t.bin"); });
    EXPECT_EQ(error, c.accepted ? "(no error)" : "Fichier de tuiles incorrect : t.bin")
        << "S " << c.S << ", " << c.bytes.size() << " bytes";
  }
  // An all-0xFF record is black everywhere; all-zero white.
  EXPECT_EQ(decodeTileRecords(std::vector<std::uint8_t>(64, 0xFF), 16, "b"), std::vector<Colour>(256, clBlack));
  EXPECT_EQ(decodeTileRecords(std::vector<std::uint8_t>(32, 0), 8, "w"), std::vector<Colour>(64, clWhite));
}

TEST(TileBank, MissingFilesCannotBeOpened) {
  TempDir dir;
  writeBytes(dir.file("only1.bin"), {});
  EXPECT_EQ(errorOf([&] { readTileBank(dir.file("none"), 16); }),
            "Impossible d'ouvrir le fichier " + dir.file("none1.bin"));
  EXPECT_EQ(errorOf([&] { readTileBank(dir.file("only"), 16); }),
            "Impossible d'ouvrir le fichier " + dir.file("only2.bin"));
  EXPECT_EQ(errorOf([&] { readTileBank(dir.str() + "/", 16); }),
            "Impossible d'ouvrir le fichier " + dir.str() + "/1.bin");
}

TEST(TileBank, BankFilesMustBeRegularFiles) {
  // A named pipe without a writer and a device without end are refused at once, unopened.
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("tube1.bin").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.file("zero1.bin"));
  for (const std::string prefix : {"tube", "zero"})
    EXPECT_EQ(errorOf([&] { readTileBank(dir.file(prefix), 16); }),
              "Impossible d'ouvrir le fichier " + dir.file(prefix + "1.bin"));
}

TEST(FlipBits, RecordsCarryTheIndexBelowTheFlipBits) {
  struct Case {
    FlipBits bits;
    std::int32_t index;
    Flip flip;
    std::uint32_t record;
  };
  const Case cases[] = {
      {{14, 15}, 5, Flip::None, 0x0005},       {{14, 15}, 5, Flip::Horizontal, 0x4005},
      {{14, 15}, 16383, Flip::Vertical, 0xBFFF}, {{14, 15}, 0, Flip::Both, 0xC000},
      {{8, 9}, 255, Flip::Horizontal, 0x01FF},  {{15, 12}, 7, Flip::Both, 0x9007},
      {{12, 10}, 3, Flip::Vertical, 0x0403},
  };
  for (const Case& c : cases) EXPECT_EQ(c.bits.record(c.index, c.flip), c.record) << c.index;
  EXPECT_EQ((FlipBits{14, 15}.maxTiles()), 16384);
  EXPECT_EQ((FlipBits{15, 9}.maxTiles()), 512);
}
