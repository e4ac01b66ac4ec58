// The tile steps with mirrored tiles and a bank against the literal loops, on random workspaces
// whose planes hold many mirrored cells: every pixel, size, counter, gauge value, error and the
// counts of tiles saved by mirroring.
#include <gtest/gtest.h>

#include "reference/literal_steps.h"
#include "reference/random_workspace.h"
#include "reference/step_runner.h"
#include "tiles/tile_lists.h"
#include "tiles/tile_strip.h"

using namespace tavrik;
using namespace tavrik::testing;

namespace {

int tileSizeChosen(const Workspace& ws) { return ws.RadioButton1 ? 8 : ws.RadioButton2 ? 16 : 32; }

// Runs a step on both workspaces, each with its own version, and checks that they still agree.
template <class Fast, class Literal>
StepOutcome runBoth(Workspace& fast, Workspace& lit, const Fast& fastStep, const Literal& literalStep,
                    const std::string& context) {
  const StepOutcome a = runStep(fast, fastStep);
  const StepOutcome b = runStep(lit, literalStep);
  EXPECT_EQ(a.error, b.error) << context;
  EXPECT_EQ(a.progress, b.progress) << context;
  EXPECT_EQ(describeDifference(fast, lit), "") << context;
  return a;
}

struct Counts {
  int savedByMirroring = 0;  // runs where mirroring removed a tile
  int bankAbsorbed = 0;      // runs where a plane tile went into the bank's copy
  int compared = 0;
};

// List creation, then optimisation, fast and literal, with the same options.
void compareRoad(const Workspace& base, const TileSetOptions& options, const std::string& context,
                 Counts& counts) {
  Workspace fast, lit;
  copyWorkspace(base, fast);
  copyWorkspace(base, lit);
  const StepOutcome a = runBoth(
      fast, lit, [&](Workspace& ws) { createTileLists(ws, options); },
      [&](Workspace& ws) { literal::createTileLists(ws, options); }, "lists " + context);
  if (!a.error.empty() || ::testing::Test::HasFailure()) return;
  const int created = std::stoi(fast.Label23) + std::stoi(fast.Label26);

  OptimiseReport fastReport, litReport;
  runBoth(
      fast, lit, [&](Workspace& ws) { fastReport = optimiseTileLists(ws, options); },
      [&](Workspace& ws) { litReport = literal::optimiseTileLists(ws, options); }, "optimise " + context);
  EXPECT_EQ(fastReport.spriteSavedByMirroring, litReport.spriteSavedByMirroring) << context;
  EXPECT_EQ(fastReport.backgroundSavedByMirroring, litReport.backgroundSavedByMirroring) << context;
  if (!options.flips) {
    EXPECT_EQ(fastReport.spriteSavedByMirroring + fastReport.backgroundSavedByMirroring, 0);
  }
  ++counts.compared;
  if (fastReport.spriteSavedByMirroring + fastReport.backgroundSavedByMirroring > 0) ++counts.savedByMirroring;
  const int S = fast.SpriteSize;
  const int banks = bankTileCount(options.spriteBank, S) + bankTileCount(options.backgroundBank, S);
  if (banks > 0 && std::stoi(fast.Label23) + std::stoi(fast.Label26) < created) ++counts.bankAbsorbed;
}

}  // namespace

TEST(TileSetMatchLiteral, MirroredSearchAndBanksOnRandomWorkspaces) {
  Counts counts;
  for (int seed = 0; seed < 400; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 104729 + 3);
    RandomWorkspaceOptions options;
    options.maxPlaneSize = 64;
    Workspace base;
    randomWorkspace(base, rng, options);
    const int S = tileSizeChosen(base);
    mirrorSomeCells(base.Image1, S, rng);
    mirrorSomeCells(base.Image2, S, rng);

    const bool withBank = seed % 3 != 0;
    const std::vector<Colour> spriteBank =
        withBank ? randomBank(rng, base.Image1, S, static_cast<int>(rng() % 6)) : std::vector<Colour>{};
    const std::vector<Colour> backgroundBank =
        withBank ? randomBank(rng, base.Image2, S, static_cast<int>(rng() % 6)) : std::vector<Colour>{};
    TileSetOptions tileSet;
    tileSet.flips = seed % 4 != 3;
    tileSet.spriteBank = spriteBank;
    tileSet.backgroundBank = backgroundBank;
    compareRoad(base, tileSet, "seed " + std::to_string(seed), counts);
    if (HasFailure()) return;

    // Optimisation straight on whatever the strips hold (earlier runs, SpriteSize 0).
    Workspace fast, lit;
    copyWorkspace(base, fast);
    copyWorkspace(base, lit);
    runBoth(
        fast, lit, [&](Workspace& ws) { optimiseTileLists(ws, tileSet); },
        [&](Workspace& ws) { literal::optimiseTileLists(ws, tileSet); }, "seed " + std::to_string(seed));
    if (HasFailure()) return;
  }
  // The generator reaches the cases that matter.
  EXPECT_GT(counts.compared, 250);
  EXPECT_GT(counts.savedByMirroring, 60);
  EXPECT_GT(counts.bankAbsorbed, 80);
}

TEST(TileSetMatchLiteral, ManyMirroredTilesInBands) {
  // Enough tiles for the hashing and the checks to run in bands on several threads.
  Counts counts;
  for (int seed = 0; seed < 3; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) + 4242);
    Workspace base;
    const std::vector<Colour> palette = randomPalette(rng, 4);
    base.Image1.setPicture(randomBitmap(rng, 640 + seed * 9, 520, palette, 16));
    base.Image2.setPicture(randomBitmap(rng, 640 + seed * 9, 520, palette, 16));
    mirrorSomeCells(base.Image1, 16, rng, 0.8);
    mirrorSomeCells(base.Image2, 16, rng, 0.8);
    const std::vector<Colour> bank = randomBank(rng, base.Image2, 16, 20);
    TileSetOptions tileSet;
    tileSet.flips = true;
    tileSet.backgroundBank = bank;
    compareRoad(base, tileSet, "banded " + std::to_string(seed), counts);
    if (HasFailure()) return;
  }
  EXPECT_EQ(counts.compared, 3);
  EXPECT_GE(counts.savedByMirroring, 2);
}

TEST(TileSetMatchLiteral, ExactSearchMarksWhatComparingEveryPairMarks) {
  // The search that the optimisation falls back on, should two contents ever share a hash,
  // against comparing each slot with every earlier unmarked one, on the list strips of random
  // workspaces (slots past the strip read the invalid colour), with and without mirroring.
  int withMarks = 0, mirroredOnly = 0;
  for (int seed = 0; seed < 150; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 7919 + 1);
    RandomWorkspaceOptions options;
    options.maxPlaneSize = 64;
    options.iconChance = 0;
    Workspace ws;
    randomWorkspace(ws, rng, options);
    const int S = tileSizeChosen(ws);
    mirrorSomeCells(ws.Image1, S, rng);
    createTileLists(ws);
    const Surface* strip = ws.Image5.surfaceIfAny();
    if (!strip) continue;
    std::vector<int> slots;
    for (int t = 0; t < strip->width() / S + 2; ++t)
      if (!slotCornerInside(*strip, S, t) || strip->row(0)[static_cast<size_t>(t) * S] != clFuchsia) slots.push_back(t);
    const int bankSlots = static_cast<int>(rng() % 3);
    std::vector<Colour> a(static_cast<size_t>(S)), b(static_cast<size_t>(S));
    size_t markedAsTheyStand = 0;
    for (const bool flips : {false, true}) {
      std::vector<int> kept, want;
      for (const int t : slots) {
        bool duplicate = false;
        for (const int u : kept)
          for (const Flip f : kFlips)
            duplicate = duplicate || ((flips || f == Flip::None) && slotEqualsMirrored(*strip, S, t, u, f, a.data(), b.data()));
        if (!duplicate) kept.push_back(t);
        else if (t >= bankSlots) want.push_back(t);
      }
      EXPECT_EQ(markedByExactSearch(*strip, S, slots, flips, bankSlots), want) << "seed " << seed << " flips " << flips;
      withMarks += !want.empty();
      if (flips) mirroredOnly += want.size() > markedAsTheyStand;
      else markedAsTheyStand = want.size();
    }
  }
  EXPECT_GT(withMarks, 100);
  EXPECT_GT(mirroredOnly, 20);
}
