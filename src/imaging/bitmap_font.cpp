// PROVISIONAL: cell painting only; the glyph table replaces this.
#include "imaging/bitmap_font.h"

#include "imaging/surface.h"

namespace tavrik {

int textWidth(std::string_view text) { return static_cast<int>(text.size()) * 6; }

void Surface::drawText(int x, int y, std::string_view text) {
  const int w = textWidth(text);
  for (int yy = y; yy < y + kFontLineHeight; ++yy)
    for (int xx = x; xx < x + w; ++xx) write(xx, yy, clWhite);
}

}  // namespace tavrik
