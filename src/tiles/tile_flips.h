// Mirrored tiles: the four orientations of a square tile, and comparing or copying a tile in
// any of them. A tile is given as S rows of S colours through a row accessor `rowAt(y)`, so
// the same helpers serve strip slots, plane cells and tiles held in memory.
#pragma once
#include <array>
#include <cstdint>
#include <cstring>

#include "imaging/colour.h"

namespace tavrik {

// How a tile is mirrored: bit 0 left-right, bit 1 top-bottom.
enum class Flip : std::uint8_t { None = 0, Horizontal = 1, Vertical = 2, Both = 3 };

// The order in which a cell tries the orientations: as it stands first.
inline constexpr std::array<Flip, 4> kFlips{Flip::None, Flip::Horizontal, Flip::Vertical, Flip::Both};

inline constexpr bool mirrorsLeftRight(Flip f) { return (static_cast<unsigned>(f) & 1u) != 0; }
inline constexpr bool mirrorsTopBottom(Flip f) { return (static_cast<unsigned>(f) & 2u) != 0; }

// Where the map records keep the two mirror bits (the index lies below the lower one).
struct FlipBits {
  int horizontal = 14;
  int vertical = 15;

  int lowest() const { return horizontal < vertical ? horizontal : vertical; }
  // Largest number of tiles whose indices fit below the flip bits.
  long long maxTiles() const { return 1LL << lowest(); }
  // The record of tile `index` mirrored by `f`.
  std::uint32_t record(std::int32_t index, Flip f) const {
    std::uint32_t value = static_cast<std::uint32_t>(index);
    if (mirrorsLeftRight(f)) value |= 1u << horizontal;
    if (mirrorsTopBottom(f)) value |= 1u << vertical;
    return value;
  }
};

// Copies the S x S tile given by `rowAt`, mirrored by `f`, into `out` (S * S colours, row by
// row): out(x, y) = tile(f mirrors x ? S - 1 - x : x, f mirrors y ? S - 1 - y : y).
template <class Rows>
void copyMirrored(const Rows& rowAt, int S, Flip f, Colour* out) {
  for (int y = 0; y < S; ++y) {
    const Colour* src = rowAt(mirrorsTopBottom(f) ? S - 1 - y : y);
    Colour* dst = out + static_cast<size_t>(y) * static_cast<size_t>(S);
    if (mirrorsLeftRight(f)) {
      for (int x = 0; x < S; ++x) dst[x] = src[S - 1 - x];
    } else {
      std::memcpy(dst, src, static_cast<size_t>(S) * sizeof(Colour));
    }
  }
}

// Whether tile `a` equals tile `b` mirrored by `f` (exact colours).
template <class RowsA, class RowsB>
bool equalsMirrored(const RowsA& a, const RowsB& b, int S, Flip f) {
  for (int y = 0; y < S; ++y) {
    const Colour* ra = a(y);
    const Colour* rb = b(mirrorsTopBottom(f) ? S - 1 - y : y);
    if (mirrorsLeftRight(f)) {
      for (int x = 0; x < S; ++x)
        if (ra[x] != rb[S - 1 - x]) return false;
    } else if (std::memcmp(ra, rb, static_cast<size_t>(S) * sizeof(Colour)) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace tavrik
