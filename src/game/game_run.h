// Converts a game: its levels in order over one growing tile bank, through the lean road where
// the pictures allow it, each level's scan running while the level before it is merged.
#pragma once
#include <string>
#include <vector>

#include "files/output_set.h"
#include "game/game.h"

namespace tavrik::game {

// What one plane of a level gave.
struct PlaneReport {
  int mapWidth = 0, mapHeight = 0;  // cells
  int bankTiles = 0;                // tiles its list started from
  int newTiles = 0;                 // tiles it added
  int savedByMirroring = 0;
  long long unmatched = 0;          // cells that matched no tile
};

struct LevelReport {
  std::string name;
  int width = 0, height = 0;  // pixels (the sprite plane's)
  PlaneReport sprite, background;
};

struct GameReport {
  std::vector<LevelReport> levels;  // in game order, the levels converted so far
  int spriteTiles = 0, backgroundTiles = 0;  // the final lists
};

// What the runner tells while it works, always from the calling thread, in level order.
class GameObserver {
 public:
  virtual ~GameObserver() = default;
  // Level `index` begins (its pictures are being read, or were read ahead).
  virtual void levelStarted(size_t /*index*/) {}
  // How far level `index` has come: 40 once its pictures are read, passed and hashed, 80 once
  // it is merged into the lists.
  virtual void levelProgress(size_t /*index*/, int /*percent*/) {}
  // Level `index` is converted and its files staged.
  virtual void levelDone(size_t /*index*/, const LevelReport&) {}
  // Every level is converted: the files are being written.
  virtual void writing() {}
  // Something that does not stop the game (French, without the tool's prefix).
  virtual void warning(const std::string& /*message*/) {}
};

// Converts every level and stages all the game's files into `files`, then commits them as one
// set. The results are, byte for byte, those of converting the levels one by one, each with the
// files of the one before as its bank (the first with the game's bank, or none). Throws Error on
// the first failure, its message naming the level; `files` then changes no final file (unless
// the commit itself failed part way, see OutputSet). `report` holds what was converted.
void runGame(const Game& game, OutputSet& files, GameReport& report, GameObserver& observer);

}  // namespace tavrik::game
