// Row-wise building blocks for the tile steps, with the single-pixel rules built in: a read
// outside a surface gives the invalid colour, writing it stores black, and a write outside a
// surface is dropped.
#pragma once
#include <cstdint>

#include "imaging/surface.h"
#include "tiles/tile_flips.h"

namespace tavrik {

// dst(dx + i, dy) := src(sx + i, sy) for i in [0, n), as single-pixel reads and writes would do.
// src and dst must be different surfaces.
void copySpan(const Surface& src, int sx, int sy, Surface& dst, int dx, int dy, int n);

// Paints colour c into dst(dx + i, dy), i in [0, n), where those pixels exist.
void fillSpan(Surface& dst, int dx, int dy, int n, Colour c);

// Row b (0 <= b < S) of slot t of a strip as single-pixel reads see it: a pointer into the
// surface when the whole row lies inside, else `scratch` (S colours) filled with the reads.
const Colour* slotRow(const Surface& strip, int S, int t, int b, Colour* scratch);

// Whether the top-left pixel of slot t lies inside the strip's grid (else the whole slot lies
// outside and reads the invalid colour everywhere).
inline bool slotCornerInside(const Surface& strip, int S, int t) {
  const long long x = static_cast<long long>(t) * S;
  return x >= 0 && x < strip.width() && strip.height() > 0;
}

// 64-bit hash of the S x S content of slot t (as slotRow sees it).
std::uint64_t slotHash(const Surface& strip, int S, int t, Colour* scratch);

// The same hash of an S x S block held row by row in memory.
std::uint64_t blockHash(const Colour* block, int S);

// Whether slot t holds slot u's colours mirrored by f.
bool slotEqualsMirrored(const Surface& strip, int S, int t, int u, Flip f, Colour* scratchT, Colour* scratchU);

}  // namespace tavrik
