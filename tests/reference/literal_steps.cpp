#include "reference/literal_steps.h"

#include <string>

#include "imaging/error.h"

namespace tavrik::literal {

// Colour passes: columns outer, rows inner, over the sprite plane's size at the start.

void cutOut(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  for (int x = 0; x < W; ++x) {
    for (int y = 0; y < H; ++y) {
      const Colour sprite = ws.Image1.readPixel(x, y);
      const Colour full = ws.Image3.readPixel(x, y);
      if (sprite != full) {
        ws.setProgress(x * 100 / W);
        ws.Image1.writePixel(x, y, clFuchsia);
      }
    }
  }
  ws.setProgress(0);
}

namespace {
// The four threshold tests in order; every test that holds writes, so the last one decides.
void reduce(Workspace& ws, ImageControl& image, int x, int y, Colour c) {
  const int s = brightness(c);
  if (s < ws.CSpinEdit1) image.writePixel(x, y, clBlack);
  if (s >= ws.CSpinEdit1 && s < ws.CSpinEdit2) image.writePixel(x, y, clGray);
  if (s >= ws.CSpinEdit2 && s < ws.CSpinEdit3) image.writePixel(x, y, clSilver);
  if (s >= ws.CSpinEdit3) image.writePixel(x, y, clWhite);
}
}  // namespace

void greyLevels(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  for (int x = 0; x < W; ++x) {
    for (int y = 0; y < H; ++y) {
      const Colour p = ws.Image1.readPixel(x, y);
      if (p != clFuchsia) reduce(ws, ws.Image1, x, y, p);
      const Colour q = ws.Image2.readPixel(x, y);
      reduce(ws, ws.Image2, x, y, q);
      ws.setProgress(x * 100 / W);
    }
  }
  ws.setProgress(0);
}

void virtualMask(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  for (int x = 0; x < W; ++x) {
    for (int y = 0; y < H; ++y) {
      const Colour p = ws.Image1.readPixel(x, y);
      if (p == clFuchsia) ws.Image1.writePixel(x, y, clWhite);
      else if (p == clWhite) ws.Image1.writePixel(x, y, clSilver);
      else if (p == clSilver) ws.Image1.writePixel(x, y, clGray);
      else if (p == clGray) ws.Image1.writePixel(x, y, clBlack);
      ws.setProgress(x * 100 / W);
    }
  }
  ws.setProgress(0);
}

void overlayPreview(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  for (int x = 0; x < W; ++x) {
    for (int y = 0; y < H; ++y) {
      ws.Image3.writePixel(x, y, ws.Image2.readPixel(x, y));
      if (ws.Image1.readPixel(x, y) != clWhite) ws.Image3.writePixel(x, y, ws.Image1.readPixel(x, y));
      ws.setProgress(x * 100 / W);
    }
  }
  ws.setProgress(0);
}

// Tile list creation: every size is read again at every loop test.

void createTileLists(Workspace& ws) {
  if (ws.RadioButton1) ws.SpriteSize = 8;
  else if (ws.RadioButton2) ws.SpriteSize = 16;
  else ws.SpriteSize = 32;
  const int S = ws.SpriteSize;
  ws.Image5.SetHeight(S);
  ws.Image5.SetWidth((ws.Image1.Width() / S) * (ws.Image1.Height() / S) * S);
  ws.Image6.SetHeight(S);
  ws.Image6.SetWidth((ws.Image2.Width() / S) * (ws.Image2.Height() / S) * S);
  ws.Label23 = std::to_string((ws.Image1.Width() / S) * (ws.Image1.Height() / S));
  ws.Label26 = std::to_string((ws.Image2.Width() / S) * (ws.Image2.Height() / S));
  for (int tx = 0; tx < ws.Image1.Width() / ws.SpriteSize; ++tx) {
    for (int ty = 0; ty < ws.Image1.Height() / ws.SpriteSize; ++ty) {
      for (int j = 0; j < ws.SpriteSize; ++j) {
        for (int k = 0; k < ws.SpriteSize; ++k) {
          const int s = ws.SpriteSize;
          ws.Image5.writePixel(((ws.Image1.Width() / s) * ty + tx) * s + j, k,
                               ws.Image1.readPixel(tx * s + j, ty * s + k));
          ws.Image6.writePixel(((ws.Image2.Width() / s) * ty + tx) * s + j, k,
                               ws.Image2.readPixel(tx * s + j, ty * s + k));
        }
      }
    }
  }
}

// Tile list optimisation: pairwise search over both strips bounded by the sprite plane's tile
// count, then compaction of each strip through the scratch strip.

namespace {
int tileCount(Workspace& ws, ImageControl& plane) {
  if (ws.SpriteSize == 0) throw Error(kDivisionByZero);
  return (plane.Width() / ws.SpriteSize) * (plane.Height() / ws.SpriteSize);
}

void searchPair(ImageControl& strip, int S, int i, int j) {
  if (strip.readPixel(j * S, 0) != clFuchsia && strip.readPixel(i * S, 0) != clFuchsia) {
    bool equal = true;
    for (int a = 0; a <= S - 1; ++a)
      for (int b = 0; b <= S - 1; ++b)
        if (strip.readPixel(i * S + a, b) != strip.readPixel(j * S + a, b)) equal = false;
    if (equal)
      for (int a = 0; a <= S - 1; ++a)
        for (int b = 0; b <= S - 1; ++b) strip.writePixel(j * S + a, b, clFuchsia);
  }
}

// Copies the surviving slots of `strip` (slot numbers below the count that `count` gives) to the
// scratch strip, narrows the strip and copies them back; returns their number.
int compact(Workspace& ws, ImageControl& strip, ImageControl& plane, int base) {
  const int S = ws.SpriteSize;
  int K = 0;
  for (int k = 0; k < tileCount(ws, plane); ++k) {
    if (strip.readPixel(k * S, 0) != clFuchsia) {
      for (int a = 0; a <= S - 1; ++a)
        for (int b = 0; b <= S - 1; ++b)
          ws.Image7.writePixel(K * S + a, b, strip.readPixel(k * S + a, b));
      ++K;
      ws.setProgress(base + (25 * k) / tileCount(ws, plane));
    }
  }
  strip.SetWidth(K * S);
  for (int x = 0; x < K * S; ++x)
    for (int y = 0; y < S; ++y) strip.writePixel(x, y, ws.Image7.readPixel(x, y));
  return K;
}
}  // namespace

void optimiseTileLists(Workspace& ws) {
  for (int i = 0; i < tileCount(ws, ws.Image1); ++i) {
    for (int j = i + 1; j < tileCount(ws, ws.Image1); ++j) {
      searchPair(ws.Image5, ws.SpriteSize, i, j);
      searchPair(ws.Image6, ws.SpriteSize, i, j);
    }
    ws.setProgress((50 * i) / tileCount(ws, ws.Image1));
  }
  ws.Image7.SetHeight(ws.Image5.Height());
  ws.Image7.SetWidth(ws.Image5.Width());
  ws.Label23 = std::to_string(compact(ws, ws.Image5, ws.Image1, 50));
  const int N2 = tileCount(ws, ws.Image2);
  if (ws.Image7.Width() < N2 * ws.SpriteSize) ws.Image7.SetWidth(N2 * ws.SpriteSize);
  ws.Label26 = std::to_string(compact(ws, ws.Image6, ws.Image2, 75));
  ws.setProgress(0);
}

}  // namespace tavrik::literal
