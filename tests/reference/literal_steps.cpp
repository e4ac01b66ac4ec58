#include "reference/literal_steps.h"

#include <algorithm>
#include <string>

#include "base/error.h"
#include "reference/random_workspace.h"

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

void createTileLists(Workspace& ws) { literal::createTileLists(ws, TileSetOptions{}); }

void createTileLists(Workspace& ws, const TileSetOptions& options) {
  if (ws.RadioButton1) ws.SpriteSize = 8;
  else if (ws.RadioButton2) ws.SpriteSize = 16;
  else ws.SpriteSize = 32;
  const int S = ws.SpriteSize;
  const int B1 = static_cast<int>(options.spriteBank.size()) / (S * S);
  const int B2 = static_cast<int>(options.backgroundBank.size()) / (S * S);
  ws.Image5.SetHeight(S);
  ws.Image5.SetWidth((B1 + (ws.Image1.Width() / S) * (ws.Image1.Height() / S)) * S);
  ws.Image6.SetHeight(S);
  ws.Image6.SetWidth((B2 + (ws.Image2.Width() / S) * (ws.Image2.Height() / S)) * S);
  ws.Label23 = std::to_string(B1 + (ws.Image1.Width() / S) * (ws.Image1.Height() / S));
  ws.Label26 = std::to_string(B2 + (ws.Image2.Width() / S) * (ws.Image2.Height() / S));
  for (int tx = 0; tx < ws.Image1.Width() / ws.SpriteSize; ++tx) {
    for (int ty = 0; ty < ws.Image1.Height() / ws.SpriteSize; ++ty) {
      for (int j = 0; j < ws.SpriteSize; ++j) {
        for (int k = 0; k < ws.SpriteSize; ++k) {
          const int s = ws.SpriteSize;
          ws.Image5.writePixel((B1 + (ws.Image1.Width() / s) * ty + tx) * s + j, k,
                               ws.Image1.readPixel(tx * s + j, ty * s + k));
          ws.Image6.writePixel((B2 + (ws.Image2.Width() / s) * ty + tx) * s + j, k,
                               ws.Image2.readPixel(tx * s + j, ty * s + k));
        }
      }
    }
  }
  for (int t = 0; t < B1; ++t)
    for (int y = 0; y < S; ++y)
      for (int x = 0; x < S; ++x) ws.Image5.writePixel(t * S + x, y, options.spriteBank[static_cast<size_t>((t * S + y) * S + x)]);
  for (int t = 0; t < B2; ++t)
    for (int y = 0; y < S; ++y)
      for (int x = 0; x < S; ++x)
        ws.Image6.writePixel(t * S + x, y, options.backgroundBank[static_cast<size_t>((t * S + y) * S + x)]);
}

// Tile list optimisation: pairwise search over both strips bounded by the sprite plane's tile
// count, then compaction of each strip through the scratch strip.

namespace {
int tileCount(Workspace& ws, ImageControl& plane) {
  if (ws.SpriteSize == 0) throw Error(kDivisionByZero);
  return (plane.Width() / ws.SpriteSize) * (plane.Height() / ws.SpriteSize);
}

// Slot j is marked when it equals slot i in one of the orientations that `flips` allows: pixel
// (a, b) of j against pixel (a or S-1-a, b or S-1-b) of i. Bank slots are never marked.
void searchPair(ImageControl& strip, int S, int i, int j, bool flips, int bankSlots) {
  if (strip.readPixel(j * S, 0) != clFuchsia && strip.readPixel(i * S, 0) != clFuchsia) {
    bool anyEqual = false;
    for (int f = 0; f < (flips ? 4 : 1); ++f) {
      bool equal = true;
      for (int a = 0; a <= S - 1; ++a)
        for (int b = 0; b <= S - 1; ++b) {
          const int ia = (f & 1) ? S - 1 - a : a;
          const int ib = (f & 2) ? S - 1 - b : b;
          if (strip.readPixel(i * S + ia, ib) != strip.readPixel(j * S + a, b)) equal = false;
        }
      if (equal) anyEqual = true;
    }
    if (anyEqual && j >= bankSlots)
      for (int a = 0; a <= S - 1; ++a)
        for (int b = 0; b <= S - 1; ++b) strip.writePixel(j * S + a, b, clFuchsia);
  }
}

// Copies the surviving slots of `strip` (slot numbers below the count that `count` gives) to the
// scratch strip, narrows the strip and copies them back; returns their number.
int compact(Workspace& ws, ImageControl& strip, ImageControl& plane, int bankSlots, int base) {
  const int S = ws.SpriteSize;
  int K = 0;
  for (int k = 0; k < bankSlots + tileCount(ws, plane); ++k) {
    if (strip.readPixel(k * S, 0) != clFuchsia) {
      for (int a = 0; a <= S - 1; ++a)
        for (int b = 0; b <= S - 1; ++b)
          ws.Image7.writePixel(K * S + a, b, strip.readPixel(k * S + a, b));
      ++K;
      ws.setProgress(base + (25 * k) / (bankSlots + tileCount(ws, plane)));
    }
  }
  strip.SetWidth(K * S);
  for (int x = 0; x < K * S; ++x)
    for (int y = 0; y < S; ++y) strip.writePixel(x, y, ws.Image7.readPixel(x, y));
  return K;
}

void search(Workspace& ws, const TileSetOptions& options) {
  const int S = ws.SpriteSize;
  const int B1 = S ? static_cast<int>(options.spriteBank.size()) / (S * S) : 0;
  const int B2 = S ? static_cast<int>(options.backgroundBank.size()) / (S * S) : 0;
  // Both lists are searched over the sprite plane's tile count after their banks.
  for (int i = 0; i < std::max(B1, B2) + tileCount(ws, ws.Image1); ++i) {
    for (int j = i + 1; j < std::max(B1, B2) + tileCount(ws, ws.Image1); ++j) {
      if (j < B1 + tileCount(ws, ws.Image1)) searchPair(ws.Image5, S, i, j, options.flips, B1);
      if (j < B2 + tileCount(ws, ws.Image1)) searchPair(ws.Image6, S, i, j, options.flips, B2);
    }
    if (i < B1 + tileCount(ws, ws.Image1)) ws.setProgress((50 * i) / (B1 + tileCount(ws, ws.Image1)));
  }
  ws.Image7.SetHeight(ws.Image5.Height());
  ws.Image7.SetWidth(ws.Image5.Width());
  ws.Label23 = std::to_string(compact(ws, ws.Image5, ws.Image1, B1, 50));
  const int N2 = B2 + tileCount(ws, ws.Image2);
  if (ws.Image7.Width() < N2 * ws.SpriteSize) ws.Image7.SetWidth(N2 * ws.SpriteSize);
  ws.Label26 = std::to_string(compact(ws, ws.Image6, ws.Image2, B2, 75));
  ws.setProgress(0);
}
}  // namespace

void optimiseTileLists(Workspace& ws) { search(ws, TileSetOptions{}); }

OptimiseReport optimiseTileLists(Workspace& ws, const TileSetOptions& options) {
  OptimiseReport report;
  if (options.flips) {
    Workspace plain;
    testing::copyWorkspace(ws, plain);
    TileSetOptions asTheyStand = options;
    asTheyStand.flips = false;
    try {
      search(plain, asTheyStand);
    } catch (const Error&) {
    }
    search(ws, options);
    report.spriteSavedByMirroring = std::stoi(plain.Label23) - std::stoi(ws.Label23);
    report.backgroundSavedByMirroring = std::stoi(plain.Label26) - std::stoi(ws.Label26);
    return report;
  }
  search(ws, options);
  return report;
}

}  // namespace tavrik::literal
