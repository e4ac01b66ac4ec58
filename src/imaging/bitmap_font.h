// The built-in bitmap font used to draw text on image surfaces (the map previews' numbers).
#pragma once
#include <string_view>

namespace tavrik {

// Height in pixels of one line of text (the text cell's height).
inline constexpr int kFontLineHeight = 13;

// Width in pixels of the cell that `text` takes on one line.
int textWidth(std::string_view text);

}  // namespace tavrik
