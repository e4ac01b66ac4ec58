#include "passes/plane_order.h"

#include <algorithm>

#include "imaging/surface.h"

namespace tavrik {

void PlaneOrderCounts::addRows(const Colour* sprite, const Colour* background, const Colour* full,
                               std::size_t count) {
  // One branch-free pass over the rows, in pieces whose counts fit 32 bits, so that it vectorises.
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  for (std::size_t begin = 0; begin < count; begin += kPiece) {
    const std::size_t n = std::min(kPiece, count - begin);
    const Colour* __restrict s = sprite + begin;
    const Colour* __restrict b = background + begin;
    unsigned fs = 0, fb = 0;
    if (!full) {
      for (std::size_t x = 0; x < n; ++x) {
        fs |= s[x] == clFuchsia;
        fb |= b[x] == clFuchsia;
      }
    } else {
      const Colour* __restrict f = full + begin;
      unsigned ff = 0, differ = 0, both = 0;
      for (std::size_t x = 0; x < n; ++x) {
        fs |= s[x] == clFuchsia;
        fb |= b[x] == clFuchsia;
        ff |= f[x] == clFuchsia;
        const unsigned d = b[x] != f[x];
        differ += d;
        both += d & static_cast<unsigned>(s[x] != f[x]);
      }
      fuchsia[2] = fuchsia[2] || ff;
      pixels += n;
      scene += differ;
      stray += both;
    }
    fuchsia[0] = fuchsia[0] || fs;
    fuchsia[1] = fuchsia[1] || fb;
  }
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
