#include "maps/map_layout.h"

#include "base/error.h"
#include "maps/tile_maps.h"

namespace tavrik {

void MapLayout::checkFits(MapPlane plane, long long count) const {
  const long long limit = indexLimit();
  const int b = base(plane);
  if (b + count <= limit) return;
  if (b == 0) throw Error(format(kTooManyTilesMax, static_cast<int>(count), static_cast<int>(limit)));
  throw Error(format(kTooManyTilesForBase, b, static_cast<int>(count), static_cast<int>(limit - b)));
}

std::vector<std::uint16_t> MapLayout::records(const TileMap& map, MapPlane plane) const {
  const size_t cells = static_cast<size_t>(map.rows) * static_cast<size_t>(map.columns);
  const std::uint32_t b = static_cast<std::uint32_t>(base(plane));
  std::vector<std::uint16_t> records(cells);
  for (size_t k = 0; k < cells; ++k) {
    const size_t cell = cellOfRecord(k, map.columns, map.rows);
    const std::uint32_t index = static_cast<std::uint32_t>(map.cells[cell]) + b;
    const std::uint32_t value = flipBits && cell < map.flips.size()
                                    ? flipBits->record(static_cast<std::int32_t>(index), map.flips[cell])
                                    : index;
    records[k] = static_cast<std::uint16_t>(value & 0xFFFF);
  }
  // Cells without a tile keep today's 0.
  if (b != 0)
    for (const size_t cell : map.unmatchedCells) {
      const size_t column = cell % static_cast<size_t>(map.columns), row = cell / static_cast<size_t>(map.columns);
      records[order == MapOrder::Rows ? cell : column * static_cast<size_t>(map.rows) + row] = 0;
    }
  return records;
}

std::optional<MapRecord> MapLayout::decode(std::uint16_t record, MapPlane plane) const {
  MapRecord decoded;
  std::uint32_t value = record;
  if (flipBits) {
    const bool h = (value >> flipBits->horizontal) & 1u, v = (value >> flipBits->vertical) & 1u;
    decoded.flip = static_cast<Flip>((h ? 1u : 0u) | (v ? 2u : 0u));
    value &= ~(1u << flipBits->horizontal | 1u << flipBits->vertical);
    if (value >= static_cast<std::uint32_t>(indexLimit())) return std::nullopt;
  }
  const std::uint32_t b = static_cast<std::uint32_t>(base(plane));
  if (value < b) return std::nullopt;
  decoded.index = static_cast<std::int32_t>(value - b);
  return decoded;
}

}  // namespace tavrik
