// Colour values: 24-bit colours in a 32-bit word laid out 0x00BBGGRR (red in the low byte).
#pragma once
#include <cstdint>

namespace tavrik {

using Colour = std::uint32_t;

inline constexpr Colour clBlack = 0x000000;
inline constexpr Colour clGray = 0x808080;
inline constexpr Colour clSilver = 0xC0C0C0;
inline constexpr Colour clWhite = 0xFFFFFF;
inline constexpr Colour clFuchsia = 0xFF00FF;
inline constexpr Colour clOlive = 0x008080;
inline constexpr Colour clRed = 0x0000FF;
inline constexpr Colour clGreen = 0x008000;
inline constexpr Colour clBlue = 0xFF0000;

// What a read outside a surface returns. Equals no colour that a surface can hold.
inline constexpr Colour invalidColour = 0xFFFFFFFF;

inline constexpr unsigned redOf(Colour c) { return c & 0xFF; }
inline constexpr unsigned greenOf(Colour c) { return (c >> 8) & 0xFF; }
inline constexpr unsigned blueOf(Colour c) { return (c >> 16) & 0xFF; }
inline constexpr Colour rgb(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16);
}
// Sum of the red, green and blue bytes, 0..765 (765 for the invalid colour).
inline constexpr int brightness(Colour c) {
  return static_cast<int>(redOf(c) + greenOf(c) + blueOf(c));
}

// Colour number `index` of the desktop's colour scheme (a fixed classic scheme); black for
// numbers that name no colour of the scheme, 255 among them.
Colour schemeColour(unsigned index);

// The colour that writing `c` into a surface stores: a value with the top bit set names a scheme
// colour by its low byte (so the invalid colour stores black); other values keep their 24 bits.
inline Colour resolveForWrite(Colour c) {
  if (c & 0x80000000u) return schemeColour(c & 0xFF);
  return c & 0xFFFFFFu;
}

}  // namespace tavrik
