// What one conversion read, made and wrote: the facts that the dependency file and the JSON
// summary give to build tools. Filled by whoever runs the conversion (one level or several).
#pragma once
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "files/output_set.h"

namespace tavrik {

// One plane of a level: its map and what its list gained from it.
struct PlaneReport {
  int mapWidth = 0, mapHeight = 0;  // cells of the map
  int bankTiles = 0;                // tiles the list started from
  int newTiles = 0;                 // tiles the level added
  int savedByMirroring = 0;         // tiles that only mirroring removed
};

struct LevelReport {
  std::string name;
  int width = 0, height = 0;  // pixels
  PlaneReport sprite, background;
};

// A tile list at the end of the run.
struct ListReport {
  int tiles = 0;
  std::optional<int> budget;  // --max-tiles, if any
};

struct RunReport {
  std::string version;  // of the program
  int tileSize = 16;
  std::array<int, 3> thresholds{};
  std::vector<LevelReport> levels;  // in game order
  ListReport sprite, background;
  std::vector<WrittenFile> files;   // every output in place, in the order written
  std::vector<std::string> inputs;  // every file read: game file, pictures, bank files
};

}  // namespace tavrik
