// Image surface: an exact grid of W x H 24-bit colours, stored row by row.
#pragma once
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <string_view>
#include <vector>

#include "imaging/colour.h"

namespace tavrik {

// std::allocator that leaves elements default-initialised (uninitialised for Colour) where a
// vector would value-initialise them; constructions with a value are unchanged.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
  using value_type = T;
  template <class U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() = default;
  template <class U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

using PixelVector = std::vector<Colour, DefaultInitAllocator<Colour>>;

class Surface {
 public:
  Surface() = default;
  // A W x H surface with every pixel `fill`. Throws Error("Plus de ressources système") when
  // the memory cannot be had.
  Surface(int width, int height, Colour fill = clWhite);
  // A W x H surface whose pixels are left unset, for a writer that sets every one of them
  // before anything reads the surface (a decoder); saves a pass over a large grid.
  static Surface forOverwrite(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ <= 0 || height_ <= 0; }

  bool contains(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height_);
  }
  // The stored colour, or the invalid colour outside the grid.
  Colour read(int x, int y) const {
    return contains(x, y) ? pixels_[index(x, y)] : invalidColour;
  }
  // Stores the resolved colour inside the grid; does nothing outside.
  void write(int x, int y, Colour c) {
    if (contains(x, y)) pixels_[index(x, y)] = resolveForWrite(c);
  }

  // Paints white every pixel with left <= x < right and top <= y < bottom inside the grid.
  void fillRect(int left, int top, int right, int bottom);
  // Draws one line of text with the top-left corner of its cell at (x, y): glyphs of the
  // built-in font in `ink` on a white cell as wide as the text and one line high, clipped to
  // the grid.
  void drawText(int x, int y, std::string_view text, Colour ink = clBlack);

  // Direct row access for bulk work: `width()` colours of row y (0 <= y < height()).
  Colour* row(int y) { return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_); }
  const Colour* row(int y) const {
    return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
  }
  const PixelVector& pixels() const { return pixels_; }

  // Enlarges the grid to at least width x height; existing pixels keep their places, new ones
  // are white. Never shrinks.
  void grow(int width, int height);

 private:
  size_t index(int x, int y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
  }
  int width_ = 0;
  int height_ = 0;
  PixelVector pixels_;
};

}  // namespace tavrik
