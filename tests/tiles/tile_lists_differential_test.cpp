// The fast tile steps against the literal loops, on random workspaces and random sequences of
// steps: every pixel of every surface, sizes, counters, SpriteSize, gauge values and errors.
#include <gtest/gtest.h>

#include "passes/colour_passes.h"
#include "reference/literal_steps.h"
#include "reference/random_workspace.h"
#include "reference/step_runner.h"
#include "tiles/tile_lists.h"

using namespace tavrik;
using namespace tavrik::testing;

namespace {

struct Step {
  const char* name;
  void (*fast)(Workspace&);
  void (*literal)(Workspace&);
};
const Step kCreate{"createTileLists", createTileLists, literal::createTileLists};
const Step kOptimise{"optimiseTileLists", optimiseTileLists, literal::optimiseTileLists};
const Step kPasses[] = {
    {"cutOut", cutOut, literal::cutOut},
    {"greyLevels", greyLevels, literal::greyLevels},
    {"virtualMask", virtualMask, literal::virtualMask},
    {"overlayPreview", overlayPreview, literal::overlayPreview},
};

// Runs the step on both workspaces and checks that they still agree; returns the fast outcome.
StepOutcome runBoth(Workspace& fast, Workspace& lit, const Step& step, const std::string& context) {
  const StepOutcome a = runStep(fast, step.fast);
  const StepOutcome b = runStep(lit, step.literal);
  EXPECT_EQ(a.error, b.error) << step.name << " " << context;
  EXPECT_EQ(a.progress, b.progress) << step.name << " " << context;
  EXPECT_EQ(describeDifference(fast, lit), "") << step.name << " " << context;
  return a;
}

}  // namespace

TEST(TileListsMatchLiteral, SingleStepsOnRandomWorkspaces) {
  int reduced = 0, divisionErrors = 0, bitmapErrors = 0, slotsBeyondGrid = 0;
  for (int seed = 0; seed < 500; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) * 7919 + 1);
    RandomWorkspaceOptions options;
    options.iconChance = 0.05;
    options.historyChance = 0.5;
    Workspace base;
    randomWorkspace(base, rng, options);
    const std::string context = "seed " + std::to_string(seed);
    {
      Workspace fast, lit;
      copyWorkspace(base, fast);
      copyWorkspace(base, lit);
      if (runBoth(fast, lit, kCreate, context).error == kBitmapOnly) ++bitmapErrors;
    }
    {
      // Optimisation straight on the workspace, whatever its strips hold (SpriteSize may be 0).
      Workspace fast, lit;
      copyWorkspace(base, fast);
      copyWorkspace(base, lit);
      const int S = base.SpriteSize;
      if (S > 0 && base.Image5.surfaceIfAny() &&
          base.Image5.surfaceIfAny()->width() < (base.Image1.Width() / S) * (base.Image1.Height() / S) * S)
        ++slotsBeyondGrid;
      if (runBoth(fast, lit, kOptimise, context).error == "Division par zéro") ++divisionErrors;
    }
    {
      Workspace fast, lit;
      copyWorkspace(base, fast);
      copyWorkspace(base, lit);
      if (runBoth(fast, lit, kCreate, context).error.empty()) {
        const std::string before = fast.Label23 + "/" + fast.Label26;
        runBoth(fast, lit, kOptimise, context + " after lists");
        if (fast.Label23 + "/" + fast.Label26 != before) ++reduced;
      }
    }
    if (HasFailure()) return;
  }
  EXPECT_GT(reduced, 150);
  EXPECT_GT(divisionErrors, 20);
  EXPECT_GT(bitmapErrors, 5);
  EXPECT_GT(slotsBeyondGrid, 20);
}

TEST(TileListsMatchLiteral, RandomSequencesOfSteps) {
  for (int seed = 0; seed < 250; ++seed) {
    Rng plan(static_cast<std::uint64_t>(seed) + 100000);
    RandomWorkspaceOptions options;
    options.iconChance = 0.03;
    Workspace fast, lit;
    {
      Rng rng(plan());
      randomWorkspace(fast, rng, options);
      copyWorkspace(fast, lit);
    }
    const int steps = 3 + static_cast<int>(plan() % 6);
    std::string context = "seed " + std::to_string(seed) + ":";
    for (int s = 0; s < steps; ++s) {
      const unsigned r = plan() % 10;
      if (r < 3) {
        context += " lists";
        runBoth(fast, lit, kCreate, context);
      } else if (r < 6) {
        context += " optimise";
        runBoth(fast, lit, kOptimise, context);
      } else if (r < 8) {
        // New pictures, often larger than those the strips were made from.
        context += " reload";
        const std::uint64_t planeSeed = plan();
        options.maxPlaneSize = 40 + static_cast<int>(plan() % 60);
        Rng a(planeSeed), b(planeSeed);
        randomPlanes(fast, a, options);
        randomPlanes(lit, b, options);
      } else if (r < 9) {
        context += " size";
        fast.RadioButton1 = lit.RadioButton1 = plan() % 3 == 0;
        fast.RadioButton2 = lit.RadioButton2 = plan() % 2 == 0;
      } else {
        const Step& pass = kPasses[plan() % 4];
        context += std::string(" ") + pass.name;
        runBoth(fast, lit, pass, context);
      }
      if (HasFailure()) return;
    }
  }
}

TEST(TileListsMatchLiteral, ManyTilesWithFewPatterns) {
  // Enough tiles for the hashing to run in bands; few distinct tiles keep the literal search
  // short, since removed tiles are skipped.
  for (int seed = 0; seed < 3; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) + 555);
    Workspace fast, lit;
    const std::vector<Colour> palette = randomPalette(rng, 3);
    fast.Image1.setPicture(randomBitmap(rng, 512, 520, palette, 8));
    fast.Image2.setPicture(randomBitmap(rng, seed == 2 ? 300 : 512, 512, palette, 8));
    fast.RadioButton1 = true;
    copyWorkspace(fast, lit);
    runBoth(fast, lit, kCreate, "large " + std::to_string(seed));
    runBoth(fast, lit, kOptimise, "large " + std::to_string(seed));
    if (HasFailure()) return;
  }
}

TEST(TileListsMatchLiteral, DuplicatesCheckedAndMarkedInBands) {
  // 16-pixel tiles, enough duplicates for the check and the marking to run in several bands,
  // odd plane sizes so that the bands end between tile rows, and a background plane of another
  // size on one seed.
  for (int seed = 0; seed < 3; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) + 901);
    Workspace fast, lit;
    const std::vector<Colour> palette = randomPalette(rng, 4);
    fast.Image1.setPicture(randomBitmap(rng, 711 + seed, 653, palette, 16));
    fast.Image2.setPicture(randomBitmap(rng, seed == 1 ? 530 : 711 + seed, 653, palette, 16));
    copyWorkspace(fast, lit);
    runBoth(fast, lit, kCreate, "banded " + std::to_string(seed));
    const int tiles = (fast.Image1.Width() / 16) * (fast.Image1.Height() / 16);
    runBoth(fast, lit, kOptimise, "banded " + std::to_string(seed));
    EXPECT_GE(static_cast<long long>(tiles - std::stoi(fast.Label23)) * 256, 1 << 18) << "too few duplicates";
    if (HasFailure()) return;
  }
}

TEST(TileListsMatchLiteral, LargeScratchStripMadeAheadOrDropped) {
  // Lists of more than 2^20 pixels: the scratch strip is made while the search runs. With
  // survivors it must be the one the compaction would have created; with none (every corner
  // clFuchsia) none may appear.
  for (int seed = 0; seed < 2; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed) + 77);
    Workspace fast, lit;
    const std::vector<Colour> palette = seed == 0 ? randomPalette(rng, 3) : std::vector<Colour>{clFuchsia};
    fast.Image1.setPicture(randomBitmap(rng, 1030, 1045, palette, 16));
    fast.Image2.setPicture(randomBitmap(rng, 1030, 1045, palette, 16));
    copyWorkspace(fast, lit);
    runBoth(fast, lit, kCreate, "scratch " + std::to_string(seed));
    ASSERT_GE(static_cast<long long>(fast.Image5.Width()) * fast.Image5.Height(), 1LL << 20);
    runBoth(fast, lit, kOptimise, "scratch " + std::to_string(seed));
    EXPECT_EQ(fast.Image7.hasSurface(), seed == 0);
    if (HasFailure()) return;
  }
}
