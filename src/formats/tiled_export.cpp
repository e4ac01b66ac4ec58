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

namespace {

// The map with the tile sets' XML given: the background set at first GID 1, the sprite set at
// `spriteGid`.
std::string mapWith(const std::string& backgroundSet, const std::string& spriteSet, int spriteGid,
                    const ExportTables& tables, const Maps& maps) {
  const int s = tables.tileSize;
  const int columns = std::max(maps.sprite.columns, maps.background.columns);
  const int rows = std::max(maps.sprite.rows, maps.background.rows);
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  text += format("<map version=\"1.8\" orientation=\"orthogonal\" renderorder=\"right-down\" "
                 "width=\"%d\" height=\"%d\" tilewidth=\"%d\" tileheight=\"%d\" infinite=\"0\" "
                 "nextlayerid=\"3\" nextobjectid=\"1\">\n",
                 columns, rows, s, s);
  text += backgroundSet + spriteSet;
  text += layer(1, "background", columns, rows, maps.background, tables.background.tileCount, 1);
  text += layer(2, "sprites", columns, rows, maps.sprite, tables.sprite.tileCount, spriteGid);
  return text + "</map>\n";
}

// First GID of the sprite set: after every place of the background set's image.
int spriteFirstGid(int backgroundTiles) { return 1 + tilesetRows(backgroundTiles) * kTilesetColumns; }

}  // namespace

std::string tiledMap(const std::string& name, const ExportTables& tables, const Maps& maps) {
  const int s = tables.tileSize;
  const int spriteGid = spriteFirstGid(tables.background.tileCount);
  return mapWith(tileset(name + "2", 1, tables.background.tileCount, s, ""),
                 tileset(name + "1", spriteGid, tables.sprite.tileCount, s, " trans=\"ffffff\""), spriteGid,
                 tables, maps);
}

std::string tiledTilesetFile(const std::string& name, int tileCount, int tileSize, bool whiteTransparent) {
  const int rows = tilesetRows(tileCount);
  const std::string file = xmlEscaped(name);
  return format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<tileset version=\"1.8\" name=\"%s\" tilewidth=\"%d\" tileheight=\"%d\" "
                "tilecount=\"%d\" columns=\"%d\">\n"
                " <image source=\"%s.png\"%s width=\"%d\" height=\"%d\"/>\n"
                "</tileset>\n",
                file.c_str(), tileSize, tileSize, rows * kTilesetColumns, kTilesetColumns, file.c_str(),
                whiteTransparent ? " trans=\"ffffff\"" : "", kTilesetColumns * tileSize, rows * tileSize);
}

std::string tiledLevelMap(const std::string& game, int gameBackgroundTiles, const ExportTables& tables,
                          const Maps& maps) {
  const int spriteGid = spriteFirstGid(gameBackgroundTiles);
  const auto reference = [](int firstGid, const std::string& name) {
    return format(" <tileset firstgid=\"%d\" source=\"%s.tsx\"/>\n", firstGid, xmlEscaped(name).c_str());
  };
  return mapWith(reference(1, game + "2"), reference(spriteGid, game + "1"), spriteGid, tables, maps);
}

std::vector<std::string> tiledTilesetFileNames(const std::string& game) {
  return {game + "1.tsx", game + "2.tsx", game + "1.png", game + "2.png"};
}

void stageTiledTilesets(const std::string& game, const ExportTables& tables, const std::string& folder,
                        OutputSet& set) {
  const std::vector<std::string> names = tiledTilesetFileNames(game);
  const auto path = [&](size_t k) { return outputPath(folder, names[k]); };
  const int s = tables.tileSize;
  const std::string sprites = tiledTilesetFile(game + "1", tables.sprite.tileCount, s, true);
  const std::string backgrounds = tiledTilesetFile(game + "2", tables.background.tileCount, s, false);
  set.add(path(0)).write(sprites.data(), sprites.size());
  set.add(path(1)).write(backgrounds.data(), backgrounds.size());
  writePng(tilesetImage(tables.sprite, s), set.add(path(2)));
  writePng(tilesetImage(tables.background, s), set.add(path(3)));
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
