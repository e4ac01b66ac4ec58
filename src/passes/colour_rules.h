// The pixel rules of the grey-level and virtual-mask passes, shared by every road that applies
// them. Written without branches so that loops over rows vectorise.
#pragma once
#include "imaging/colour.h"

namespace tavrik {

// Grey levels: the four tests in order, each overriding the previous one when it holds; a pixel
// for which none holds keeps its colour.
struct GreyRule {
  int t1, t2, t3;
  Colour operator()(Colour p) const {
    const int s = brightness(p);
    Colour v = p;
    v = s < t1 ? clBlack : v;
    v = (s >= t1 && s < t2) ? clGray : v;
    v = (s >= t2 && s < t3) ? clSilver : v;
    v = s >= t3 ? clWhite : v;
    return v;
  }
};

// Virtual mask: grey becomes black, silver grey, white silver and fuchsia white; other colours
// stay. `changed` gets every bit set when p is one of the four.
inline Colour maskColour(Colour p, Colour& changed) {
  const Colour isGray = 0u - static_cast<Colour>(p == clGray);
  const Colour isSilver = 0u - static_cast<Colour>(p == clSilver);
  const Colour isWhite = 0u - static_cast<Colour>(p == clWhite);
  const Colour isFuchsia = 0u - static_cast<Colour>(p == clFuchsia);
  changed = isGray | isSilver | isWhite | isFuchsia;
  return (p & ~changed) | (clGray & isSilver) | (clSilver & isWhite) | (clWhite & isFuchsia);
}

}  // namespace tavrik
