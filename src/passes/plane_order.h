// Signs that the three pictures were given in the wrong order (a shell that sorts
// "background, full, sprites"): counted on the pictures as loaded, before any step.
#pragma once
#include <cstddef>
#include <cstdint>

#include "imaging/colour.h"

namespace tavrik {

class Surface;

struct PlaneOrderCounts {
  // Whether the sprite, background and full planes hold clFuchsia, the sprite plane's
  // transparent colour.
  bool fuchsia[3] = {false, false, false};
  std::uint64_t pixels = 0;  // pixels compared with the full plane
  std::uint64_t scene = 0;   // pixels where the background and the full plane differ
  std::uint64_t stray = 0;   // of those, the pixels where the sprite plane differs from the full one

  // `count` pixels of each plane at the same places; `full` may be null (not read).
  void addRows(const Colour* sprite, const Colour* background, const Colour* full, std::size_t count);
  void add(const PlaneOrderCounts& other);

  // Why the pictures look swapped, if they do: the sprite plane holds no transparent pixel
  // while another plane does; or the background and the full plane differ on more than half
  // of the pixels (the sprites would cover most of the level); or where they differ (where the
  // sprites are), the full plane mostly differs from the sprite plane too.
  enum class Sign { None, NoTransparentSprites, SceneApart, SpritesOffScene };
  Sign looksSwapped() const;
};

// The counts over rows 0..height-1 and columns 0..width-1 of three surfaces (`full` may be null),
// the rows and columns that all of them hold.
PlaneOrderCounts planeOrderCounts(const Surface& sprite, const Surface& background, const Surface* full,
                                  int width, int height);

}  // namespace tavrik
