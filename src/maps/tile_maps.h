// Map building and map previews: the tile index of every cell of both planes.
#pragma once
#include <cstdint>
#include <vector>

#include "workspace/workspace.h"

namespace tavrik {

struct TileMap {
  int columns = 0;
  int rows = 0;
  std::vector<std::int32_t> cells;  // row by row: cell (c, r) at r * columns + c
  long long unmatched = 0;          // cells that matched no tile of the list (value 0)
};

struct Maps {
  TileMap sprite;
  TileMap background;
};

struct MapOptions {
  // The command-line tool may leave the previews undrawn when nothing will show them; the maps
  // and the files do not change by it.
  bool drawPreviews = true;
};

// First half of "Création des MAPS": builds both maps, draws the previews, reports progress and
// leaves the gauge at 0.
Maps buildMaps(Workspace& ws, const MapOptions& options = {});

}  // namespace tavrik
