#include <gtest/gtest.h>

#include "base/error.h"
#include "maps/maps_fixtures.h"
#include "maps/tile_maps.h"

using namespace tavrik;
using namespace tavrik::maps_test;

namespace {

constexpr Colour kA = clBlack, kB = clGray, kC = clSilver;

// The 40 x 33 sprite plane of the worked example (grid 2 x 2 at S = 16): cells A B / A C, and
// pixels right of and below the grid in a colour that no tile has.
void exampleSpritePlane(Workspace& ws) {
  ws.SpriteSize = 16;
  Surface& plane = setBitmap(ws.Image1, 40, 33, clRed);
  fillBlock(plane, 0, 0, 16, kA);
  fillBlock(plane, 16, 0, 16, kB);
  fillBlock(plane, 0, 16, 16, kA);
  fillBlock(plane, 16, 16, 16, kC);
  plane.write(17, 18, clWhite);  // C with one odd pixel: equals no list tile
}

}  // namespace

TEST(BuildMaps, WorkedExampleGridPreviewAndHighestEqualIndex) {
  Workspace ws;
  exampleSpritePlane(ws);
  // An unoptimised list: A in slots 0 and 1233, B in slot 1, C in slot 2, the rest white.
  Surface& list = setWorkingImage(ws.Image5, 1234 * 16, 16);
  fillBlock(list, 0, 0, 16, kA);
  fillBlock(list, 16, 0, 16, kB);
  fillBlock(list, 32, 0, 16, kC);
  fillBlock(list, 1233 * 16, 0, 16, kA);
  ws.Label23 = "1234";
  setBitmap(ws.Image2, 8, 100);  // background narrower than a tile: empty grid
  ws.Label26 = "0";
  // The preview already shows an earlier, larger drawing in red.
  setWorkingImage(ws.Image8, 60, 60);
  ws.Image8.surface() = Surface(60, 60, clRed);

  const Maps maps = buildMaps(ws);

  EXPECT_EQ(maps.sprite.columns, 2);
  EXPECT_EQ(maps.sprite.rows, 2);
  EXPECT_EQ(maps.sprite.cells, (std::vector<std::int32_t>{1233, 1, 1233, 0}));
  EXPECT_EQ(maps.sprite.unmatched, 1);
  EXPECT_EQ(maps.background.columns, 0);
  EXPECT_TRUE(maps.background.cells.empty());
  EXPECT_EQ(ws.Image8.Width(), 40);
  EXPECT_EQ(ws.Image8.Height(), 40);
  EXPECT_EQ(ws.Image9.Width(), 0);
  EXPECT_EQ(ws.Image9.Height(), 100 / 16 * 20);

  // Fill (0, 0, 39, 32), then the numbers at (0,0), (0,20), (20,0), (20,20) in that order: the
  // 24-pixel "1233" of column 0 is partly covered by column 1's texts.
  Surface expected(60, 60, clRed);
  expected.fillRect(0, 0, 39, 32);
  expected.drawText(0, 0, "1233");
  expected.drawText(0, 20, "1233");
  expected.drawText(20, 0, "1");
  expected.drawText(20, 20, "0");
  const Surface& preview = ws.Image8.surface();
  ASSERT_EQ(preview.width(), 60);
  EXPECT_EQ(preview.pixels(), expected.pixels());
  EXPECT_EQ(preview.read(39, 14), clRed);  // right of the filled rectangle
  EXPECT_EQ(preview.read(30, 33), clRed);  // below it
  EXPECT_EQ(ws.progress(), 0);
}

TEST(BuildMaps, GaugeFollowsEachListThenReturnsToZero) {
  Workspace ws;
  exampleSpritePlane(ws);
  setWorkingImage(ws.Image5, 48, 16);
  ws.Label23 = "3";
  setBitmap(ws.Image2, 32, 16);
  setWorkingImage(ws.Image6, 16, 16);
  ws.Label26 = "1000";  // far beyond the strip: the slots there read invalid, match nothing
  ws.setProgress(7);
  auto log = recordProgress(ws);

  const Maps maps = buildMaps(ws);

  std::vector<int> expected = {0, 16, 33, 50};
  for (int k = 1; k < 50; ++k) expected.push_back(50 + k);
  expected.push_back(0);
  EXPECT_EQ(*log, expected);
  EXPECT_EQ(maps.background.cells, (std::vector<std::int32_t>{0, 0}));
  EXPECT_EQ(maps.background.unmatched, 0);  // white cells equal the white slot 0
}

TEST(BuildMaps, EmptyCountsReportNoProgressAndMatchNothing) {
  Workspace ws;
  exampleSpritePlane(ws);
  setWorkingImage(ws.Image5, 48, 16);
  ws.Label23 = "0";
  ws.Label26 = "-4";
  ws.setProgress(7);
  auto log = recordProgress(ws);
  const Maps maps = buildMaps(ws);
  EXPECT_EQ(*log, (std::vector<int>{50, 0}));
  EXPECT_EQ(maps.sprite.cells, (std::vector<std::int32_t>{0, 0, 0, 0}));
  EXPECT_EQ(maps.sprite.unmatched, 4);
  EXPECT_EQ(maps.background.unmatched, static_cast<long long>(maps.background.cells.size()));
}

TEST(BuildMaps, ErrorsStopWhereTheCommandStands) {
  {
    SCOPED_TRACE("SpriteSize 0: nothing allocated, sized, drawn or reported");
    Workspace ws;
    exampleSpritePlane(ws);
    ws.SpriteSize = 0;
    auto log = recordProgress(ws);
    EXPECT_EQ(errorOf([&] { buildMaps(ws); }), "Division par zéro");
    EXPECT_FALSE(ws.Image8.hasSurface());
    EXPECT_EQ(ws.Image8.Width(), 113);
    EXPECT_TRUE(log->empty());
  }
  {
    SCOPED_TRACE("bad sprite counter: the sprite preview is prepared, nothing else");
    Workspace ws;
    exampleSpritePlane(ws);
    ws.Label23 = "N/A";
    auto log = recordProgress(ws);
    EXPECT_EQ(errorOf([&] { buildMaps(ws); }), "'N/A' n'est pas une valeur entière correcte");
    ASSERT_TRUE(ws.Image8.hasSurface());
    EXPECT_EQ(ws.Image8.surface().width(), 40);
    EXPECT_EQ(ws.Image8.readPixel(0, 0), clWhite);  // filled, no number yet
    EXPECT_EQ(ws.Image8.readPixel(2, 5), clWhite);
    EXPECT_FALSE(ws.Image9.hasSurface());
    EXPECT_EQ(ws.Image9.Width(), 113);
    EXPECT_TRUE(log->empty());
  }
  {
    SCOPED_TRACE("bad background counter: the sprite preview is drawn");
    Workspace ws;
    exampleSpritePlane(ws);
    setWorkingImage(ws.Image5, 16, 16);
    ws.Label23 = "1";
    ws.Label26 = "1O";
    auto log = recordProgress(ws);
    EXPECT_EQ(errorOf([&] { buildMaps(ws); }), "'1O' n'est pas une valeur entière correcte");
    Surface zero(6, 13);
    zero.drawText(0, 0, "0");
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(ws.Image8.readPixel(20 + x, y), zero.read(x, y));
    EXPECT_TRUE(ws.Image9.hasSurface());  // prepared at 105/16*20 = 120 square
    EXPECT_EQ(ws.Image9.Width(), 120);
    EXPECT_EQ(*log, (std::vector<int>{50}));
  }
  {
    SCOPED_TRACE("an icon where the plane should be: fails at the first comparison");
    Workspace ws;
    exampleSpritePlane(ws);
    Picture icon;
    icon.kind = PictureKind::Icon;
    icon.iconOrMetafileWidth = icon.iconOrMetafileHeight = 32;
    ws.Image1.setPicture(std::move(icon));
    ws.Label23 = "2";
    ws.setProgress(9);
    auto log = recordProgress(ws);
    EXPECT_EQ(errorOf([&] { buildMaps(ws); }), kBitmapOnly);
    EXPECT_EQ(*log, (std::vector<int>{0}));
    EXPECT_FALSE(ws.Image5.hasSurface());  // the list is read after the plane
  }
}

TEST(BuildMaps, PreviewsCanBeLeftUndrawnWithoutChangingTheMaps) {
  auto run = [](bool draw, std::vector<int>& progress) {
    Workspace ws;
    exampleSpritePlane(ws);
    Surface& list = setWorkingImage(ws.Image5, 64, 16);
    fillBlock(list, 16, 0, 16, kB);
    fillBlock(list, 48, 0, 16, kA);
    ws.Label23 = "4";
    setBitmap(ws.Image2, 48, 16, kB);
    setWorkingImage(ws.Image6, 16, 16);
    fillBlock(ws.Image6.surface(), 0, 0, 16, kB);
    ws.Label26 = "1";
    ws.setProgress(3);
    auto log = recordProgress(ws);
    MapOptions options;
    options.drawPreviews = draw;
    const Maps maps = buildMaps(ws, options);
    progress = *log;
    if (!draw) {
      EXPECT_FALSE(ws.Image8.hasSurface());
      EXPECT_FALSE(ws.Image9.hasSurface());
      EXPECT_EQ(ws.Image8.Width(), 113);
      EXPECT_EQ(ws.Image9.Height(), 113);
    }
    return maps;
  };
  std::vector<int> drawnProgress, undrawnProgress;
  const Maps drawn = run(true, drawnProgress);
  const Maps undrawn = run(false, undrawnProgress);
  EXPECT_EQ(drawn.sprite.cells, (std::vector<std::int32_t>{3, 1, 3, 0}));
  EXPECT_EQ(undrawn.sprite.cells, drawn.sprite.cells);
  EXPECT_EQ(undrawn.background.cells, (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_EQ(drawn.background.unmatched, 0);
  EXPECT_EQ(undrawnProgress, drawnProgress);
}

TEST(BuildMaps, LaterRunOnLargerPlanesGrowsThePreview) {
  Workspace ws;
  exampleSpritePlane(ws);
  setWorkingImage(ws.Image5, 16, 16);
  ws.Label23 = "1";
  ws.Label26 = "0";
  buildMaps(ws);
  ASSERT_EQ(ws.Image8.surface().width(), 40);
  ws.Image8.writePixel(39, 39, clRed);  // outside the next fill rectangle

  setBitmap(ws.Image1, 64, 33, clBlack);  // four columns of A
  buildMaps(ws);
  EXPECT_EQ(ws.Image8.Width(), 80);
  EXPECT_GE(ws.Image8.surface().width(), 80);
  Surface zero(6, 13);
  zero.drawText(0, 0, "0");
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(ws.Image8.readPixel(60 + x, 20 + y), zero.read(x, y));
  EXPECT_EQ(ws.Image8.readPixel(39, 39), clRed);
}

TEST(ProgressSteps, ShowWhatOneCallPerItemShows) {
  for (const int span : {50, 100})
    for (const int base : {0, 50})
      for (long long count = 0; count <= 700; count += count < 120 ? 1 : 37)
        for (const long long from : {0LL, 1LL, count / 3, count})
          for (const int start : {0, base, 7}) {
            Workspace each, steps;
            each.setProgress(start);
            steps.setProgress(start);
            auto eachLog = recordProgress(each);
            auto stepsLog = recordProgress(steps);
            for (long long i = from; i < count; ++i) each.setProgress(base + static_cast<int>(i * span / count));
            reportProgressSteps(steps, base, span, from, count);
            EXPECT_EQ(*stepsLog, *eachLog) << span << " " << base << " " << count << " " << from << " " << start;
            EXPECT_EQ(steps.progress(), each.progress());
          }
}
