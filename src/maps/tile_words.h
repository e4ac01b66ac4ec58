// One pixel row of a tile as the tile files hold it: two 16-bit words of bit planes, the high
// bits then the low bits of the pixels' colour numbers, leftmost pixel in the highest bit used.
#pragma once
#include <cstdint>

#include "imaging/colour.h"

namespace tavrik {

// The grey of each colour number: 0 white, 1 silver, 2 grey, 3 black.
inline constexpr Colour kColourOfNumber[4] = {clWhite, clSilver, clGray, clBlack};

// The colour number of a pixel: the greys above, anything else 0.
inline unsigned colourNumber(Colour c) {
  switch (c) {
    case clBlack: return 3;
    case clGray: return 2;
    case clSilver: return 1;
    default: return 0;
  }
}

struct TileRowWords {
  std::uint16_t first;   // high bits
  std::uint16_t second;  // low bits
};

// The words of `size` pixels; beyond 16 pixels only the last 16 are kept.
inline TileRowWords encodeTileRow(const Colour* pixels, int size) {
  unsigned first = 0, second = 0;
  for (int x = 0; x < size; ++x) {
    const unsigned n = colourNumber(pixels[x]);
    first = (first << 1) | (n >> 1);
    second = (second << 1) | (n & 1);
  }
  return {static_cast<std::uint16_t>(first & 0xFFFF), static_cast<std::uint16_t>(second & 0xFFFF)};
}

// The `size` greys that the low `size` bits of the words hold, into `out`; higher bits are
// ignored.
inline void decodeTileRow(unsigned first, unsigned second, int size, Colour* out) {
  for (int x = 0; x < size; ++x) {
    const int bit = size - 1 - x;
    out[x] = kColourOfNumber[((first >> bit) & 1u) << 1 | ((second >> bit) & 1u)];
  }
}

}  // namespace tavrik
