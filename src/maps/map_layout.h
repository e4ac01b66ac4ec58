// How the map files and the map tables hold a map: one 16-bit record per cell, in rows or in
// columns, each the cell's tile index plus a base, with the mirror bits above the index when
// the maps carry flips. Every writer of map records and the reader of map files go through it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tiles/tile_flips.h"

namespace tavrik {

struct TileMap;

// The order of a map's records: rows (each row left to right, top row first) or columns (each
// column top to bottom, left column first).
enum class MapOrder { Rows, Columns };

// The two maps of a conversion: the sprite map ("%s1.lvl") and the background map ("%s2.lvl").
enum class MapPlane { Sprite = 0, Background = 1 };

inline constexpr int kMaxTiles = 65536;  // indices of 2-byte map records without flip bits

inline constexpr const char* kTooManyTilesMax = "Trop de tuiles dans la liste : %d (%d au plus)";
inline constexpr const char* kTooManyTilesForBase =
    "Trop de tuiles dans la liste pour la base %d : %d (%d au plus)";

// A record read back: the tile index (the base taken off) and how the tile is mirrored.
struct MapRecord {
  std::int32_t index = 0;
  Flip flip = Flip::None;
};

struct MapLayout {
  std::optional<FlipBits> flipBits;            // records keep mirror bits (--flips, --flip-bits)
  MapOrder order = MapOrder::Rows;             // --map-order
  std::optional<std::array<int, 2>> tileBase;  // --tile-base: sprite map, background map

  int base(MapPlane plane) const { return tileBase ? (*tileBase)[static_cast<int>(plane)] : 0; }

  // Values that a tile index plus its base may take: those below the lower flip bit, or all of
  // a 16-bit record.
  long long indexLimit() const { return flipBits ? flipBits->maxTiles() : kMaxTiles; }

  // Throws Error when a list of `count` tiles does not fit the records of `plane`'s map: base +
  // count above indexLimit(). Without a base, the message of the export ("Trop de tuiles dans
  // la liste : %d (%d au plus)"); with one, kTooManyTilesForBase.
  void checkFits(MapPlane plane, long long count) const;

  // The position (r * columns + c) of the cell that record `k` of a columns x rows map holds.
  std::size_t cellOfRecord(std::size_t k, int columns, int rows) const {
    if (order == MapOrder::Rows || rows <= 0) return k;
    return (k % static_cast<std::size_t>(rows)) * static_cast<std::size_t>(columns) +
           k / static_cast<std::size_t>(rows);
  }

  // The records of `plane`'s map, in this order: the low 16 bits of index + base, with the mirror
  // bits of the cell's flip when the layout has flip bits and the map its flips. A cell that
  // matched no tile (TileMap::unmatchedCells) stays 0 whatever the base, as without one.
  std::vector<std::uint16_t> records(const TileMap& map, MapPlane plane) const;

  // The tile and mirroring of `record` in `plane`'s map; nothing when the record is below the
  // base or has bits that this layout never writes (other bits at or above the lower flip bit).
  std::optional<MapRecord> decode(std::uint16_t record, MapPlane plane) const;
};

}  // namespace tavrik
