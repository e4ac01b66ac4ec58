#include "maps/map_file.h"

#include <optional>
#include <vector>

#include "base/error.h"
#include "files/input_file.h"
#include "maps/tile_bank.h"

namespace tavrik {

TileMap readMapFile(const std::string& path, int columns, const MapLayout& layout, MapPlane plane,
                    const MapTiles& tiles, std::uint64_t maxCells) {
  const std::optional<InputFile> file = InputFile::open(path);
  if (!file) throw Error(format(kCannotOpenFile, path.c_str()));
  const std::uint64_t size = file->size();
  if (size % 2 != 0) throw Error(format(kBadMapFile, path.c_str()));
  const std::uint64_t cells = size / 2;
  if (cells > maxCells)
    throw Error(format(kMapTooLarge, path.c_str(), static_cast<unsigned long long>(cells),
                       static_cast<unsigned long long>(maxCells)));
  if (columns <= 0 || cells % static_cast<std::uint64_t>(columns) != 0)
    throw Error(format(kMapWidthMismatch, columns, path.c_str(), static_cast<unsigned long long>(cells)));
  std::vector<std::uint8_t> bytes(static_cast<size_t>(size));
  if (!file->readAt(0, bytes.data(), bytes.size())) throw Error(format(kCannotOpenFile, path.c_str()));

  TileMap map;
  map.columns = columns;
  map.rows = static_cast<int>(cells / static_cast<std::uint64_t>(columns));
  map.cells.assign(static_cast<size_t>(cells), 0);
  if (layout.flipBits) map.flips.assign(map.cells.size(), Flip::None);
  for (size_t k = 0; k < map.cells.size(); ++k) {
    const std::uint16_t record = static_cast<std::uint16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
    const size_t cell = layout.cellOfRecord(k, map.columns, map.rows);
    const std::optional<MapRecord> decoded = layout.decode(record, plane);
    if (!decoded || decoded->index >= tiles.count) {
      const int c = static_cast<int>(cell % static_cast<size_t>(columns));
      const int r = static_cast<int>(cell / static_cast<size_t>(columns));
      std::string message = format(kMapCellWithoutTile, c, r, path.c_str(), static_cast<unsigned>(record),
                                   tiles.count, tiles.name.c_str());
      if (layout.base(plane) != 0) message += format(" à partir de l'indice %d", layout.base(plane));
      throw Error(message);
    }
    map.cells[cell] = decoded->index;
    if (layout.flipBits) map.flips[cell] = decoded->flip;
  }
  return map;
}

}  // namespace tavrik
