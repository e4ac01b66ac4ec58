#include "imaging/surface.h"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>

#include "base/error.h"

namespace tavrik {

namespace {
// `fill` empty: the pixels are left unset.
PixelVector allocatePixels(int width, int height, std::optional<Colour> fill) {
  const size_t w = static_cast<size_t>(std::max(width, 0));
  const size_t h = static_cast<size_t>(std::max(height, 0));
  try {
    return fill ? PixelVector(w * h, *fill) : PixelVector(w * h);
  } catch (const std::bad_alloc&) {
    throw Error(kNoResources);
  } catch (const std::length_error&) {
    throw Error(kNoResources);
  }
}
}  // namespace

Surface::Surface(int width, int height, Colour fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(allocatePixels(width, height, resolveForWrite(fill))) {}

Surface Surface::forOverwrite(int width, int height) {
  Surface s;
  s.pixels_ = allocatePixels(width, height, std::nullopt);
  s.width_ = std::max(width, 0);
  s.height_ = std::max(height, 0);
  return s;
}

void Surface::fillRect(int left, int top, int right, int bottom) {
  const int l = std::max(left, 0);
  const int t = std::max(top, 0);
  const int r = std::min(right, width_);
  const int b = std::min(bottom, height_);
  if (l >= r || t >= b) return;
  for (int y = t; y < b; ++y) std::fill(row(y) + l, row(y) + r, clWhite);
}

void Surface::grow(int width, int height) {
  const int newWidth = std::max(width, width_);
  const int newHeight = std::max(height, height_);
  if (newWidth == width_ && newHeight == height_) return;
  PixelVector grown = allocatePixels(newWidth, newHeight, clWhite);
  for (int y = 0; y < height_; ++y) {
    std::copy(row(y), row(y) + width_,
              grown.data() + static_cast<size_t>(y) * static_cast<size_t>(newWidth));
  }
  pixels_ = std::move(grown);
  width_ = newWidth;
  height_ = newHeight;
}

}  // namespace tavrik
