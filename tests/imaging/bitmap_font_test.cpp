#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "imaging/bitmap_font.h"
#include "imaging/surface.h"

using namespace tavrik;

namespace {

// The cell of one character drawn alone at (0, 0), as a string of '#' and '.' rows.
std::string render(char c) {
  Surface s(kFontAdvance, kFontLineHeight, clRed);
  s.drawText(0, 0, std::string(1, c));
  std::string out;
  for (int y = 0; y < kFontLineHeight; ++y)
    for (int x = 0; x < kFontAdvance; ++x) out += s.read(x, y) == clBlack ? '#' : '.';
  return out;
}

}  // namespace

TEST(BitmapFont, EveryPrintableCharacterHasItsOwnGlyphAndDigitsAreInked) {
  std::set<std::string> seen;
  for (int c = 0x21; c <= 0x7E; ++c) {
    const std::string glyph = render(static_cast<char>(c));
    EXPECT_NE(glyph.find('#'), std::string::npos) << "blank glyph for " << static_cast<char>(c);
    EXPECT_TRUE(seen.insert(glyph).second) << "glyph of " << static_cast<char>(c) << " repeats";
  }
  EXPECT_EQ(render(' ').find('#'), std::string::npos);
  // A byte outside printable ASCII draws something visible rather than nothing.
  EXPECT_NE(render('\x01').find('#'), std::string::npos);
  // The gap column and the top and bottom rows stay white, so adjacent digits never touch.
  for (char d : std::string("0123456789-")) {
    const std::string g = render(d);
    for (int y = 0; y < kFontLineHeight; ++y) EXPECT_EQ(g[y * kFontAdvance + 5], '.');
    for (int x = 0; x < kFontAdvance; ++x) {
      EXPECT_EQ(g[x], '.');
      EXPECT_EQ(g[(kFontLineHeight - 1) * kFontAdvance + x], '.');
    }
  }
}

TEST(BitmapFont, TextPaintsItsWholeCellWhiteBehindBlackGlyphsAndNothingElse) {
  Surface s(60, 30, clRed);
  const std::string text = "-1234567890";
  ASSERT_EQ(textWidth(text), 66);
  s.drawText(3, 4, "-905");
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) {
      const bool inCell = x >= 3 && x < 3 + 24 && y >= 4 && y < 4 + kFontLineHeight;
      const Colour c = s.read(x, y);
      if (inCell) EXPECT_TRUE(c == clWhite || c == clBlack) << x << "," << y;
      else EXPECT_EQ(c, clRed) << x << "," << y;
    }
  // Each character of the text is the glyph drawn alone.
  const std::string chars = "-905";
  for (size_t i = 0; i < chars.size(); ++i) {
    const std::string alone = render(chars[i]);
    for (int y = 0; y < kFontLineHeight; ++y)
      for (int x = 0; x < kFontAdvance; ++x)
        EXPECT_EQ(s.read(3 + static_cast<int>(i) * kFontAdvance + x, 4 + y) == clBlack,
                  alone[y * kFontAdvance + x] == '#');
  }
}

TEST(BitmapFont, TextIsClippedToTheGridOnEverySide) {
  // Drawing anywhere on a small surface gives the matching window of the same text drawn on a
  // large one.
  Surface big(150, 100, clRed);
  big.drawText(60, 40, "7081-3");  // 36 x 13 cell
  for (int dx : {-36, -30, -3, 0, 5, 11, 12}) {
    for (int dy : {-13, -12, -1, 0, 4, 8, 9}) {
      Surface small(12, 9, clRed);
      small.drawText(dx, dy, "7081-3");
      for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
          ASSERT_EQ(small.read(x, y), big.read(60 + x - dx, 40 + y - dy)) << dx << "," << dy;
    }
  }
  Surface none(0, 0);
  none.drawText(0, 0, "12");  // no pixels: nothing to do, no fault
  EXPECT_TRUE(none.empty());
}
