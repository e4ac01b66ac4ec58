#include "reference/literal_maps.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "base/error.h"

namespace tavrik::literal {

namespace {

TileMap allocate(ImageControl& plane, int s, bool flips) {
  TileMap map;
  map.columns = std::max(plane.Width() / s, 0);
  map.rows = std::max(plane.Height() / s, 0);
  map.cells.assign(static_cast<size_t>(map.columns) * map.rows, 0);  // fresh storage cleared
  if (flips) map.flips.assign(map.cells.size(), Flip::None);
  return map;
}

// Each cell is compared with every tile i in the four orientations (only as it stands without
// flips): pixel (tx, ty) of the cell against pixel (tx or S-1-tx, ty or S-1-ty) of the tile.
// Per orientation the last matching tile wins; the cell takes the first orientation, in the
// order as it stands, left-right, top-bottom, both, that any tile matched.
void buildOne(Workspace& ws, ImageControl& plane, ImageControl& list, const std::string& label,
              ImageControl& preview, TileMap& map, int s, int progressBase, bool flips) {
  const int columns = map.columns, rows = map.rows;
  preview.SetWidth(columns * 20);
  preview.SetHeight(rows * 20);
  preview.fillRect(0, 0, plane.Width() - 1, plane.Height() - 1);

  const int orientations = flips ? 4 : 1;
  std::vector<std::vector<int>> best(4, std::vector<int>(map.cells.size(), -1));
  for (int i = 0; i < textToInt(label); ++i) {
    const long long count = textToInt(label);
    ws.setProgress(static_cast<int>(i * 50LL / count) + progressBase);
    for (int c = 0; c < columns; ++c) {
      for (int r = 0; r < rows; ++r) {
        for (int f = 0; f < orientations; ++f) {
          bool equal = true;
          for (int tx = 0; tx < s; ++tx)
            for (int ty = 0; ty < s; ++ty) {
              const int lx = (f & 1) ? s - 1 - tx : tx;
              const int ly = (f & 2) ? s - 1 - ty : ty;
              if (plane.readPixel(c * s + tx, r * s + ty) != list.readPixel(i * s + lx, ly)) equal = false;
            }
          if (equal) best[static_cast<size_t>(f)][static_cast<size_t>(r) * columns + c] = i;
        }
      }
    }
  }
  map.unmatched = 0;
  for (size_t cell = 0; cell < map.cells.size(); ++cell) {
    int f = 0;
    while (f < orientations && best[static_cast<size_t>(f)][cell] < 0) ++f;
    if (f == orientations) {
      ++map.unmatched;
      map.unmatchedCells.push_back(cell);
      continue;
    }
    map.cells[cell] = best[static_cast<size_t>(f)][cell];
    if (flips) map.flips[cell] = static_cast<Flip>(f);
  }

  // The legend's colours: black, red (left-right), blue (top-bottom), green (both).
  const Colour inks[] = {0x000000, 0x0000FF, 0xFF0000, 0x008000};
  for (int c = 0; c < columns; ++c)
    for (int r = 0; r < rows; ++r) {
      const size_t cell = static_cast<size_t>(r) * columns + c;
      preview.drawText(c * 20, r * 20, std::to_string(map.cells[cell]),
                       flips ? inks[static_cast<int>(map.flips[cell])] : 0x000000);
    }
}

std::string pathOf(const Workspace& ws, const std::string& folder, const char* pattern) {
  const std::string name = format(pattern, ws.Edit6.c_str());
  return folder.empty() ? name : folder + "/" + name;
}

// Opens, runs `body` with the open file, closes; a failure removes the file and propagates.
template <class Body>
void writeFile(const std::string& path, const Body& body) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw Error(format(kCannotCreateFile, path.c_str()));
  try {
    body(f);
  } catch (...) {
    std::fclose(f);
    std::remove(path.c_str());
    throw;
  }
  if (std::fclose(f) != 0) {
    std::remove(path.c_str());
    throw Error(format(kFileWriteError, path.c_str()));
  }
}

void writeList(std::FILE* f, ImageControl& list, const std::string& label, int s) {
  for (int t = 0; t < textToInt(label); ++t) {
    for (int y = 0; y < s; ++y) {
      unsigned first = 0, second = 0;
      for (int x = 0; x < s; ++x) {
        const Colour c = list.readPixel(t * s + x, y);
        first <<= 1;
        second <<= 1;
        if (c == clBlack) {
          first += 1;
          second += 1;
        } else if (c == clGray) {
          first += 1;
        } else if (c == clSilver) {
          second += 1;
        }
      }
      std::fputc(static_cast<int>((first >> 8) & 0xFF), f);
      std::fputc(static_cast<int>(first & 0xFF), f);
      std::fputc(static_cast<int>((second >> 8) & 0xFF), f);
      std::fputc(static_cast<int>(second & 0xFF), f);
    }
  }
}

void writeMapFile(std::FILE* f, const TileMap& map, const std::optional<FlipBits>& bits) {
  for (int r = 0; r < map.rows; ++r)
    for (int c = 0; c < map.columns; ++c) {
      const size_t cell = static_cast<size_t>(r) * map.columns + c;
      long long v = map.cells[cell];
      if (bits) {
        const int flip = static_cast<int>(map.flips[cell]);
        if (flip & 1) v += 1LL << bits->horizontal;
        if (flip & 2) v += 1LL << bits->vertical;
      }
      std::fputc(static_cast<int>(v & 0xFF), f);
      std::fputc(static_cast<int>((v >> 8) & 0xFF), f);
    }
}

}  // namespace

Maps buildMaps(Workspace& ws, const std::optional<FlipBits>& flips) {
  const int s = ws.SpriteSize;
  if (s == 0) throw Error(kDivisionByZero);
  Maps maps;
  maps.sprite = allocate(ws.Image1, s, flips.has_value());
  maps.background = allocate(ws.Image2, s, flips.has_value());
  maps.layout.flipBits = flips;
  buildOne(ws, ws.Image1, ws.Image5, ws.Label23, ws.Image8, maps.sprite, s, 0, flips.has_value());
  ws.setProgress(50);
  buildOne(ws, ws.Image2, ws.Image6, ws.Label26, ws.Image9, maps.background, s, 50, flips.has_value());
  ws.setProgress(0);
  return maps;
}

ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder) {
  const int s = ws.SpriteSize;
  if (s > 16) throw Error(format(kTileSizeNotWritable, s));
  for (const std::string* label : {&ws.Label23, &ws.Label26}) {
    int n = 0;
    // With flips the indices must fit below the lower flip bit.
    const int limit = maps.layout.flipBits ? 1 << std::min(maps.layout.flipBits->horizontal, maps.layout.flipBits->vertical) : 65536;
    if (tryTextToInt(*label, n) && n > limit) throw Error(format(kTooManyTilesMax, n, limit));
  }
  // Each file is written beside its final name; the four take their names once all are whole.
  ExportResult result;
  std::vector<std::string> written;
  const auto stage = [&](const char* pattern, const auto& body) {
    const std::string path = pathOf(ws, folder, pattern);
    writeFile(path + ".literal", body);
    written.push_back(path);
  };
  try {
    stage("%s1.lvl", [&](std::FILE* f) { writeMapFile(f, maps.sprite, maps.layout.flipBits); });
    stage("%s2.lvl", [&](std::FILE* f) { writeMapFile(f, maps.background, maps.layout.flipBits); });
    stage("%s1.bin", [&](std::FILE* f) { writeList(f, ws.Image5, ws.Label23, s); });
    stage("%s2.bin", [&](std::FILE* f) { writeList(f, ws.Image6, ws.Label26, s); });
  } catch (...) {
    for (const std::string& path : written) std::remove((path + ".literal").c_str());
    throw;
  }
  for (const std::string& path : written) {
    if (std::rename((path + ".literal").c_str(), path.c_str()) != 0)
      throw Error(format(kFileWriteError, path.c_str()));
    result.files.push_back(path);
  }
  result.closingMessage = format(kClosingMessage, ws.OpenPictureDialog1FileName.c_str());
  return result;
}

ExportResult createMaps(Workspace& ws, const std::string& folder, const std::optional<FlipBits>& flips) {
  const Maps maps = literal::buildMaps(ws, flips);
  return literal::exportFiles(ws, maps, folder);
}

}  // namespace tavrik::literal
