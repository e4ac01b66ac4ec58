// The band-by-band road against the window's steps on random workspaces of one plane size:
// the surviving tiles and their order, the counters, every map cell, the unmatched counts and the
// cut-out's columns, whatever the number of bands.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>

#include "base/error.h"
#include "maps/tile_maps.h"
#include "passes/colour_passes.h"
#include "passes/colour_rules.h"
#include "reference/random_workspace.h"
#include "tiles/lean_road.h"
#include "tiles/tile_lists.h"

using namespace tavrik;
using namespace tavrik::testing;

namespace {

// Rows of a surface; counts the rows it hands out. A sequential one checks that they are asked
// for in order.
class SurfaceRows final : public PlaneRows {
 public:
  SurfaceRows(const Surface& surface, std::atomic<int>* rowsRead, bool sequential)
      : surface_(surface), rowsRead_(rowsRead), sequential_(sequential) {}
  int width() const override { return surface_.width(); }
  int height() const override { return surface_.height(); }
  void read(int y, int count, Colour* out, std::size_t stride) override {
    EXPECT_GE(y, 0);
    EXPECT_LE(y + count, surface_.height());
    if (sequential_) {
      EXPECT_EQ(y, next_);
    }
    next_ = y + count;
    for (int k = 0; k < count; ++k)
      std::copy_n(surface_.row(y + k), surface_.width(), out + static_cast<size_t>(k) * stride);
    if (rowsRead_) *rowsRead_ += count;
  }
  bool sequential() const override { return sequential_; }

 private:
  const Surface& surface_;
  std::atomic<int>* rowsRead_;  // shared by the readers of every band thread
  bool sequential_;
  int next_ = 0;
};

PlaneRowsOpener rowsOf(const Surface& surface, std::atomic<int>* rowsRead = nullptr, bool sequential = false) {
  return [&surface, rowsRead, sequential] { return std::make_unique<SurfaceRows>(surface, rowsRead, sequential); };
}

struct Passes {
  bool cutOut, grey, mask;
};

// Banks as a file gives them: cells of the worked planes (some mirrored), random tiles and
// repeats, in the four greys only.
struct Banks {
  std::vector<Colour> sprite, background;
};

std::vector<Colour> greyBank(Rng& rng, const ImageControl& plane, int S) {
  std::vector<Colour> bank = randomBank(rng, plane, S, static_cast<int>(rng() % 12));
  const GreyRule grey{100, 170, 300};
  for (Colour& c : bank)
    if (c != clBlack && c != clGray && c != clSilver && c != clWhite) c = c == clFuchsia ? clWhite : grey(c);
  return bank;
}

// The window's steps on `ws`, with banks drawn from the worked planes when `banks` is given;
// returns the gauge values of the cut-out.
std::vector<int> windowRoad(Workspace& ws, const Passes& passes, int tileSize, bool flips,
                            OptimiseReport& report, Rng& rng, Banks* banks) {
  std::vector<int> cutOutProgress;
  if (passes.cutOut) {
    recordProgress(ws, cutOutProgress);
    cutOut(ws);
    ws.setProgressSink(nullptr);
  }
  if (passes.grey) greyLevels(ws);
  if (passes.mask) virtualMask(ws);
  ws.RadioButton1 = tileSize == 8;
  ws.RadioButton2 = tileSize == 16;
  TileSetOptions tileSet;
  tileSet.flips = flips;
  if (banks) {
    banks->sprite = greyBank(rng, ws.Image1, tileSize);
    banks->background = greyBank(rng, ws.Image2, tileSize);
    tileSet.spriteBank = banks->sprite;
    tileSet.backgroundBank = banks->background;
  }
  createTileLists(ws, tileSet);
  report = optimiseTileLists(ws, tileSet);
  return cutOutProgress;
}

// The gauge values that the cut-out's changed columns give, starting from `start`.
std::vector<int> columnProgress(const std::vector<std::uint8_t>& columns, int start) {
  std::vector<int> values;
  int shown = start;
  const int W = static_cast<int>(columns.size());
  auto set = [&](int v) {
    if (v != shown) values.push_back(shown = v);
  };
  for (int x = 0; x < W; ++x)
    if (columns[static_cast<size_t>(x)]) set(static_cast<int>(100LL * x / W));
  set(0);
  return values;
}

// Compares the lean result with the window's workspace after its steps and maps.
void expectSameAsWindow(const LeanResult& lean, Workspace& ws, const Maps& maps, int S,
                        const std::string& context) {
  ASSERT_EQ(std::to_string(lean.sprite.count()), ws.Label23) << context;
  ASSERT_EQ(std::to_string(lean.background.count()), ws.Label26) << context;
  const LeanList* lists[] = {&lean.sprite, &lean.background};
  ImageControl* strips[] = {&ws.Image5, &ws.Image6};
  for (int which = 0; which < 2; ++which) {
    const LeanList& list = *lists[which];
    const Surface* strip = strips[which]->surfaceIfAny();
    ASSERT_EQ(list.tileSize, S);
    ASSERT_EQ(list.pixels.size(), static_cast<size_t>(list.count()) * S * S) << context;
    for (int t = 0; t < list.count(); ++t)
      for (int y = 0; y < S; ++y)
        for (int x = 0; x < S; ++x)
          ASSERT_EQ(list.pixels[(static_cast<size_t>(t) * S + y) * S + x], strip->read(t * S + x, y))
              << context << " list " << which << " tile " << t << " (" << x << ", " << y << ")";
    // Slots rise: first occurrences in reading order.
    EXPECT_TRUE(std::is_sorted(list.slots.begin(), list.slots.end())) << context;
  }
  const TileMap* got[] = {&lean.maps.sprite, &lean.maps.background};
  const TileMap* want[] = {&maps.sprite, &maps.background};
  for (int which = 0; which < 2; ++which) {
    EXPECT_EQ(got[which]->columns, want[which]->columns) << context;
    EXPECT_EQ(got[which]->rows, want[which]->rows) << context;
    EXPECT_EQ(got[which]->cells, want[which]->cells) << context << " map " << which;
    EXPECT_EQ(got[which]->unmatched, want[which]->unmatched) << context << " map " << which;
    EXPECT_EQ(got[which]->unmatchedCells, want[which]->unmatchedCells) << context << " map " << which;
    EXPECT_EQ(got[which]->flips, want[which]->flips) << context << " map " << which;
  }
}

}  // namespace

TEST(LeanRoad, SameResultsAsTheWindowsStepsOnRandomPlanes) {
  int withTiles = 0, withUnmatched = 0, severalBands = 0, duplicates = 0, inOrder = 0, mirrorSaved = 0, banked = 0;
  for (int seed = 0; seed < 600; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 104729 + 17);
    RandomWorkspaceOptions options;
    options.sameSizeChance = 1;
    options.iconChance = 0;
    options.minPlaneSize = 1;
    options.maxPlaneSize = seed % 10 == 0 ? 200 : 90;
    Workspace ws;
    randomPlanes(ws, rng, options);
    const Passes passes{rng() % 4 != 0, rng() % 4 != 0, rng() % 3 != 0};
    const int S = rng() % 3 == 0 ? 8 : 16;
    LeanSettings settings;
    settings.tileSize = S;
    settings.cutOut = passes.cutOut;
    settings.grey = passes.grey;
    settings.mask = passes.mask;
    for (int& t : settings.thresholds) t = static_cast<int>(rng() % 800);
    ws.CSpinEdit1 = settings.thresholds[0];
    ws.CSpinEdit2 = settings.thresholds[1];
    ws.CSpinEdit3 = settings.thresholds[2];
    settings.bands = static_cast<int>(rng() % 5);  // 0: automatic
    // Mirrored tiles: half the time, on planes where a share of the cells are mirrored copies.
    settings.flips = rng() % 2 == 0;
    if (settings.flips || rng() % 4 == 0) {
      mirrorSomeCells(ws.Image1, S, rng);
      mirrorSomeCells(ws.Image2, S, rng);
    }

    // The lean road reads the planes as loaded.
    const Surface sprite = *ws.Image1.surfaceIfAny();
    const Surface background = *ws.Image2.surfaceIfAny();
    const Surface full = *ws.Image3.surfaceIfAny();
    // Now and then a picture whose rows come in order only (read ahead, to its end).
    const bool sequential[3] = {rng() % 4 == 0, rng() % 4 == 0, rng() % 4 == 0};
    // A third of the runs with banks ahead of the planes' tiles.
    const bool withBanks = rng() % 3 == 0;
    Banks banks;
    const std::string context = "seed " + std::to_string(seed) + (withBanks ? " with banks" : "");
    OptimiseReport report;
    const std::vector<int> cutOutProgress =
        windowRoad(ws, passes, S, settings.flips, report, rng, withBanks ? &banks : nullptr);
    settings.spriteBank = banks.sprite;
    settings.backgroundBank = banks.background;
    banked += !banks.sprite.empty() && !banks.background.empty();

    std::atomic<int> rows[3] = {0, 0, 0};
    const LeanResult lean = runLeanRoad(rowsOf(sprite, &rows[0], sequential[0]),
                                        rowsOf(background, &rows[1], sequential[1]),
                                        rowsOf(full, &rows[2], sequential[2]), settings);
    const int fullRows = rows[2];
    MapOptions mapOptions;
    mapOptions.drawPreviews = false;
    if (settings.flips) mapOptions.flips = FlipBits{};
    const Maps maps = buildMaps(ws, mapOptions);
    expectSameAsWindow(lean, ws, maps, S, context);
    EXPECT_EQ(lean.sprite.savedByMirroring, report.spriteSavedByMirroring) << context;
    EXPECT_EQ(lean.background.savedByMirroring, report.backgroundSavedByMirroring) << context;
    mirrorSaved += report.spriteSavedByMirroring + report.backgroundSavedByMirroring > 0;

    ASSERT_EQ(lean.width, sprite.width());
    ASSERT_EQ(lean.height, sprite.height());
    if (passes.cutOut) {
      EXPECT_EQ(columnProgress(lean.cutOutColumns, 0), cutOutProgress) << context;
    }
    // The full plane's rows are read for the cut-out; every row of a picture read in order.
    EXPECT_EQ(fullRows, passes.cutOut || sequential[2] ? sprite.height() : 0) << context;
    for (int p = 0; p < 2; ++p)
      if (sequential[p]) {
        EXPECT_EQ(rows[p], sprite.height()) << context << " plane " << p;
      }
    inOrder += sequential[0] || sequential[1] || sequential[2];
    const int cells = static_cast<int>(lean.maps.sprite.cells.size());
    withTiles += lean.sprite.count() > 0;
    withUnmatched += lean.maps.sprite.unmatched > 0;
    duplicates += lean.sprite.count() < cells;
    severalBands += settings.bands > 1 && lean.maps.sprite.rows > 1 &&
                    !(sequential[0] || sequential[1] || sequential[2]);
  }
  // The random planes reach every case.
  EXPECT_GT(withTiles, 300);
  EXPECT_GT(withUnmatched, 50);
  EXPECT_GT(duplicates, 200);
  EXPECT_GT(severalBands, 70);
  EXPECT_GT(inOrder, 150);
  EXPECT_GT(mirrorSaved, 100);
  EXPECT_GT(banked, 120);
}

TEST(LeanRoad, BandsSplittingDuplicatesAgreeWithOneBand) {
  // Identical tile rows in every band: the later bands find only tiles that earlier bands hold.
  Surface plane(64, 96);
  for (int y = 0; y < plane.height(); ++y)
    for (int x = 0; x < plane.width(); ++x) {
      const int yy = y % 32;
      plane.row(y)[x] = ((x / 16 + yy / 16) % 3 == 0) ? clBlack : ((x * 7 + yy) % 5 == 0 ? clGray : clWhite);
    }
  LeanSettings settings;
  settings.cutOut = settings.grey = settings.mask = false;
  settings.bands = 1;
  const LeanResult one = runLeanRoad(rowsOf(plane), rowsOf(plane), rowsOf(plane), settings);
  settings.bands = 6;
  const LeanResult six = runLeanRoad(rowsOf(plane), rowsOf(plane), rowsOf(plane), settings);
  EXPECT_EQ(one.sprite.pixels, six.sprite.pixels);
  EXPECT_EQ(one.sprite.slots, six.sprite.slots);
  EXPECT_EQ(one.maps.sprite.cells, six.maps.sprite.cells);
  // Two tile rows repeat: the first two rows hold every distinct tile.
  ASSERT_GT(one.sprite.count(), 0);
  EXPECT_LT(one.sprite.slots.back(), 2 * 4);
  EXPECT_EQ(one.maps.sprite.cells[16], one.maps.sprite.cells[0]);
}

TEST(LeanRoad, ReadErrorsOfAnyBandReachTheCaller) {
  // Rows from 48 on cannot be read; in bands, or in order on a thread of its own.
  class Failing final : public PlaneRows {
   public:
    explicit Failing(bool sequential) : sequential_(sequential) {}
    int width() const override { return 32; }
    int height() const override { return 64; }
    void read(int y, int count, Colour* out, std::size_t) override {
      if (y >= 48) throw Error("Erreur de lecture du flux");
      std::fill_n(out, 32 * count, clWhite);
    }
    bool sequential() const override { return sequential_; }

   private:
    bool sequential_;
  };
  const Surface plane(32, 64);
  for (const bool sequential : {false, true}) {
    for (int failing = 0; failing < 3; ++failing) {
      LeanSettings settings;
      settings.bands = 4;
      const PlaneRowsOpener fails = [sequential] { return std::make_unique<Failing>(sequential); };
      try {
        runLeanRoad(failing == 0 ? fails : rowsOf(plane), failing == 1 ? fails : rowsOf(plane),
                    failing == 2 ? fails : rowsOf(plane), settings);
        ADD_FAILURE() << "no error, plane " << failing << (sequential ? " in order" : "");
      } catch (const Error& e) {
        EXPECT_EQ(e.message(), "Erreur de lecture du flux");
      }
    }
  }
}

// A tall, narrow picture read in order goes over from its reading thread in several blocks of
// many bands (and a last band of one row): the same lists, maps and cut-out columns as bands read
// where they lie. The progress told grows to 100 %.
TEST(LeanRoad, ATallNarrowPictureReadInOrderGivesWhatBandsGive) {
  const int W = 24, H = 16 * 5000 + 1;
  Surface sprite(W, H), background(W, H), full(W, H);
  std::mt19937 random(9);
  const Colour colours[] = {clWhite, clBlack, clGray, clSilver};
  // Rows of tiles from 37 random patterns, so that the lists stay short and the maps vary.
  std::vector<Colour> patterns(37 * 16 * W);
  for (Colour& c : patterns) c = colours[random() % 4];
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::size_t at = ((static_cast<std::size_t>(y / 16) * 7 % 37) * 16 + y % 16) * W + x;
      background.write(x, y, patterns[at]);
      full.write(x, y, patterns[(at + 5 * W) % patterns.size()]);
      sprite.write(x, y, random() % 50 == 0 ? clFuchsia : full.read(x, y));
    }
  LeanSettings settings;
  settings.bands = 1;
  std::vector<int> told;
  settings.progress = [&told](int percent) { told.push_back(percent); };
  const LeanResult inOrder = runLeanRoad(rowsOf(sprite, nullptr, true), rowsOf(background, nullptr, true),
                                         rowsOf(full, nullptr, true), settings);
  settings.progress = nullptr;
  const LeanResult inBands = runLeanRoad(rowsOf(sprite), rowsOf(background), rowsOf(full), settings);
  EXPECT_EQ(inOrder.sprite.pixels, inBands.sprite.pixels);
  EXPECT_EQ(inOrder.sprite.slots, inBands.sprite.slots);
  EXPECT_EQ(inOrder.background.pixels, inBands.background.pixels);
  EXPECT_EQ(inOrder.background.slots, inBands.background.slots);
  EXPECT_EQ(inOrder.maps.sprite.cells, inBands.maps.sprite.cells);
  EXPECT_EQ(inOrder.maps.background.cells, inBands.maps.background.cells);
  EXPECT_EQ(inOrder.cutOutColumns, inBands.cutOutColumns);
  EXPECT_GT(inOrder.background.count(), 10);
  ASSERT_FALSE(told.empty());
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()) && std::adjacent_find(told.begin(), told.end()) == told.end());
  EXPECT_EQ(told.back(), 100);
}

TEST(LeanRoad, RemovedCellsMirroredFromOneAnotherKeepTheirOwnOrientation) {
  // Tile T has clFuchsia in its top-right and bottom-right pixels, so T mirrored left-right and
  // T mirrored both ways have it top-left: both cells are removed, and both equal T mirrored.
  const int S = 8;
  Surface plane(3 * S, S, clWhite);
  Surface tile(S, S, clWhite);
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) tile.row(y)[x] = (x * 3 + y * 5) % 7 < 3 ? clBlack : (x + 2 * y) % 4 == 0 ? clGray : clSilver;
  tile.row(0)[S - 1] = tile.row(S - 1)[S - 1] = clFuchsia;
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x) {
      plane.row(y)[x] = tile.row(y)[x];
      plane.row(y)[S + x] = tile.row(y)[S - 1 - x];
      plane.row(y)[2 * S + x] = tile.row(S - 1 - y)[S - 1 - x];
    }
  LeanSettings settings;
  settings.tileSize = S;
  settings.cutOut = settings.grey = settings.mask = false;
  settings.flips = true;
  const LeanResult lean = runLeanRoad(rowsOf(plane), rowsOf(plane), rowsOf(plane), settings);
  EXPECT_EQ(lean.sprite.count(), 1);
  EXPECT_EQ(lean.maps.sprite.cells, (std::vector<std::int32_t>{0, 0, 0}));
  EXPECT_EQ(lean.maps.sprite.flips, (std::vector<Flip>{Flip::None, Flip::Horizontal, Flip::Both}));
  EXPECT_EQ(lean.maps.sprite.unmatched, 0);
}
