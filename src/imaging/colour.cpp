#include "imaging/colour.h"

#include <array>

namespace tavrik {

namespace {
// The classic desktop scheme, by colour number (scroll bar, background, active caption, ...).
constexpr std::array<Colour, 31> kClassicScheme = {
    rgb(0xC0, 0xC0, 0xC0),  // 0 scroll bar
    rgb(0x00, 0x80, 0x80),  // 1 desktop background
    rgb(0x00, 0x00, 0x80),  // 2 active caption
    rgb(0x80, 0x80, 0x80),  // 3 inactive caption
    rgb(0xC0, 0xC0, 0xC0),  // 4 menu
    rgb(0xFF, 0xFF, 0xFF),  // 5 window
    rgb(0x00, 0x00, 0x00),  // 6 window frame
    rgb(0x00, 0x00, 0x00),  // 7 menu text
    rgb(0x00, 0x00, 0x00),  // 8 window text
    rgb(0xFF, 0xFF, 0xFF),  // 9 caption text
    rgb(0xC0, 0xC0, 0xC0),  // 10 active border
    rgb(0xC0, 0xC0, 0xC0),  // 11 inactive border
    rgb(0x80, 0x80, 0x80),  // 12 application workspace
    rgb(0x00, 0x00, 0x80),  // 13 highlight
    rgb(0xFF, 0xFF, 0xFF),  // 14 highlight text
    rgb(0xC0, 0xC0, 0xC0),  // 15 button face
    rgb(0x80, 0x80, 0x80),  // 16 button shadow
    rgb(0x80, 0x80, 0x80),  // 17 grey text
    rgb(0x00, 0x00, 0x00),  // 18 button text
    rgb(0xC0, 0xC0, 0xC0),  // 19 inactive caption text
    rgb(0xFF, 0xFF, 0xFF),  // 20 button highlight
    rgb(0x00, 0x00, 0x00),  // 21 3-D dark shadow
    rgb(0xC0, 0xC0, 0xC0),  // 22 3-D light
    rgb(0x00, 0x00, 0x00),  // 23 info text
    rgb(0xFF, 0xFF, 0xE1),  // 24 info background
    rgb(0xB5, 0xB5, 0xB5),  // 25 unused slot
    rgb(0x00, 0x00, 0xFF),  // 26 hot light
    rgb(0x10, 0x84, 0xD0),  // 27 gradient active caption
    rgb(0xB5, 0xB5, 0xB5),  // 28 gradient inactive caption
    rgb(0x31, 0x6A, 0xC5),  // 29 menu highlight
    rgb(0xC0, 0xC0, 0xC0),  // 30 menu bar
};
}  // namespace

Colour schemeColour(unsigned index) {
  return index < kClassicScheme.size() ? kClassicScheme[index] : clBlack;
}

}  // namespace tavrik
