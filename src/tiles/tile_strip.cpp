#include "tiles/tile_strip.h"

#include <algorithm>
#include <cstring>

#include "tiles/tile_hash.h"

namespace tavrik {

void fillSpan(Surface& dst, int dx, int dy, int n, Colour c) {
  if (dy < 0 || dy >= dst.height() || n <= 0) return;
  const long long i0 = std::max<long long>(0, -static_cast<long long>(dx));
  const long long i1 = std::min<long long>(n, static_cast<long long>(dst.width()) - dx);
  if (i0 >= i1) return;
  Colour* d = dst.row(dy);
  const Colour stored = resolveForWrite(c);
  std::fill(d + (dx + i0), d + (dx + i1), stored);
}

void copySpan(const Surface& src, int sx, int sy, Surface& dst, int dx, int dy, int n) {
  if (dy < 0 || dy >= dst.height() || n <= 0) return;
  // Range of i whose destination exists.
  const long long i0 = std::max<long long>(0, -static_cast<long long>(dx));
  const long long i1 = std::min<long long>(n, static_cast<long long>(dst.width()) - dx);
  if (i0 >= i1) return;
  // d[k] is destination pixel i = i0 + k.
  Colour* d = dst.row(dy) + (dx + i0);
  const long long n1 = i1 - i0;
  if (sy < 0 || sy >= src.height()) {
    std::fill(d, d + n1, clBlack);
    return;
  }
  // Range of i whose source exists, within the destination's range.
  const long long s0 = std::max<long long>(i0, -static_cast<long long>(sx));
  const long long s1 = std::min<long long>(i1, static_cast<long long>(src.width()) - sx);
  if (s0 >= s1) {
    std::fill(d, d + n1, clBlack);
    return;
  }
  std::fill(d, d + (s0 - i0), clBlack);
  std::memcpy(d + (s0 - i0), src.row(sy) + (sx + s0), static_cast<size_t>(s1 - s0) * sizeof(Colour));
  std::fill(d + (s1 - i0), d + n1, clBlack);
}

const Colour* slotRow(const Surface& strip, int S, int t, int b, Colour* scratch) {
  const long long x0 = static_cast<long long>(t) * S;
  if (b >= 0 && b < strip.height() && x0 >= 0 && x0 + S <= strip.width())
    return strip.row(b) + x0;
  const bool rowInside = b >= 0 && b < strip.height();
  for (int a = 0; a < S; ++a) {
    const long long x = x0 + a;
    scratch[a] = rowInside && x >= 0 && x < strip.width() ? strip.row(b)[x] : invalidColour;
  }
  return scratch;
}

std::uint64_t slotHash(const Surface& strip, int S, int t, Colour* scratch) {
  return hashBlock([&](int b) { return slotRow(strip, S, t, b, scratch); }, S);
}

std::uint64_t blockHash(const Colour* block, int S) {
  return hashBlock([&](int b) { return block + static_cast<size_t>(b) * static_cast<size_t>(S); }, S);
}

bool slotEqualsMirrored(const Surface& strip, int S, int t, int u, Flip f, Colour* scratchT, Colour* scratchU) {
  return equalsMirrored([&](int b) { return slotRow(strip, S, t, b, scratchT); },
                        [&](int b) { return slotRow(strip, S, u, b, scratchU); }, S, f);
}

}  // namespace tavrik
