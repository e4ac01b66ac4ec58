// The colour passes work row by row on the surfaces, in bands on several threads, and leave
// every pixel, control size and gauge value as the column-by-column single-pixel loops do:
// - the frame is the sprite plane's control size at the start; every plane is addressed at the
//   same (x, y); a read outside a surface gives the invalid colour, a write there is dropped,
//   and the invalid colour written stores black;
// - pixels do not depend on one another, so the order of the work is free; only the gauge
//   follows the column order, and it is set per column after the work (the gauge forwards
//   only changes, so one call per column gives the same sequence as one call per pixel);
// - surfaces are accessed in the loops' first-pixel order, and when an access fails the effects
//   of the first pixel that came before it are made before the error goes on.
// Surfaces hold 24-bit values only, so copying a stored colour needs no write resolution.
#include "passes/colour_passes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "passes/colour_rules.h"
#include "passes/parallel_rows.h"

namespace tavrik {

namespace {

// Number of frame columns of row y that lie inside surface s.
inline int columnsInside(const Surface& s, int y, int frameWidth) {
  return y < s.height() ? std::min(frameWidth, s.width()) : 0;
}

// An empty frame: the loops run no pixel, and only the final gauge value is set.
bool emptyFrame(Workspace& ws, int W, int H) {
  if (W > 0 && H > 0) return false;
  ws.setProgress(0);
  return true;
}

// The gauge values of a pass that sets x * 100 / W after every pixel, then 0 at its end.
void finishWithColumnProgress(Workspace& ws, int W) {
  for (int x = 0; x < W; ++x) ws.setProgress(static_cast<int>(static_cast<long long>(x) * 100 / W));
  ws.setProgress(0);
}

// Whether any band recorded a write.
bool anyBand(const std::vector<std::uint8_t>& bandWrote) {
  return std::any_of(bandWrote.begin(), bandWrote.end(), [](std::uint8_t w) { return w != 0; });
}

// Whether the frame reaches outside surface s somewhere.
bool frameLeaves(const Surface& s, int W, int H) { return W > s.width() || H > s.height(); }

}  // namespace

void cutOut(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  if (emptyFrame(ws, W, H)) return;
  Surface& sprite = ws.Image1.surface();
  const Surface& full = ws.Image3.surface();

  const int bands = bandCount(static_cast<long long>(W) * H);
  std::vector<std::vector<std::uint8_t>> differs(static_cast<size_t>(bands));
  forEachBand(H, bands, [&](int band, int y0, int y1) {
    std::vector<std::uint8_t>& d = differs[static_cast<size_t>(band)];
    d.assign(static_cast<size_t>(W), 0);
    for (int y = y0; y < y1; ++y) {
      const int a = columnsInside(sprite, y, W);
      const int b = columnsInside(full, y, W);
      const int both = std::min(a, b);
      Colour* __restrict r1 = a > 0 ? sprite.row(y) : nullptr;
      const Colour* __restrict r3 = b > 0 ? full.row(y) : nullptr;
      std::uint8_t* __restrict flags = d.data();
      for (int x = 0; x < both; ++x) {
        const bool differ = r1[x] != r3[x];
        r1[x] = differ ? clFuchsia : r1[x];
        flags[x] |= differ;
      }
      // Inside one surface only: a stored colour against the invalid colour always differs.
      for (int x = both; x < std::max(a, b); ++x) {
        d[static_cast<size_t>(x)] = 1;
        if (x < a) r1[x] = clFuchsia;
      }
    }
  });
  bool any = false;
  for (int x = 0; x < W; ++x) {
    bool column = false;
    for (const auto& d : differs)
      if (!d.empty() && d[static_cast<size_t>(x)]) column = true;
    if (column) {
      any = true;
      ws.setProgress(static_cast<int>(static_cast<long long>(x) * 100 / W));
    }
  }
  if (any) ws.Image1.changed();
  ws.setProgress(0);
}

void greyLevels(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  if (emptyFrame(ws, W, H)) return;
  const int t1 = ws.CSpinEdit1, t2 = ws.CSpinEdit2, t3 = ws.CSpinEdit3;
  const GreyRule reduce{t1, t2, t3};
  Surface& sprite = ws.Image1.surface();
  Surface* background;
  try {
    background = &ws.Image2.surface();
  } catch (...) {
    // The first pixel of the sprite plane was reduced before the background's first access.
    const Colour p = ws.Image1.readPixel(0, 0);
    if (p != clFuchsia) ws.Image1.writePixel(0, 0, reduce(p));
    throw;
  }

  // Image1 is written (and notified) at every frame pixel that does not read clFuchsia.
  bool spriteWritten = frameLeaves(sprite, W, H);
  const int bands = bandCount(static_cast<long long>(W) * H * 2);
  std::vector<std::uint8_t> bandWrote(static_cast<size_t>(bands), 0);
  forEachBand(H, bands, [&](int band, int y0, int y1) {
    unsigned wrote = 0;
    for (int y = y0; y < y1; ++y) {
      const int a = columnsInside(sprite, y, W);
      if (a > 0) {
        Colour* r = sprite.row(y);
        for (int x = 0; x < a; ++x) {
          const Colour p = r[x];
          const unsigned keep = p == clFuchsia;
          wrote |= keep ^ 1u;
          r[x] = keep ? p : reduce(p);
        }
      }
      const int b = columnsInside(*background, y, W);
      if (b > 0) {
        Colour* r = background->row(y);
        for (int x = 0; x < b; ++x) r[x] = reduce(r[x]);
      }
    }
    bandWrote[static_cast<size_t>(band)] = wrote != 0;
  });
  if (spriteWritten || anyBand(bandWrote)) ws.Image1.changed();
  ws.Image2.changed();
  finishWithColumnProgress(ws, W);
}

void virtualMask(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  if (emptyFrame(ws, W, H)) return;
  Surface& sprite = ws.Image1.surface();
  const int bands = bandCount(static_cast<long long>(W) * H);
  std::vector<std::uint8_t> bandWrote(static_cast<size_t>(bands), 0);
  forEachBand(H, bands, [&](int band, int y0, int y1) {
    unsigned wrote = 0;
    for (int y = y0; y < y1; ++y) {
      const int a = columnsInside(sprite, y, W);
      Colour* r = a > 0 ? sprite.row(y) : nullptr;
      for (int x = 0; x < a; ++x) {
        Colour inTable;
        r[x] = maskColour(r[x], inTable);
        wrote |= inTable;
      }
    }
    bandWrote[static_cast<size_t>(band)] = wrote != 0;
  });
  if (anyBand(bandWrote)) ws.Image1.changed();
  finishWithColumnProgress(ws, W);
}

void overlayPreview(Workspace& ws) {
  const int W = ws.Image1.Width();
  const int H = ws.Image1.Height();
  if (emptyFrame(ws, W, H)) return;
  const Surface& background = ws.Image2.surface();
  Surface& full = ws.Image3.surface();
  const Surface* sprite;
  try {
    sprite = &ws.Image1.surface();
  } catch (...) {
    // The first pixel's background had been written to the full plane.
    ws.Image3.writePixel(0, 0, ws.Image2.readPixel(0, 0));
    throw;
  }
  const int bands = bandCount(static_cast<long long>(W) * H);
  forEachBand(H, bands, [&](int, int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      const int c = columnsInside(full, y, W);
      if (c <= 0) continue;
      Colour* __restrict out = full.row(y);
      const int a = std::min(c, columnsInside(*sprite, y, W));
      const int b = std::min(c, columnsInside(background, y, W));
      const Colour* __restrict r1 = a > 0 ? sprite->row(y) : nullptr;
      const Colour* __restrict r2 = b > 0 ? background.row(y) : nullptr;
      const int both = std::min(a, b);
      for (int x = 0; x < both; ++x) {
        const Colour p = r1[x], q = r2[x];
        out[x] = p != clWhite ? p : q;
      }
      // Beyond one of the two: the invalid colour read there is written as black.
      for (int x = both; x < c; ++x) {
        const Colour p = x < a ? r1[x] : invalidColour;
        const Colour q = x < b ? r2[x] : invalidColour;
        out[x] = resolveForWrite(p != clWhite ? p : q);
      }
    }
  });
  ws.Image3.changed();
  finishWithColumnProgress(ws, W);
}

}  // namespace tavrik
