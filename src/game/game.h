// A game: levels converted in order over one growing tile bank, described by a game file.
#pragma once
#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/game_files.h"
#include "maps/map_layout.h"
#include "tiles/tile_flips.h"

namespace tavrik::game {

// What a game writes: the binary files, assembler sources, C sources.
using GameFormat = SplitFormat;

struct GameLevel {
  std::string name;                    // base name of the level's map files
  std::string sprites, background, full;  // the pictures, paths as the runner opens them
  int line = 0;                        // where the level's table begins in the game file
};

// Every path here is as the runner uses it: relative ones are already joined to the game file's
// folder.
struct Game {
  std::string file;        // the game file, as given
  std::string name;        // base name of the shared tile sets
  std::string outputDir;   // "" = the current folder
  int tileSize = 16;
  std::array<int, 3> thresholds{100, 170, 300};
  bool autoThresholds = false;  // thresholds = "auto": one set chosen from every level's pictures
  bool flips = false;
  std::optional<std::array<int, 2>> flipBits;
  std::optional<std::array<int, 2>> maxTiles;  // sprite list, background list
  std::optional<std::array<int, 2>> tileBase;  // sprite map, background map
  MapOrder mapOrder = MapOrder::Rows;
  std::vector<GameFormat> formats{GameFormat::Bin};
  Compression compression = Compression::None;  // the map and tile tables, as --compress
  std::optional<std::string> tiledDir;
  std::optional<std::string> bank;  // prefix of the starting bank's two tile files
  std::vector<GameLevel> levels;

  bool writes(GameFormat format) const;
  // With flips, where the map records keep the mirror bits; none without.
  std::optional<FlipBits> mapFlipBits() const;
  // How the map records hold the maps: flip bits, order, tile bases.
  MapLayout mapLayout() const { return MapLayout{mapFlipBits(), mapOrder, tileBase}; }
};

// A game file that cannot be used: the French message names the file, the line and the key.
class GameFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads and checks the game file at `path` (TOML): syntax, keys, types, values, the levels'
// names and output files, the folders. Reads no picture. Throws GameFileError.
Game readGameFile(const std::string& path);

// The output files of a game, each with what writes it ("" for the game's own files, else the
// level's name), in the order they are staged.
struct GameOutput {
  std::string path;
  int level = -1;  // index of the level, -1 for the game's tile sets
};
std::vector<GameOutput> gameOutputs(const Game& game);

}  // namespace tavrik::game
