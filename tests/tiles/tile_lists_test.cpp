#include "tiles/tile_lists.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/error.h"
#include "reference/random_workspace.h"

using namespace tavrik;
using namespace tavrik::testing;

namespace {

Picture filled(int w, int h, Colour c) { return Picture::bitmap(Surface(w, h, c)); }

// A plane whose pixel (x, y) holds a colour unique to that pixel.
Picture numbered(int w, int h) {
  Picture p = filled(w, h, clWhite);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.surface->write(x, y, static_cast<Colour>(y * 4096 + x + 1));
  return p;
}

// A plane of 16 x 16 tiles, each filled with one of `colours`, left to right.
Picture tileRow(std::initializer_list<Colour> colours) {
  Picture p = filled(static_cast<int>(colours.size()) * 16, 16, clWhite);
  int t = 0;
  for (Colour c : colours) {
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) p.surface->write(t * 16 + x, y, c);
    ++t;
  }
  return p;
}

}  // namespace

TEST(CreateTileLists, SlotsFollowReadingOrderAndRaggedEdgesAreLeftOut) {
  Workspace ws;
  ws.Image1.setPicture(numbered(100, 50));
  ws.Image2.setPicture(numbered(100, 50));
  ws.setProgress(42);
  createTileLists(ws);
  EXPECT_EQ(ws.SpriteSize, 16);
  EXPECT_EQ(ws.Image5.Width(), 288);
  EXPECT_EQ(ws.Image5.Height(), 16);
  EXPECT_EQ(ws.Label23, "18");
  EXPECT_EQ(ws.Label26, "18");
  EXPECT_EQ(ws.progress(), 42);
  // Tile (2, 1) lies in slot 8, strip columns 128 to 143.
  for (int j = 0; j < 16; ++j)
    for (int k = 0; k < 16; ++k)
      ASSERT_EQ(ws.Image5.readPixel(128 + j, k), ws.Image1.readPixel(32 + j, 16 + k));
  // Column 96 and row 48 of the plane never reach the list.
  for (int x = 0; x < 288; ++x)
    for (int y = 0; y < 16; ++y) {
      const Colour c = ws.Image5.readPixel(x, y);
      ASSERT_LT((c - 1) % 4096, 96u);
      ASSERT_LT((c - 1) / 4096, 48u);
    }
}

TEST(CreateTileLists, CountsAndSizesFollowEachPlane) {
  Workspace ws;
  ws.Image1.setPicture(filled(256, 224, clGray));
  ws.Image2.setPicture(filled(10, 300, clGray));
  createTileLists(ws);
  EXPECT_EQ(ws.Label23, "224");
  EXPECT_EQ(ws.Image5.Width(), 3584);
  EXPECT_EQ(ws.Image5.surface().width(), 3584);
  EXPECT_EQ(ws.Label26, "0");
  EXPECT_EQ(ws.Image6.Width(), 0);

  ws.RadioButton2 = false;
  ws.RadioButton1 = true;
  ws.Image1.setPicture(filled(7, 300, clGray));
  createTileLists(ws);
  EXPECT_EQ(ws.SpriteSize, 8);
  EXPECT_EQ(ws.Label23, "0");
  EXPECT_EQ(ws.Image5.Width(), 0);
  ws.RadioButton1 = false;
  createTileLists(ws);
  EXPECT_EQ(ws.SpriteSize, 32);
}

TEST(CreateTileLists, NarrowBackgroundSharesSlotsAndTheLaterTileWins) {
  Workspace ws;
  ws.Image1.setPicture(numbered(48, 32));  // 3 x 2 tiles
  ws.Image2.setPicture(numbered(32, 32));  // 2 x 2 tiles: tile (2, 0) reads outside
  createTileLists(ws);
  // Slot 2 receives tile (0, 1) and then, later in column order, tile (2, 0), which lies outside
  // the background plane and so is copied as black.
  for (int j = 0; j < 16; ++j) EXPECT_EQ(ws.Image6.readPixel(32 + j, 5), clBlack);
  EXPECT_EQ(ws.Image6.readPixel(48, 5), ws.Image2.readPixel(16, 16 + 5));  // slot 3: tile (1, 1)
  // Slot 4 (tile (2, 1)) lies beyond the grid of 4 slots and is dropped.
  EXPECT_EQ(ws.Image6.surface().width(), 64);
}

TEST(CreateTileLists, IconBackgroundFailsAfterTheFirstSpritePixel) {
  Workspace ws;
  ws.Image1.setPicture(numbered(32, 16));
  ws.Image2.setPicture(iconPicture());
  try {
    createTileLists(ws);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), kBitmapOnly);
  }
  EXPECT_EQ(ws.Label23, "2");
  EXPECT_EQ(ws.Label26, "4");  // the icon's 32 x 32
  EXPECT_EQ(ws.Image5.readPixel(0, 0), ws.Image1.readPixel(0, 0));
  EXPECT_EQ(ws.Image5.readPixel(0, 1), clWhite);
  EXPECT_EQ(ws.Image5.readPixel(1, 0), clWhite);
  EXPECT_FALSE(ws.Image6.hasSurface());
}

TEST(OptimiseTileLists, WorkedExampleKeepsFirstOccurrencesAndReportsOldSlots) {
  const Colour A = 0x102030, B = 0x405060, C = 0x708090;
  Workspace ws;
  ws.Image1.setPicture(tileRow({A, B, A, C, B}));
  ws.Image2.setPicture(filled(80, 16, clFuchsia));  // every background tile counts as removed
  createTileLists(ws);
  ws.setProgress(99);
  std::vector<int> seen;
  recordProgress(ws, seen);
  optimiseTileLists(ws);
  EXPECT_EQ(seen, (std::vector<int>{0, 10, 20, 30, 40, 50, 55, 65, 0}));
  EXPECT_EQ(ws.Label23, "3");
  EXPECT_EQ(ws.Label26, "0");
  EXPECT_EQ(ws.Image5.Width(), 48);
  EXPECT_EQ(ws.Image5.readPixel(0, 15), A);
  EXPECT_EQ(ws.Image5.readPixel(16, 0), B);
  EXPECT_EQ(ws.Image5.readPixel(47, 15), C);
  // Beyond the displayed width: slot 3 still holds C, slot 4 the fuchsia-filled duplicate.
  EXPECT_EQ(ws.Image5.readPixel(48, 3), C);
  EXPECT_EQ(ws.Image5.readPixel(79, 15), clFuchsia);
  // The scratch strip has the sprite list's size from before the compaction.
  EXPECT_EQ(ws.Image7.surface().width(), 80);

  // A second run changes neither the list nor its count.
  seen.clear();
  optimiseTileLists(ws);
  EXPECT_EQ(ws.Label23, "3");
  EXPECT_EQ(ws.Image5.Width(), 48);
  EXPECT_EQ(ws.Image5.readPixel(32, 0), C);
}

TEST(OptimiseTileLists, FuchsiaCornerRemovesATileAndEqualityNeedsEveryPixel) {
  const Colour A = 0x102030;
  Workspace ws;
  ws.Image1.setPicture(tileRow({A, A, A, A}));
  ws.Image2.setPicture(tileRow({A, A, A, A}));
  ws.Image1.surface().write(16, 0, clFuchsia);  // tile 1: removed although unique
  ws.Image1.surface().write(16 * 2 + 5, 9, clGray);  // tile 2 differs in one inner pixel
  createTileLists(ws);
  optimiseTileLists(ws);
  EXPECT_EQ(ws.Label23, "2");
  EXPECT_EQ(ws.Image5.readPixel(16 + 5, 9), clGray);
  EXPECT_EQ(ws.Label26, "1");
  EXPECT_EQ(ws.Image6.Width(), 16);
}

TEST(OptimiseTileLists, SpriteSizeZeroFailsWithNothingChanged) {
  Rng rng(7);
  Workspace ws, before;
  randomWorkspace(ws, rng);
  ws.SpriteSize = 0;
  copyWorkspace(ws, before);
  try {
    optimiseTileLists(ws);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Division par zéro");
  }
  EXPECT_EQ(describeDifference(ws, before), "");
}

TEST(OptimiseTileLists, SlotsBeyondTheGridSurviveAsBlackTiles) {
  // Lists made from a small plane, then a larger plane loaded and optimised without new lists:
  // slots 2 and 3 lie beyond the sprite list's 32-pixel grid, read the invalid colour and are
  // never removed; copied through the scratch strip they come back black.
  const Colour A = 0x102030;
  Workspace ws;
  ws.Image1.setPicture(tileRow({A, A}));
  ws.Image2.setPicture(tileRow({A}));
  createTileLists(ws);
  ws.Image1.setPicture(tileRow({A, A, A, A}));
  optimiseTileLists(ws);
  EXPECT_EQ(ws.Label23, "3");
  EXPECT_EQ(ws.Image5.Width(), 48);
  EXPECT_EQ(ws.Image5.surface().width(), 48);  // grown by the wider control
  EXPECT_EQ(ws.Image5.readPixel(0, 0), A);
  EXPECT_EQ(ws.Image5.readPixel(16, 0), clBlack);
  EXPECT_EQ(ws.Image5.readPixel(47, 15), clBlack);
}

TEST(CreateTileLists, ListFirstTouchedWhileEmptyGrowsWithLaterPlanes) {
  Workspace ws;
  ws.Image1.setPicture(numbered(32, 16));
  ws.Image2.setPicture(numbered(8, 8));  // no tile, yet the copy walks the sprite grid
  createTileLists(ws);
  EXPECT_EQ(ws.Label26, "0");
  EXPECT_EQ(ws.Image6.surface().width(), 0);
  EXPECT_EQ(ws.Image6.surface().height(), 16);

  ws.Image2.setPicture(numbered(32, 16));
  createTileLists(ws);
  EXPECT_EQ(ws.Label26, "2");
  EXPECT_EQ(ws.Image6.surface().width(), 32);
  EXPECT_EQ(ws.Image6.readPixel(31, 15), ws.Image2.readPixel(31, 15));
}

TEST(OptimiseTileLists, BackgroundWithMoreTilesThanSpritePlaneKeepsItsTiles) {
  // Sprite plane 1 x 2 tiles, background 3 x 2: the copy walks the sprite grid and puts the
  // background's tiles (0, 0) and (0, 1) into slots 0 and 3. The scratch strip is sized from
  // the sprite list (two slots), yet background slot 3 must survive intact, not come back black.
  Workspace ws;
  ws.Image1.setPicture(numbered(16, 32));
  ws.Image2.setPicture(numbered(48, 32));
  createTileLists(ws);
  optimiseTileLists(ws);
  EXPECT_EQ(ws.Label26, "6");
  EXPECT_GE(ws.Image7.Width(), 96);
  for (int y : {0, 15})
    for (int x : {0, 15}) {
      EXPECT_EQ(ws.Image6.readPixel(x, y), ws.Image2.readPixel(x, y));
      EXPECT_EQ(ws.Image6.readPixel(48 + x, y), ws.Image2.readPixel(x, 16 + y));
    }
}
