#include "formats/tiled_export.h"

#include <algorithm>

#include "base/error.h"
#include "imaging/png_file.h"
#include "maps/tile_words.h"

namespace tavrik {

namespace {

// Rows of a tile set image: enough for every tile, at least one.
int tilesetRows(int tileCount) {
  return std::max(1, (tileCount + kTilesetColumns - 1) / kTilesetColumns);
}

std::string xmlEscaped(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      case '\'': escaped += "&apos;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string tileset(const std::string& name, int firstGid, int tileCount, int size,
                    const char* transparent) {
  const int rows = tilesetRows(tileCount);
  const std::string file = xmlEscaped(name);
  return format(" <tileset firstgid=\"%d\" name=\"%s\" tilewidth=\"%d\" tileheight=\"%d\" "
                "tilecount=\"%d\" columns=\"%d\">\n"
                "  <image source=\"%s.png\"%s width=\"%d\" height=\"%d\"/>\n"
                " </tileset>\n",
                firstGid, file.c_str(), size, size, rows * kTilesetColumns, kTilesetColumns,
                file.c_str(), transparent, kTilesetColumns * size, rows * size);
}

// One layer of `columns` x `rows` cells in CSV, a line per row.
std::string layer(int id, const char* name, int columns, int rows, const TileMap& map,
                  int tileCount, int firstGid) {
  std::string text = format(" <layer id=\"%d\" name=\"%s\" width=\"%d\" height=\"%d\">\n"
                            "  <data encoding=\"csv\">\n",
                            id, name, columns, rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      long long gid = 0;
      if (c < map.columns && r < map.rows) {
        const size_t cell = static_cast<size_t>(r) * map.columns + c;
        const std::int32_t index = map.cells[cell];
        if (index >= 0 && index < tileCount) gid = firstGid + static_cast<long long>(index);
        // A mirrored tile (--flips): Tiled's flags, bit 31 left-right, bit 30 top-bottom.
        if (gid != 0 && cell < map.flips.size()) {
          if (mirrorsLeftRight(map.flips[cell])) gid |= 1LL << 31;
          if (mirrorsTopBottom(map.flips[cell])) gid |= 1LL << 30;
        }
      }
      text += std::to_string(gid);
      if (c + 1 < columns || r + 1 < rows) text += ',';
    }
    text += '\n';
  }
  return text + "</data>\n </layer>\n";
}

}  // namespace

Surface tilesetImage(const PlaneTables& plane, int tileSize) {
  const int s = tileSize;
  std::vector<Colour> tiles(static_cast<size_t>(plane.tileCount) * s * s);
  for (size_t row = 0; row < tiles.size() / static_cast<size_t>(s); ++row)
    decodeTileRow(plane.tiles[2 * row], plane.tiles[2 * row + 1], s, tiles.data() + row * static_cast<size_t>(s));
  return tileSheet(tiles, s);
}

std::string tiledMap(const std::string& name, const ExportTables& tables, const Maps& maps) {
  const int s = tables.tileSize;
  const int columns = std::max(maps.sprite.columns, maps.background.columns);
  const int rows = std::max(maps.sprite.rows, maps.background.rows);
  const int backgroundGid = 1;
  const int spriteGid =
      backgroundGid + tilesetRows(tables.background.tileCount) * kTilesetColumns;
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text += format("<map version=\"1.8\" orientation=\"orthogonal\" renderorder=\"right-down\" "
                 "width=\"%d\" height=\"%d\" tilewidth=\"%d\" tileheight=\"%d\" infinite=\"0\" "
                 "nextlayerid=\"3\" nextobjectid=\"1\">\n",
                 columns, rows, s, s);
  text += tileset(name + "2", backgroundGid, tables.background.tileCount, s, "");
  text += tileset(name + "1", spriteGid, tables.sprite.tileCount, s, " trans=\"ffffff\"");
  text += layer(1, "background", columns, rows, maps.background, tables.background.tileCount,
                backgroundGid);
  text += layer(2, "sprites", columns, rows, maps.sprite, tables.sprite.tileCount, spriteGid);
  return text + "</map>\n";
}

std::vector<std::string> tiledFileNames(const std::string& name) {
  return {name + ".tmx", name + "1.png", name + "2.png"};
}

void stageTiled(const std::string& name, const ExportTables& tables, const Maps& maps,
                const std::string& folder, OutputSet& set) {
  const std::vector<std::string> names = tiledFileNames(name);
  const auto path = [&](size_t k) { return outputPath(folder, names[k]); };
  const std::string map = tiledMap(name, tables, maps);
  set.add(path(0)).write(map.data(), map.size());
  writePng(tilesetImage(tables.sprite, tables.tileSize), set.add(path(1)));
  writePng(tilesetImage(tables.background, tables.tileSize), set.add(path(2)));
}

}  // namespace tavrik
