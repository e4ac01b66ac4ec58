// What an image control holds: nothing, a bitmap (with its surface), an icon or a metafile.
#pragma once
#include <cstdint>
#include <memory>

#include "imaging/surface.h"

namespace tavrik {

// Pictures loaded whole are refused above this many pixels, before anything is allocated (1 GiB
// of surface); bitmaps and PNG files alike.
inline constexpr std::uint64_t kMaxPicturePixels = std::uint64_t{1} << 28;

enum class PictureKind { None, Bitmap, Icon, Metafile };

struct Picture {
  PictureKind kind = PictureKind::None;
  // The pixel grid of a bitmap picture; null for every other kind.
  std::unique_ptr<Surface> surface;
  // Icon and metafile sizes (a bitmap's size is its surface's).
  int iconOrMetafileWidth = 0;
  int iconOrMetafileHeight = 0;

  // A bitmap picture holding `pixels`.
  static Picture bitmap(Surface pixels) {
    Picture picture;
    picture.kind = PictureKind::Bitmap;
    picture.surface = std::make_unique<Surface>(std::move(pixels));
    return picture;
  }

  int width() const { return surface ? surface->width() : iconOrMetafileWidth; }
  int height() const { return surface ? surface->height() : iconOrMetafileHeight; }
};

}  // namespace tavrik
