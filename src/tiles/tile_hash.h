// Hash of a square block of colours, for finding equal tiles.
#pragma once
#include <cstdint>
#include <cstring>

#include "imaging/colour.h"

namespace tavrik {

// Hash of an S x S block of colours given row by row; `rowAt(y)` gives the S colours of row y.
// Two colours go into one 64-bit word (injective); the words feed four independent lanes so
// that the multiplies overlap, and the lanes are mixed at the end.
template <class Rows>
inline std::uint64_t hashBlock(const Rows& rowAt, int size) {
  constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ull, k2 = 0xC2B2AE3D27D4EB4Full;
  std::uint64_t lane[4] = {0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull,
                           0x082EFA98EC4E6C89ull};
  auto mix = [](std::uint64_t acc, std::uint64_t v) {
    acc += v * k2;
    acc = (acc << 31) | (acc >> 33);
    return acc * k1;
  };
  unsigned n = 0;
  for (int y = 0; y < size; ++y) {
    const Colour* p = rowAt(y);
    int x = 0;
    for (; x + 8 <= size; x += 8) {
      std::uint64_t w[4];
      std::memcpy(w, p + x, sizeof w);
      lane[0] = mix(lane[0], w[0]);
      lane[1] = mix(lane[1], w[1]);
      lane[2] = mix(lane[2], w[2]);
      lane[3] = mix(lane[3], w[3]);
    }
    for (; x < size; x += 2, ++n) {
      const std::uint64_t w = x + 1 < size ? (p[x] | (static_cast<std::uint64_t>(p[x + 1]) << 32))
                                           : (p[x] | (1ull << 63));
      lane[n & 3] = mix(lane[n & 3], w);
    }
  }
  std::uint64_t h = lane[0] ^ ((lane[1] << 7) | (lane[1] >> 57)) ^ ((lane[2] << 12) | (lane[2] >> 52)) ^
                    ((lane[3] << 18) | (lane[3] >> 46));
  h ^= h >> 33;
  h *= k2;
  h ^= h >> 29;
  h *= k1;
  h ^= h >> 32;
  return h;
}

}  // namespace tavrik
