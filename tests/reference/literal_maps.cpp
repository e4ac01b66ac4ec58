#include "reference/literal_maps.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "imaging/error.h"

namespace tavrik::literal {

namespace {

TileMap allocate(ImageControl& plane, int s) {
  TileMap map;
  map.columns = std::max(plane.Width() / s, 0);
  map.rows = std::max(plane.Height() / s, 0);
  map.cells.assign(static_cast<size_t>(map.columns) * map.rows, 0);  // fresh storage cleared
  return map;
}

void buildOne(Workspace& ws, ImageControl& plane, ImageControl& list, const std::string& label,
              ImageControl& preview, TileMap& map, int s, int progressBase) {
  const int columns = map.columns, rows = map.rows;
  preview.SetWidth(columns * 20);
  preview.SetHeight(rows * 20);
  preview.fillRect(0, 0, plane.Width() - 1, plane.Height() - 1);

  std::vector<bool> matched(map.cells.size(), false);
  for (int i = 0; i < textToInt(label); ++i) {
    const long long count = textToInt(label);
    ws.setProgress(static_cast<int>(i * 50LL / count) + progressBase);
    for (int c = 0; c < columns; ++c) {
      for (int r = 0; r < rows; ++r) {
        bool equal = true;
        for (int tx = 0; tx < s; ++tx)
          for (int ty = 0; ty < s; ++ty)
            if (plane.readPixel(c * s + tx, r * s + ty) != list.readPixel(i * s + tx, ty))
              equal = false;
        if (equal) {
          map.cells[static_cast<size_t>(r) * columns + c] = i;
          matched[static_cast<size_t>(r) * columns + c] = true;
        }
      }
    }
  }
  map.unmatched = std::count(matched.begin(), matched.end(), false);

  for (int c = 0; c < columns; ++c)
    for (int r = 0; r < rows; ++r)
      preview.drawText(c * 20, r * 20, std::to_string(map.cells[static_cast<size_t>(r) * columns + c]));
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

void writeMapFile(std::FILE* f, const TileMap& map) {
  for (int r = 0; r < map.rows; ++r)
    for (int c = 0; c < map.columns; ++c) {
      const int v = map.cells[static_cast<size_t>(r) * map.columns + c];
      std::fputc(v & 0xFF, f);
      std::fputc((v >> 8) & 0xFF, f);
    }
}

}  // namespace

Maps buildMaps(Workspace& ws) {
  const int s = ws.SpriteSize;
  if (s == 0) throw Error(kDivisionByZero);
  Maps maps;
  maps.sprite = allocate(ws.Image1, s);
  maps.background = allocate(ws.Image2, s);
  buildOne(ws, ws.Image1, ws.Image5, ws.Label23, ws.Image8, maps.sprite, s, 0);
  ws.setProgress(50);
  buildOne(ws, ws.Image2, ws.Image6, ws.Label26, ws.Image9, maps.background, s, 50);
  ws.setProgress(0);
  return maps;
}

ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder) {
  const int s = ws.SpriteSize;
  if (s > 16) throw Error(format(kTileSizeNotWritable, s));
  for (const std::string* label : {&ws.Label23, &ws.Label26}) {
    int n = 0;
    if (tryTextToInt(*label, n) && n > 65536) throw Error(format(kTooManyTiles, n));
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
    stage("%s1.lvl", [&](std::FILE* f) { writeMapFile(f, maps.sprite); });
    stage("%s2.lvl", [&](std::FILE* f) { writeMapFile(f, maps.background); });
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

ExportResult createMaps(Workspace& ws, const std::string& folder) {
  const Maps maps = literal::buildMaps(ws);
  return literal::exportFiles(ws, maps, folder);
}

}  // namespace tavrik::literal
