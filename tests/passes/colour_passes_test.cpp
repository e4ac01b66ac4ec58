#include "passes/colour_passes.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/error.h"
#include "reference/literal_steps.h"
#include "reference/random_workspace.h"
#include "reference/step_runner.h"

using namespace tavrik;
using namespace tavrik::testing;

namespace {

Picture filled(int w, int h, Colour c) { return Picture::bitmap(Surface(w, h, c)); }

struct Pass {
  const char* name;
  void (*fast)(Workspace&);
  void (*literal)(Workspace&);
};
const Pass kPasses[] = {
    {"cutOut", cutOut, literal::cutOut},
    {"greyLevels", greyLevels, literal::greyLevels},
    {"virtualMask", virtualMask, literal::virtualMask},
    {"overlayPreview", overlayPreview, literal::overlayPreview},
};

// Runs the fast and the literal pass on copies of `base`; returns the fast pass's outcome.
StepOutcome expectSameAsLiteral(const Workspace& base, const Pass& pass, Workspace& fast, Workspace& lit,
                         const std::string& context) {
  copyWorkspace(base, fast);
  copyWorkspace(base, lit);
  const StepOutcome a = runStep(fast, pass.fast);
  const StepOutcome b = runStep(lit, pass.literal);
  EXPECT_EQ(a.error, b.error) << pass.name << " " << context;
  EXPECT_EQ(a.progress, b.progress) << pass.name << " " << context;
  EXPECT_EQ(describeDifference(fast, lit), "") << pass.name << " " << context;
  return a;
}

}  // namespace

TEST(GreyLevels, DefaultThresholdsGiveTheDocumentedLevels) {
  Workspace ws;
  ws.Image1.setPicture(filled(6, 1, clWhite));
  ws.Image2.setPicture(filled(6, 1, clFuchsia));
  const Colour in[] = {rgb(99, 99, 99), rgb(100, 100, 100), rgb(33, 33, 33), rgb(34, 34, 34),
                       clFuchsia, rgb(255, 255, 254)};
  const Colour out[] = {clSilver, clWhite, clBlack, clGray, clFuchsia, clWhite};
  for (int x = 0; x < 6; ++x) ws.Image1.surface().write(x, 0, in[x]);
  greyLevels(ws);
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(ws.Image1.readPixel(x, 0), out[x]) << x;
    // A fuchsia background pixel has brightness 510 and is reduced like any other.
    EXPECT_EQ(ws.Image2.readPixel(x, 0), clWhite) << x;
  }
}

TEST(GreyLevels, LastThresholdTestThatHoldsDecides) {
  Workspace ws;
  ws.Image1.setPicture(filled(3, 1, clBlack));
  ws.Image1.surface().write(1, 0, rgb(100, 100, 100));  // 300
  ws.Image1.surface().write(2, 0, clWhite);            // 765
  ws.CSpinEdit1 = 500;  // s < 500 holds for 0 and 300
  ws.CSpinEdit2 = 200;  // s >= 200 and s < 1000 holds for 300 and 765
  ws.CSpinEdit3 = 1000; // never holds
  greyLevels(ws);
  EXPECT_EQ(ws.Image1.readPixel(0, 0), clBlack);
  EXPECT_EQ(ws.Image1.readPixel(1, 0), clSilver);
  EXPECT_EQ(ws.Image1.readPixel(2, 0), clSilver);
}

TEST(CutOut, IdenticalPlanesChangeNothingAndNarrowFullPlaneCutsTheRest) {
  Workspace ws;
  ws.Image1.setPicture(filled(10, 4, clGray));
  ws.Image3.setPicture(filled(10, 4, clGray));
  ws.setProgress(0);
  std::vector<int> seen;
  recordProgress(ws, seen);
  cutOut(ws);
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(ws.Image1.readPixel(9, 3), clGray);

  ws.Image3.setPicture(filled(6, 4, clGray));
  cutOut(ws);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(ws.Image1.readPixel(x, 2), x < 6 ? clGray : clFuchsia);
  EXPECT_EQ(seen, (std::vector<int>{60, 70, 80, 90, 0}));
}

TEST(VirtualMask, ShiftsOneStepAndLeavesOtherColours) {
  Workspace ws;
  ws.Image1.setPicture(filled(6, 1, clBlack));
  const Colour in[] = {clFuchsia, clWhite, clSilver, clGray, clBlack, 0x123456};
  const Colour out[] = {clWhite, clSilver, clGray, clBlack, clBlack, 0x123456};
  for (int x = 0; x < 6; ++x) ws.Image1.surface().write(x, 0, in[x]);
  virtualMask(ws);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(ws.Image1.readPixel(x, 0), out[x]) << x;
}

TEST(OverlayPreview, NarrowBackgroundLeavesBlackWhereNoSpriteCovers) {
  Workspace ws;
  ws.Image1.setPicture(filled(8, 2, clWhite));
  ws.Image1.surface().write(7, 0, clGray);
  ws.Image2.setPicture(filled(5, 2, clSilver));
  ws.Image3.setPicture(filled(8, 2, 0x123456));
  overlayPreview(ws);
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(ws.Image3.readPixel(x, 1), x < 5 ? clSilver : clBlack) << x;
    EXPECT_EQ(ws.Image3.readPixel(x, 0), x == 7 ? clGray : x < 5 ? clSilver : clBlack) << x;
  }
}

TEST(ColourPasses, IconPlaneFailsAtFirstAccessAfterTheFirstPixelsEffects) {
  Workspace ws;
  ws.Image1.setPicture(filled(4, 4, rgb(10, 10, 10)));
  ws.Image2.setPicture(iconPicture());
  ws.Image3.setPicture(filled(4, 4, clGray));
  ws.setProgress(37);
  try {
    greyLevels(ws);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), kBitmapOnly);
  }
  // Only the sprite plane's first pixel was reduced; the gauge stayed.
  EXPECT_EQ(ws.Image1.readPixel(0, 0), clBlack);
  EXPECT_EQ(ws.Image1.readPixel(0, 1), rgb(10, 10, 10));
  EXPECT_EQ(ws.progress(), 37);

  ws.Image2.setPicture(filled(4, 4, clSilver));
  ws.Image1.setPicture(iconPicture());
  EXPECT_THROW(overlayPreview(ws), Error);
  EXPECT_EQ(ws.Image3.readPixel(0, 0), clSilver);
  EXPECT_EQ(ws.Image3.readPixel(1, 0), clGray);
  EXPECT_EQ(ws.progress(), 37);
}

TEST(ColourPasses, MatchLiteralLoopsOnRandomWorkspaces) {
  int errors = 0, changed = 0;
  for (int seed = 0; seed < 400; ++seed) {
    Rng rng(static_cast<std::uint64_t>(seed));
    Workspace base;
    RandomWorkspaceOptions options;
    options.iconChance = 0.06;
    randomWorkspace(base, rng, options);
    if (seed % 9 == 0) base.Image1.SetWidth(base.Image1.Width() + 7);  // frame wider than grid
    for (const Pass& pass : kPasses) {
      Workspace fast, lit;
      const StepOutcome outcome =
          expectSameAsLiteral(base, pass, fast, lit, "seed " + std::to_string(seed));
      if (HasFailure()) return;
      if (!describeDifference(base, fast).empty()) ++changed;
      if (!outcome.error.empty()) ++errors;
    }
  }
  // The random cases must reach both the failure and the working paths.
  EXPECT_GT(errors, 10);
  EXPECT_GT(changed, 1000);
}

TEST(ColourPasses, MatchLiteralLoopsInSequenceAndOnLargePlanes) {
  // Large enough to be split into bands.
  for (int seed = 0; seed < 6; ++seed) {
    Rng rng(1000 + static_cast<std::uint64_t>(seed));
    RandomWorkspaceOptions options;
    options.minPlaneSize = seed < 3 ? 0 : 530;
    options.maxPlaneSize = seed < 3 ? 90 : 700;
    options.iconChance = 0;
    Workspace fast, lit;
    randomWorkspace(fast, rng, options);
    copyWorkspace(fast, lit);
    for (const Pass& pass : {kPasses[0], kPasses[1], kPasses[2], kPasses[3], kPasses[2]}) {
      const StepOutcome a = runStep(fast, pass.fast);
      const StepOutcome b = runStep(lit, pass.literal);
      ASSERT_EQ(a.error, b.error) << pass.name << " seed " << seed;
      ASSERT_EQ(a.progress, b.progress) << pass.name << " seed " << seed;
      ASSERT_EQ(describeDifference(fast, lit), "") << pass.name << " seed " << seed;
    }
  }
}
