#include "passes/auto_thresholds.h"

#include <algorithm>
#include <vector>

#include "imaging/surface.h"

namespace tavrik {

void BrightnessHistogram::addBackground(const Colour* row, std::size_t count) {
  for (std::size_t x = 0; x < count; ++x) ++counts[static_cast<std::size_t>(brightness(row[x]))];
}

void BrightnessHistogram::addSprites(const Colour* row, const Colour* full, std::size_t count) {
  for (std::size_t x = 0; x < count; ++x) {
    const Colour p = row[x];
    if (p == clFuchsia || (full && p != full[x])) continue;
    ++counts[static_cast<std::size_t>(brightness(p))];
  }
}

void BrightnessHistogram::add(const BrightnessHistogram& other) {
  for (std::size_t v = 0; v < counts.size(); ++v) counts[v] += other.counts[v];
}

std::uint64_t BrightnessHistogram::total() const {
  std::uint64_t sum = 0;
  for (const std::uint64_t c : counts) sum += c;
  return sum;
}

std::array<int, 3> chooseThresholds(const BrightnessHistogram& histogram) {
  constexpr int L = kBrightnessLevels;
  // Prefix counts and brightness sums: bins [0, i) hold weight[i] pixels of brightness sum[i].
  // Both stay exact in a double (at most 2^34 pixels of brightness 765 < 2^53).
  std::vector<double> weight(L + 1, 0.0), sum(L + 1, 0.0);
  {
    std::uint64_t w = 0, s = 0;
    for (int v = 0; v < L; ++v) {
      w += histogram.counts[static_cast<size_t>(v)];
      s += histogram.counts[static_cast<size_t>(v)] * static_cast<std::uint64_t>(v);
      weight[static_cast<size_t>(v + 1)] = static_cast<double>(w);
      sum[static_cast<size_t>(v + 1)] = static_cast<double>(s);
    }
  }
  // A class of bins [i, j) adds sum² / weight to the criterion (the between-class variance
  // up to terms that do not depend on the split); an empty class adds nothing. Classes that
  // differ only by empty bins give the very same value, so equal splits tie exactly.
  const auto score = [&](int i, int j) {
    const double w = weight[static_cast<size_t>(j)] - weight[static_cast<size_t>(i)];
    if (w <= 0) return 0.0;
    const double s = sum[static_cast<size_t>(j)] - sum[static_cast<size_t>(i)];
    return s * s / w;
  };

  // best[k][t]: the best criterion of the bins [0, t) cut into k + 1 classes, the last one
  // starting at from[k][t]. Thresholds lie in 1..L.
  std::vector<double> best[3];
  std::vector<int> from[3];
  for (int k = 0; k < 3; ++k) {
    best[k].assign(L + 1, -1.0);
    from[k].assign(L + 1, 0);
  }
  for (int t = 1; t <= L; ++t) best[0][static_cast<size_t>(t)] = score(0, t);
  for (int k = 1; k < 3; ++k)
    for (int t = k + 1; t <= L; ++t)
      for (int u = k; u < t; ++u) {
        const double v = best[k - 1][static_cast<size_t>(u)] + score(u, t);
        if (v > best[k][static_cast<size_t>(t)]) {
          best[k][static_cast<size_t>(t)] = v;
          from[k][static_cast<size_t>(t)] = u;
        }
      }
  std::array<int, 3> t{};
  double top = -1.0;
  for (int u = 3; u <= L; ++u) {
    const double v = best[2][static_cast<size_t>(u)] + score(u, L);
    if (v > top) {
      top = v;
      t[2] = u;
    }
  }
  t[1] = from[2][static_cast<size_t>(t[2])];
  t[0] = from[1][static_cast<size_t>(t[1])];

  // Each threshold to the middle of its gap: the brightnesses (lo, hi] where lo is the highest
  // one held below it (0 if none) and hi the lowest one held at or above it (766 if none). Any
  // place there makes the same classes.
  const auto held = [&](int v) { return histogram.counts[static_cast<size_t>(v)] != 0; };
  std::array<int, 3> chosen = t;
  for (int k = 0; k < 3;) {
    int lo = t[static_cast<size_t>(k)] - 1;
    while (lo > 0 && !held(lo)) --lo;
    int hi = t[static_cast<size_t>(k)];
    while (hi < L && !held(hi)) ++hi;
    int m = 1;  // thresholds in this gap
    while (k + m < 3 && t[static_cast<size_t>(k + m)] <= hi) ++m;
    const int spare = hi - lo - m;  // the DP placed m distinct thresholds there: spare >= 0
    for (int i = 1; i <= m; ++i) chosen[static_cast<size_t>(k + i - 1)] = lo + i + spare * i / (m + 1);
    k += m;
  }
  return chosen;
}

BrightnessHistogram planeHistogram(const Surface* sprite, const Surface* background, int width, int height) {
  BrightnessHistogram h;
  if (width <= 0 || height <= 0) return h;
  for (const Surface* s : {sprite, background}) {
    if (!s) continue;
    const int w = std::min(width, s->width());
    const int rows = std::min(height, s->height());
    for (int y = 0; y < rows && w > 0; ++y) {
      if (s == sprite) h.addSprites(s->row(y), nullptr, static_cast<size_t>(w));
      else h.addBackground(s->row(y), static_cast<size_t>(w));
    }
  }
  return h;
}

}  // namespace tavrik
