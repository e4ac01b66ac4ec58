#include "reference/random_workspace.h"

#include <algorithm>
#include <memory>
#include <sstream>

namespace tavrik::testing {

namespace {

int uniform(Rng& rng, int lo, int hi) {  // lo..hi inclusive
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}
bool chance(Rng& rng, double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

Picture bitmapPicture(Surface surface) { return Picture::bitmap(std::move(surface)); }

int randomTileSize(Rng& rng) {
  const int r = uniform(rng, 0, 9);
  return r < 6 ? 16 : r < 8 ? 8 : 32;
}

const char* kindName(PictureKind k) {
  switch (k) {
    case PictureKind::None: return "none";
    case PictureKind::Bitmap: return "bitmap";
    case PictureKind::Icon: return "icon";
    case PictureKind::Metafile: return "metafile";
  }
  return "?";
}

}  // namespace

std::vector<Colour> randomPalette(Rng& rng, int count) {
  static constexpr Colour kWorking[] = {clBlack, clGray, clSilver, clWhite, clFuchsia};
  std::vector<Colour> palette;
  for (int i = 0; i < std::max(count, 1); ++i) {
    if (chance(rng, 0.7)) palette.push_back(kWorking[uniform(rng, 0, 4)]);
    else palette.push_back(static_cast<Colour>(rng() & 0xFFFFFFu));
  }
  return palette;
}

Picture randomBitmap(Rng& rng, int width, int height, const std::vector<Colour>& palette,
                     int tileSize) {
  Surface s(width, height, clWhite);
  auto pick = [&] { return palette[uniform(rng, 0, static_cast<int>(palette.size()) - 1)]; };
  if (tileSize <= 0) {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) s.row(y)[x] = pick();
    return bitmapPicture(std::move(s));
  }
  const int bank = uniform(rng, 1, 6);
  std::vector<std::vector<Colour>> patterns(bank);
  for (auto& p : patterns) {
    p.resize(static_cast<size_t>(tileSize) * tileSize);
    const int kind = uniform(rng, 0, 9);
    if (kind == 0) {
      std::fill(p.begin(), p.end(), clFuchsia);
    } else if (kind == 1) {
      std::fill(p.begin(), p.end(), pick());
    } else {
      for (Colour& c : p) c = pick();
    }
    if (kind == 2) p[0] = clFuchsia;
  }
  // Blocks usually start at the plane's origin, sometimes shifted so that they straddle cells.
  const int offX = chance(rng, 0.15) ? uniform(rng, 1, tileSize - 1) : 0;
  const int offY = chance(rng, 0.15) ? uniform(rng, 1, tileSize - 1) : 0;
  const int cols = (width + offX) / tileSize + 1, rows = (height + offY) / tileSize + 1;
  std::vector<int> choice(static_cast<size_t>(cols) * rows);
  for (int& c : choice) c = uniform(rng, 0, bank - 1);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int bx = (x + offX) / tileSize, by = (y + offY) / tileSize;
      const auto& p = patterns[choice[static_cast<size_t>(by) * cols + bx]];
      s.row(y)[x] = p[static_cast<size_t>((y + offY) % tileSize) * tileSize + (x + offX) % tileSize];
    }
  }
  if (chance(rng, 0.3) && width > 0 && height > 0) {
    const int noise = uniform(rng, 1, 4);
    for (int i = 0; i < noise; ++i) s.row(uniform(rng, 0, height - 1))[uniform(rng, 0, width - 1)] = pick();
  }
  return bitmapPicture(std::move(s));
}

Picture iconPicture() {
  Picture p;
  p.kind = PictureKind::Icon;
  p.iconOrMetafileWidth = 32;
  p.iconOrMetafileHeight = 32;
  return p;
}

void randomPlanes(Workspace& ws, Rng& rng, const RandomWorkspaceOptions& options) {
  const std::vector<Colour> palette = randomPalette(rng, uniform(rng, 1, 6));
  const int tileSize = chance(rng, 0.1) ? 0 : randomTileSize(rng);
  auto size = [&] {
    // Favour sizes near whole numbers of tiles, but keep tiny and ragged ones.
    const int r = uniform(rng, 0, 9);
    int s;
    if (r < 2) s = uniform(rng, 0, 20);
    else if (r < 6) s = uniform(rng, 1, std::max(1, options.maxPlaneSize / 16)) * 16;
    else s = uniform(rng, 0, options.maxPlaneSize);
    return std::clamp(s, options.minPlaneSize, std::max(options.minPlaneSize, options.maxPlaneSize));
  };
  int w[3], h[3];
  w[0] = size();
  h[0] = size();
  const bool same = chance(rng, options.sameSizeChance);
  for (int i = 1; i < 3; ++i) {
    w[i] = same ? w[0] : size();
    h[i] = same ? h[0] : size();
  }
  Picture sprite = randomBitmap(rng, w[0], h[0], palette, tileSize);
  Picture background = randomBitmap(rng, w[1], h[1], palette, tileSize);
  Picture full = randomBitmap(rng, w[2], h[2], palette, tileSize);
  if (w[2] > 0 && h[2] > 0 && chance(rng, 0.7)) {
    // Mostly the sprite plane: copy its pixels where they overlap, change a few.
    Surface& f = *full.surface;
    const Surface& sp = *sprite.surface;
    for (int y = 0; y < std::min(h[0], h[2]); ++y)
      for (int x = 0; x < std::min(w[0], w[2]); ++x) f.row(y)[x] = sp.row(y)[x];
    const int changes = uniform(rng, 0, std::max(1, w[2] * h[2] / 8));
    for (int i = 0; i < changes; ++i)
      f.row(uniform(rng, 0, h[2] - 1))[uniform(rng, 0, w[2] - 1)] =
          palette[uniform(rng, 0, static_cast<int>(palette.size()) - 1)];
  }
  Picture* pictures[3] = {&sprite, &background, &full};
  ImageControl* slots[3] = {&ws.Image1, &ws.Image2, &ws.Image3};
  for (int i = 0; i < 3; ++i) {
    if (chance(rng, options.iconChance)) slots[i]->setPicture(iconPicture());
    else slots[i]->setPicture(std::move(*pictures[i]));
  }
}

void randomWorkspace(Workspace& ws, Rng& rng, const RandomWorkspaceOptions& options) {
  randomPlanes(ws, rng, options);
  if (chance(rng, options.oddSettingsChance)) {
    ws.CSpinEdit1 = uniform(rng, 0, 1023);
    ws.CSpinEdit2 = uniform(rng, 0, 1023);
    ws.CSpinEdit3 = uniform(rng, 0, 1023);
    ws.RadioButton1 = chance(rng, 0.4);
    ws.RadioButton2 = chance(rng, 0.5);
  }
  static constexpr int kSizes[] = {0, 8, 16, 16, 32};
  ws.SpriteSize = kSizes[uniform(rng, 0, 4)];
  ws.setProgress(uniform(rng, 0, 100));
  if (chance(rng, options.historyChance)) {
    for (int n = 5; n <= 9; ++n) {
      if (!chance(rng, 0.6)) continue;
      ImageControl& image = ws.image(n);
      const int gw = uniform(rng, 0, 200), gh = uniform(rng, 0, 40);
      // Usually the control is no larger than its grid, as after real runs; sometimes larger.
      const bool larger = chance(rng, 0.2);
      image.SetWidth(larger ? gw + uniform(rng, 1, 64) : uniform(rng, 0, gw));
      image.SetHeight(larger ? gh + uniform(rng, 1, 16) : uniform(rng, 0, gh));
      image.setPicture(randomBitmap(rng, gw, gh, randomPalette(rng, uniform(rng, 1, 4)),
                                    chance(rng, 0.5) ? 0 : randomTileSize(rng)));
    }
  }
}

namespace {
// Cell (c, r) of the surface mirrored by `flip` (bit 0 left-right, bit 1 top-bottom).
std::vector<Colour> cellMirrored(const Surface& s, int S, int c, int r, unsigned flip) {
  std::vector<Colour> tile(static_cast<size_t>(S) * S);
  for (int y = 0; y < S; ++y)
    for (int x = 0; x < S; ++x)
      tile[static_cast<size_t>(y * S + x)] =
          s.read(c * S + ((flip & 1) ? S - 1 - x : x), r * S + ((flip & 2) ? S - 1 - y : y));
  return tile;
}
}  // namespace

void mirrorSomeCells(ImageControl& plane, int S, Rng& rng, double share) {
  if (plane.pictureKind() != PictureKind::Bitmap || !plane.hasSurface() || S <= 0) return;
  Surface& s = plane.surface();
  const int columns = s.width() / S, rows = s.height() / S;
  if (columns * rows < 2) return;
  const int copies = static_cast<int>(columns * rows * share);
  for (int k = 0; k < copies; ++k) {
    const int from = uniform(rng, 0, columns * rows - 1), to = uniform(rng, 0, columns * rows - 1);
    const std::vector<Colour> tile = cellMirrored(s, S, from % columns, from / columns,
                                                  static_cast<unsigned>(uniform(rng, 0, 3)));
    for (int y = 0; y < S; ++y)
      for (int x = 0; x < S; ++x)
        s.write((to % columns) * S + x, (to / columns) * S + y, tile[static_cast<size_t>(y * S + x)]);
  }
}

std::vector<Colour> randomBank(Rng& rng, const ImageControl& plane, int S, int count) {
  static constexpr Colour greys[] = {clBlack, clGray, clSilver, clWhite};
  const Surface* s = plane.surfaceIfAny();
  const int cells = s ? (s->width() / S) * (s->height() / S) : 0;
  std::vector<Colour> bank;
  for (int t = 0; t < count; ++t) {
    std::vector<Colour> tile(static_cast<size_t>(S) * S, clWhite);
    const int kind = uniform(rng, 0, 9);
    if (kind < 5 && cells > 0) {
      const int cell = uniform(rng, 0, cells - 1);
      tile = cellMirrored(*s, S, cell % (s->width() / S), cell / (s->width() / S),
                          static_cast<unsigned>(uniform(rng, 0, 3)));
    } else if (kind < 7 && t > 0) {
      const int earlier = uniform(rng, 0, t - 1);
      tile.assign(bank.begin() + static_cast<long>(earlier) * S * S, bank.begin() + static_cast<long>(earlier + 1) * S * S);
    } else {
      for (Colour& c : tile) c = greys[uniform(rng, 0, 3)];
    }
    bank.insert(bank.end(), tile.begin(), tile.end());
  }
  return bank;
}

void copyWorkspace(const Workspace& from, Workspace& to) {
  for (int n = 1; n <= 9; ++n) {
    const ImageControl& src = const_cast<Workspace&>(from).image(n);
    ImageControl& dst = to.image(n);
    Picture p;
    p.kind = src.pictureKind();
    if (const Surface* s = src.surfaceIfAny()) p.surface = std::make_unique<Surface>(*s);
    else {
      p.iconOrMetafileWidth = src.pictureWidth();
      p.iconOrMetafileHeight = src.pictureHeight();
    }
    dst.setPicture(Picture{});
    if (dst.AutoSize()) {
      // The picture sets an AutoSize control's size; then restore the control's own.
      dst.setPicture(std::move(p));
      dst.SetWidth(src.Width());
      dst.SetHeight(src.Height());
    } else {
      // Size first, while there is no surface to grow.
      dst.SetWidth(src.Width());
      dst.SetHeight(src.Height());
      dst.setPicture(std::move(p));
    }
  }
  to.SpriteSize = from.SpriteSize;
  to.Label4 = from.Label4;
  to.Label5 = from.Label5;
  to.Label7 = from.Label7;
  to.Label8 = from.Label8;
  to.Label15 = from.Label15;
  to.Label16 = from.Label16;
  to.Label23 = from.Label23;
  to.Label26 = from.Label26;
  to.CSpinEdit1 = from.CSpinEdit1;
  to.CSpinEdit2 = from.CSpinEdit2;
  to.CSpinEdit3 = from.CSpinEdit3;
  to.RadioButton1 = from.RadioButton1;
  to.RadioButton2 = from.RadioButton2;
  to.Edit6 = from.Edit6;
  to.OpenPictureDialog1FileName = from.OpenPictureDialog1FileName;
  to.setProgress(from.progress());
}

std::string describeDifference(const Workspace& a, const Workspace& b) {
  std::ostringstream out;
  auto& wa = const_cast<Workspace&>(a);
  auto& wb = const_cast<Workspace&>(b);
  for (int n = 1; n <= 9; ++n) {
    const ImageControl& x = wa.image(n);
    const ImageControl& y = wb.image(n);
    const std::string name = "Image" + std::to_string(n);
    if (x.Width() != y.Width() || x.Height() != y.Height()) {
      out << name << " control " << x.Width() << "x" << x.Height() << " vs " << y.Width() << "x"
          << y.Height();
      return out.str();
    }
    if (x.pictureKind() != y.pictureKind()) {
      out << name << " picture " << kindName(x.pictureKind()) << " vs " << kindName(y.pictureKind());
      return out.str();
    }
    const Surface* sx = x.surfaceIfAny();
    const Surface* sy = y.surfaceIfAny();
    if (!sx || !sy) {
      if (sx != sy) return name + " surface present in only one";
      if (x.pictureWidth() != y.pictureWidth() || x.pictureHeight() != y.pictureHeight())
        return name + " picture size differs";
      continue;
    }
    if (sx->width() != sy->width() || sx->height() != sy->height()) {
      out << name << " surface " << sx->width() << "x" << sx->height() << " vs " << sy->width()
          << "x" << sy->height();
      return out.str();
    }
    for (int r = 0; r < sx->height(); ++r) {
      for (int c = 0; c < sx->width(); ++c) {
        if (sx->row(r)[c] != sy->row(r)[c]) {
          out << name << " pixel (" << c << ", " << r << ") " << std::hex << sx->row(r)[c]
              << " vs " << sy->row(r)[c];
          return out.str();
        }
      }
    }
  }
  auto field = [&](const char* what, const auto& u, const auto& v) {
    if (out.tellp() == 0 && !(u == v)) out << what << " " << u << " vs " << v;
  };
  field("SpriteSize", a.SpriteSize, b.SpriteSize);
  field("Label23", a.Label23, b.Label23);
  field("Label26", a.Label26, b.Label26);
  field("Label4", a.Label4, b.Label4);
  field("Label5", a.Label5, b.Label5);
  field("Label7", a.Label7, b.Label7);
  field("Label8", a.Label8, b.Label8);
  field("Label15", a.Label15, b.Label15);
  field("Label16", a.Label16, b.Label16);
  field("CSpinEdit1", a.CSpinEdit1, b.CSpinEdit1);
  field("CSpinEdit2", a.CSpinEdit2, b.CSpinEdit2);
  field("CSpinEdit3", a.CSpinEdit3, b.CSpinEdit3);
  field("RadioButton1", a.RadioButton1, b.RadioButton1);
  field("RadioButton2", a.RadioButton2, b.RadioButton2);
  field("Edit6", a.Edit6, b.Edit6);
  field("progress", a.progress(), b.progress());
  return out.str();
}

void recordProgress(Workspace& ws, std::vector<int>& sequence) {
  ws.setProgressSink([&sequence](int percent) { sequence.push_back(percent); });
}

}  // namespace tavrik::testing
