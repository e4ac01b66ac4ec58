// Map files written by the export, read back into maps: each 2-byte little-endian record
// decoded through the map layout that wrote it.
#pragma once
#include <cstdint>
#include <string>

#include "maps/map_layout.h"
#include "maps/tile_maps.h"

namespace tavrik {

inline constexpr const char* kBadMapFile = "Fichier de carte incorrect : %s";
inline constexpr const char* kMapTooLarge = "Carte trop grande pour une image : %s (%llu cases, %llu au plus)";
inline constexpr const char* kMapWidthMismatch =
    "La largeur %d ne convient pas à la carte %s : ses %llu cases ne font pas des lignes entières";
inline constexpr const char* kMapCellWithoutTile =
    "La case (%d, %d) de la carte %s vaut %u et ne désigne aucune des %d tuiles de %s";

// What a map file refers to: its tile file's name and tile count, for the checks and the
// messages.
struct MapTiles {
  std::string name;
  int count = 0;
};

// The map in the file `path`, `columns` cells a row (columns > 0), its records in the order,
// base and mirror bits of `layout` for `plane`'s map, into cells row by row (and flips when the
// layout has flip bits). The file is opened once, never blocking, and read whole after these
// checks, each an Error: kCannotOpenFile when it is not a regular file that can be read,
// kBadMapFile when its length is odd, kMapTooLarge above `maxCells` records,
// kMapWidthMismatch when `columns` does not divide the records. Then every record must name a
// tile of `tiles` (MapLayout::decode, the index below tiles.count): kMapCellWithoutTile names the
// first that does not, in reading order, by its column and row.
TileMap readMapFile(const std::string& path, int columns, const MapLayout& layout, MapPlane plane,
                    const MapTiles& tiles, std::uint64_t maxCells);

}  // namespace tavrik
