// Thresholds chosen from the pictures themselves: a histogram of the brightness (R + G + B,
// 0..765) of the pixels that the grey levels reduce, split into four classes by the three
// thresholds that make the classes as tight as possible (Otsu's criterion: the largest variance
// between the classes). Histograms add up, so one set of thresholds can serve several levels,
// and a histogram summed from bands does not depend on how the rows were shared out.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/colour.h"

namespace tavrik {

class Surface;

inline constexpr int kBrightnessLevels = 766;  // brightness 0..765

struct BrightnessHistogram {
  std::array<std::uint64_t, kBrightnessLevels> counts{};

  // The background plane's pixels: all of them.
  void addBackground(const Colour* row, std::size_t count);
  // The sprite plane's pixels that are not clFuchsia (transparent), as the grey levels see them:
  // with `full` (the full plane's row), after the cut-out, which makes every pixel that differs
  // from the full plane transparent.
  void addSprites(const Colour* row, const Colour* full, std::size_t count);
  void add(const BrightnessHistogram& other);
  std::uint64_t total() const;
};

// T1 < T2 < T3, each 1..766, splitting the histogram into [0, T1), [T1, T2), [T2, T3) and
// [T3, 765] with the largest variance between the classes. Among equal splits, the one with the
// lowest thresholds; then each threshold is moved to the middle of the empty brightnesses around
// it (thresholds that share one gap are spread evenly over it), which changes no class: a
// brightness just outside the art's then falls into the nearer grey.
std::array<int, 3> chooseThresholds(const BrightnessHistogram& histogram);

// The histogram of what the grey levels reduce on two whole planes: the sprite plane's
// non-transparent pixels and the background plane, within the frame of `width` x `height`
// pixels (either surface may be null: no pixels).
BrightnessHistogram planeHistogram(const Surface* sprite, const Surface* background, int width, int height);

}  // namespace tavrik
