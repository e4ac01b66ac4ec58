#include "maps/export_files.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "base/error.h"
#include "files/output_set.h"
#include "imaging/surface.h"
#include "maps/tile_words.h"

namespace tavrik {

namespace {

constexpr int kMaxWritableTileSize = 16;

void writeMap(StagedFile& out, const TileMap& map, const MapLayout& layout, MapPlane plane) {
  for (const std::uint16_t record : layout.records(map, plane)) {
    out.put(static_cast<std::uint8_t>(record & 0xFF));
    out.put(static_cast<std::uint8_t>(record >> 8));
  }
}

void writeTiles(StagedFile& out, ImageControl& list, const std::string& counter, int size) {
  for (const std::uint16_t word : tileWords(list, textToInt(counter), size)) {
    out.put(static_cast<std::uint8_t>(word >> 8));
    out.put(static_cast<std::uint8_t>(word & 0xFF));
  }
}

// Refuses a list whose indices, with the map's base, do not all fit its records.
void checkTileCount(const std::string& counter, const MapLayout& layout, MapPlane plane) {
  int count = 0;
  // A text that is no integer fails later, where the count is read for the tiles.
  if (tryTextToInt(counter, count)) layout.checkFits(plane, count);
}

}  // namespace

std::string outputPath(const std::string& folder, const std::string& file) {
  return folder.empty() ? file : (std::filesystem::path(folder) / file).string();
}

std::vector<std::string> exportFileNames(const std::string& name) {
  std::vector<std::string> names;
  for (const char* pattern : {"%s1.lvl", "%s2.lvl", "%s1.bin", "%s2.bin"})
    names.push_back(format(pattern, name.c_str()));
  return names;
}

std::vector<std::uint16_t> tileWords(ImageControl& list, int count, int size) {
  std::vector<std::uint16_t> words;
  if (count <= 0 || size <= 0) return words;
  words.reserve(static_cast<size_t>(count) * static_cast<size_t>(size) * 2);
  const Surface& strip = list.surface();
  std::vector<Colour> row(static_cast<size_t>(size));
  for (int t = 0; t < count; ++t) {
    const int x0 = t * size;
    const bool inside = x0 + size <= strip.width();
    for (int y = 0; y < size; ++y) {
      const Colour* pixels;
      if (inside && y < strip.height()) {
        pixels = strip.row(y) + x0;
      } else {
        for (int x = 0; x < size; ++x) row[static_cast<size_t>(x)] = strip.read(x0 + x, y);
        pixels = row.data();
      }
      const TileRowWords encoded = encodeTileRow(pixels, size);
      words.push_back(encoded.first);
      words.push_back(encoded.second);
    }
  }
  return words;
}

void checkExportable(const Workspace& ws, const MapLayout& layout) {
  if (ws.SpriteSize > kMaxWritableTileSize) throw Error(format(kTileSizeNotWritable, ws.SpriteSize));
  // Map records are 2 bytes: the indices fit below bit 16, or below the lower flip bit.
  checkTileCount(ws.Label23, layout, MapPlane::Sprite);
  checkTileCount(ws.Label26, layout, MapPlane::Background);
}

ExportTables exportTables(Workspace& ws, const Maps& maps) {
  checkExportable(ws, maps.layout);
  ExportTables tables;
  tables.tileSize = ws.SpriteSize;
  tables.layout = maps.layout;
  const auto plane = [&](PlaneTables& t, const TileMap& map, MapPlane which, ImageControl& list,
                         const std::string& counter) {
    t.columns = map.columns;
    t.rows = map.rows;
    t.map = maps.layout.records(map, which);
    t.tileCount = std::max(0, textToInt(counter));
    t.tiles = tileWords(list, t.tileCount, tables.tileSize);
  };
  plane(tables.sprite, maps.sprite, MapPlane::Sprite, ws.Image5, ws.Label23);
  plane(tables.background, maps.background, MapPlane::Background, ws.Image6, ws.Label26);
  return tables;
}

void stageExportFiles(Workspace& ws, const Maps& maps, const std::string& folder, OutputSet& set) {
  checkExportable(ws, maps.layout);
  const int size = ws.SpriteSize;

  const std::vector<std::string> names = exportFileNames(ws.Edit6);
  const auto file = [&](size_t k) -> StagedFile& { return set.add(outputPath(folder, names[k])); };
  writeMap(file(0), maps.sprite, maps.layout, MapPlane::Sprite);
  writeMap(file(1), maps.background, maps.layout, MapPlane::Background);
  writeTiles(file(2), ws.Image5, ws.Label23, size);
  writeTiles(file(3), ws.Image6, ws.Label26, size);
}

ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder) {
  // All four files are staged before any of them replaces its final name.
  OutputSet set;
  stageExportFiles(ws, maps, folder, set);
  set.commit();
  ExportResult result;
  result.files = set.committed();
  result.closingMessage = closingMessage(ws);
  return result;
}

std::string closingMessage(const Workspace& ws) {
  return format(kClosingMessage, ws.OpenPictureDialog1FileName.c_str());
}

ExportResult createMaps(Workspace& ws, const std::string& folder, const MapOptions& options) {
  const Maps maps = buildMaps(ws, options);
  return exportFiles(ws, maps, folder);
}

}  // namespace tavrik
