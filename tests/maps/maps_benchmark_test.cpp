// Timing of the map command on a large scene. Disabled by default; run with
//   test_maps --gtest_also_run_disabled_tests --gtest_filter='MapsBenchmark*'
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

#include "maps/export_files.h"
#include "maps/maps_fixtures.h"

using namespace tavrik;
using namespace tavrik::maps_test;

namespace {

constexpr int kSize = 16;
constexpr int kScene = 8192;
constexpr int kCells = kScene / kSize;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A plane of bank tiles picked at random; the list holds each used tile once, in order of
// first appearance, and `expected` the index that each cell must get.
void scenePlane(std::mt19937& rng, const std::vector<std::vector<Colour>>& bank, ImageControl& plane,
                ImageControl& list, std::string& counter, std::vector<std::int32_t>& expected) {
  Surface& surface = setBitmap(plane, kScene, kScene);
  std::vector<int> listIndex(bank.size(), -1);
  std::vector<int> order;
  expected.assign(static_cast<size_t>(kCells) * kCells, -1);
  for (int r = 0; r < kCells; ++r)
    for (int c = 0; c < kCells; ++c) {
      const int b = static_cast<int>(rng() % bank.size());
      if (listIndex[static_cast<size_t>(b)] < 0) {
        listIndex[static_cast<size_t>(b)] = static_cast<int>(order.size());
        order.push_back(b);
      }
      expected[static_cast<size_t>(r) * kCells + c] = listIndex[static_cast<size_t>(b)];
      for (int y = 0; y < kSize; ++y)
        std::copy_n(bank[static_cast<size_t>(b)].begin() + y * kSize, kSize,
                    surface.row(r * kSize + y) + c * kSize);
    }
  Surface& strip = setWorkingImage(list, static_cast<int>(order.size()) * kSize, kSize);
  for (size_t i = 0; i < order.size(); ++i)
    for (int y = 0; y < kSize; ++y)
      std::copy_n(bank[static_cast<size_t>(order[i])].begin() + y * kSize, kSize,
                  strip.row(y) + static_cast<int>(i) * kSize);
  counter = std::to_string(order.size());
}

}  // namespace

TEST(MapsBenchmark, DISABLED_Scene8192WithAndWithoutPreviews) {
  std::mt19937 rng(2024);
  const Colour greys[4] = {clBlack, clGray, clSilver, clWhite};
  std::vector<std::vector<Colour>> bank(300, std::vector<Colour>(kSize * kSize));
  for (auto& tile : bank)
    for (Colour& c : tile) c = greys[rng() % 4];

  Workspace ws;
  ws.SpriteSize = kSize;
  std::vector<std::int32_t> spriteExpected, backgroundExpected;
  scenePlane(rng, bank, ws.Image1, ws.Image5, ws.Label23, spriteExpected);
  scenePlane(rng, bank, ws.Image2, ws.Image6, ws.Label26, backgroundExpected);
  TempDir dir;

  for (bool previews : {false, true}) {
    MapOptions options;
    options.drawPreviews = previews;
    auto start = std::chrono::steady_clock::now();
    const Maps maps = buildMaps(ws, options);
    const double build = secondsSince(start);
    start = std::chrono::steady_clock::now();
    exportFiles(ws, maps, dir.str());
    const double write = secondsSince(start);
    std::printf("8192 x 8192, S = 16, %s + %s distinct tiles, previews %s: buildMaps %.3f s, "
                "exportFiles %.3f s\n",
                ws.Label23.c_str(), ws.Label26.c_str(), previews ? "on" : "off", build, write);
    EXPECT_EQ(maps.sprite.cells, spriteExpected);
    EXPECT_EQ(maps.background.cells, backgroundExpected);
    EXPECT_EQ(maps.sprite.unmatched + maps.background.unmatched, 0);
  }
  EXPECT_EQ(ws.Image8.surface().width(), kCells * kPreviewCellSize);
}
