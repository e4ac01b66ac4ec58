#include "passes/plane_order.h"

#include <algorithm>

#include "imaging/surface.h"

namespace tavrik {

void PlaneOrderCounts::addRows(const Colour* sprite, const Colour* background, const Colour* full,
                               std::size_t count) {
  // Branch-free counts so that the loops vectorise; a plane already known to hold fuchsia is
  // not searched again.
  const auto holdsFuchsia = [count](const Colour* row) {
    unsigned found = 0;
    for (std::size_t x = 0; x < count; ++x) found |= row[x] == clFuchsia;
    return found != 0;
  };
  if (!fuchsia[0]) fuchsia[0] = holdsFuchsia(sprite);
  if (!fuchsia[1]) fuchsia[1] = holdsFuchsia(background);
  if (!full) return;
  if (!fuchsia[2]) fuchsia[2] = holdsFuchsia(full);
  std::uint64_t differ = 0, both = 0;
  for (std::size_t x = 0; x < count; ++x) {
    const unsigned d = background[x] != full[x];
    differ += d;
    both += d & static_cast<unsigned>(sprite[x] != full[x]);
  }
  pixels += count;
  scene += differ;
  stray += both;
}

void PlaneOrderCounts::add(const PlaneOrderCounts& other) {
  for (int p = 0; p < 3; ++p) fuchsia[p] = fuchsia[p] || other.fuchsia[p];
  pixels += other.pixels;
  scene += other.scene;
  stray += other.stray;
}

PlaneOrderCounts::Sign PlaneOrderCounts::looksSwapped() const {
  if (!fuchsia[0] && (fuchsia[1] || fuchsia[2])) return Sign::NoTransparentSprites;
  if (scene * 2 > pixels) return Sign::SceneApart;
  if (stray > 0 && stray * 2 > scene) return Sign::SpritesOffScene;
  return Sign::None;
}

PlaneOrderCounts planeOrderCounts(const Surface& sprite, const Surface& background, const Surface* full,
                                  int width, int height) {
  PlaneOrderCounts counts;
  int w = std::min({width, sprite.width(), background.width()});
  int h = std::min({height, sprite.height(), background.height()});
  if (full) {
    w = std::min(w, full->width());
    h = std::min(h, full->height());
  }
  for (int y = 0; y < h && w > 0; ++y)
    counts.addRows(sprite.row(y), background.row(y), full ? full->row(y) : nullptr, static_cast<size_t>(w));
  return counts;
}

}  // namespace tavrik
