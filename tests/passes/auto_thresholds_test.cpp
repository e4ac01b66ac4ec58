// Thresholds chosen from a brightness histogram: the split with the largest variance between the
// four classes, each threshold in the middle of the empty brightnesses around it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "imaging/surface.h"
#include "passes/auto_thresholds.h"

namespace tavrik {
namespace {

// Sum over the four classes of (brightness sum)² / pixels: what the split maximises.
double criterion(const BrightnessHistogram& h, const std::array<int, 3>& t) {
  const int bounds[5] = {0, t[0], t[1], t[2], kBrightnessLevels};
  double total = 0;
  for (int k = 0; k < 4; ++k) {
    double w = 0, s = 0;
    for (int v = bounds[k]; v < bounds[k + 1]; ++v) {
      w += static_cast<double>(h.counts[static_cast<size_t>(v)]);
      s += static_cast<double>(h.counts[static_cast<size_t>(v)]) * v;
    }
    if (w > 0) total += s * s / w;
  }
  return total;
}

void expectValid(const std::array<int, 3>& t) {
  EXPECT_GE(t[0], 1);
  EXPECT_LT(t[0], t[1]);
  EXPECT_LT(t[1], t[2]);
  EXPECT_LE(t[2], kBrightnessLevels);
}

TEST(AutoThresholds, FourBrightnessesOfAnyLevelAndWeightGoToFourClassesWithThresholdsMidway) {
  const struct {
    std::array<int, 4> sums;
    std::array<std::uint64_t, 4> pixels;
  } cases[] = {
      {{0, 384, 576, 765}, {10, 10, 10, 10}},        // the four greys
      {{0, 1, 2, 3}, {1000, 1, 1, 1000}},            // all nearly black, adjacent
      {{762, 763, 764, 765}, {5, 70000, 3, 9}},      // all nearly white
      {{100, 101, 700, 765}, {1, 1, 1000000, 1}},    // one huge class
      {{30, 300, 310, 320}, {7, 1, 1, 500}},
      {{0, 250, 251, 765}, {1u << 30, 1u << 30, 3, 1}},
  };
  for (const auto& c : cases) {
    BrightnessHistogram h;
    for (int g = 0; g < 4; ++g) h.counts[static_cast<size_t>(c.sums[g])] = c.pixels[g];
    const std::array<int, 3> t = chooseThresholds(h);
    for (int k = 0; k < 3; ++k) {
      // Brightness below Tk goes below, at or above it goes above: the midpoint of (s_k, s_k+1].
      const int lo = c.sums[k], hi = c.sums[k + 1];
      EXPECT_EQ(t[static_cast<size_t>(k)], lo + 1 + (hi - lo - 1) / 2) << "threshold " << k << " of " << lo << "," << hi;
    }
  }
}

TEST(AutoThresholds, FewerThanFourBrightnessesSpreadTheSpareThresholdsOverTheGaps) {
  const struct {
    std::vector<std::pair<int, std::uint64_t>> held;
    std::array<int, 3> expected;
  } cases[] = {
      {{}, {191, 383, 575}},                        // nothing: spread over 1..766
      {{{0, 5}, {765, 5}}, {191, 383, 574}},        // black and white, apart
      {{{400, 9}}, {100, 200, 300}},                // one brightness: white
  };
  for (const auto& c : cases) {
    BrightnessHistogram h;
    for (const auto& [v, n] : c.held) h.counts[static_cast<size_t>(v)] = n;
    const std::array<int, 3> t = chooseThresholds(h);
    expectValid(t);
    EXPECT_EQ(t, c.expected);
  }
}

TEST(AutoThresholds, BestSplitOfEveryThresholdTripleOnRandomHistograms) {
  std::mt19937 rng(23);
  for (int round = 0; round < 60; ++round) {
    BrightnessHistogram h;
    std::vector<int> held;
    const int n = std::uniform_int_distribution<int>(4, 18)(rng);
    for (int i = 0; i < n; ++i) {
      const int v = std::uniform_int_distribution<int>(0, 765)(rng);
      h.counts[static_cast<size_t>(v)] += std::uniform_int_distribution<std::uint64_t>(1, round % 2 ? 5 : 100000)(rng);
    }
    for (int v = 0; v < kBrightnessLevels; ++v)
      if (h.counts[static_cast<size_t>(v)]) held.push_back(v);
    if (held.size() < 4) continue;
    // Every split that makes different classes: thresholds just above held brightnesses.
    double best = 0;
    for (size_t a = 0; a < held.size(); ++a)
      for (size_t b = a + 1; b < held.size(); ++b)
        for (size_t c = b + 1; c < held.size(); ++c)
          best = std::max(best, criterion(h, {held[a], held[b], held[c]}));
    const std::array<int, 3> t = chooseThresholds(h);
    expectValid(t);
    EXPECT_NEAR(criterion(h, t), best, best * 1e-12) << "round " << round;
    // No class is empty, so each gap holds one threshold, in its middle.
    for (const int v : t) {
      int lo = v - 1, hi = v;
      while (lo > 0 && !h.counts[static_cast<size_t>(lo)]) --lo;
      while (hi < kBrightnessLevels && !h.counts[static_cast<size_t>(hi)]) ++hi;
      EXPECT_EQ(v, lo + 1 + (hi - lo - 1) / 2) << "round " << round;
    }
  }
}

TEST(AutoThresholds, HistogramOfWhatTheGreyLevelsReduce) {
  Surface sprite(3, 2), background(2, 3), full(3, 2);
  sprite.write(0, 0, clFuchsia);
  sprite.write(1, 0, rgb(10, 20, 30));   // 60
  sprite.write(2, 0, rgb(1, 1, 1));      // 3, differs from the full plane
  sprite.write(0, 1, rgb(0, 0, 0));      // 0
  full.write(1, 0, rgb(10, 20, 30));
  full.write(2, 0, rgb(2, 2, 2));
  full.write(0, 1, rgb(0, 0, 0));
  background.write(0, 0, clFuchsia);     // 510: the background has no transparent colour
  BrightnessHistogram rows;
  for (int y = 0; y < 2; ++y) rows.addSprites(sprite.row(y), full.row(y), 3);
  EXPECT_EQ(rows.counts[60], 1u);
  EXPECT_EQ(rows.counts[3], 0u);  // cut out
  EXPECT_EQ(rows.counts[0], 1u);
  EXPECT_EQ(rows.counts[765], 2u);  // white pixels equal in both
  EXPECT_EQ(rows.total(), 4u);

  // The window's road: the planes after the cut-out, within the sprite plane's frame.
  const BrightnessHistogram planes = planeHistogram(&sprite, &background, 3, 2);
  EXPECT_EQ(planes.counts[510], 1u);
  EXPECT_EQ(planes.counts[3], 1u);                  // no cut-out on this plane
  EXPECT_EQ(planes.total(), 5u + 4u);               // 5 sprite pixels, 2 x 2 background pixels
  EXPECT_EQ(planeHistogram(nullptr, &background, 0, 5).total(), 0u);
}

}  // namespace
}  // namespace tavrik
