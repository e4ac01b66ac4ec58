// The built-in bitmap font used to draw text on image surfaces (the map previews' numbers).
//
// One fixed-width face covering printable ASCII (0x20..0x7E): each character takes a cell of
// kFontAdvance x kFontLineHeight pixels with a 5 x 7 body (two more rows for descenders) two
// rows below the cell's top; other bytes draw as a hollow box. Text is black on an opaque white
// cell, legible at 1:1.
#pragma once
#include <cstdint>
#include <string_view>

namespace tavrik {

// Height in pixels of one line of text (the text cell's height).
inline constexpr int kFontLineHeight = 13;
// Width in pixels of one character's cell (its glyph and the gap to the next one).
inline constexpr int kFontAdvance = 6;

// Width in pixels of the cell that `text` takes on one line.
inline constexpr int textWidth(std::string_view text) {
  return static_cast<int>(text.size()) * kFontAdvance;
}

// The glyph of byte `c` as kFontLineHeight row masks: bit (kFontAdvance - 1 - x) of row y is
// set when pixel (x, y) of the character's cell is black.
const std::uint8_t* glyphRows(unsigned char c);

}  // namespace tavrik
