// Tile lists: slicing both planes into strips, and removing duplicate tiles.
#pragma once
#include <span>
#include <vector>

#include "imaging/colour.h"
#include "workspace/workspace.h"

namespace tavrik {

void createTileLists(Workspace& ws);    // "Création des listes de sprites"
void optimiseTileLists(Workspace& ws);  // "Optimisation des listes"

// Tile-set options of the two steps (the command-line tool's); the defaults give the window's
// steps exactly.
struct TileSetOptions {
  // The optimisation also removes a tile that equals an earlier surviving tile mirrored
  // left-right, top-bottom or both.
  bool flips = false;
  // Banks of tiles (S x S colours each, row by row, tile after tile): the list creation puts
  // a list's bank in its first slots and the plane's tiles after them; the optimisation keeps
  // every bank tile, even repeated, and removes the plane's tiles that equal one of them (or an
  // earlier plane tile). The sprite plane's tile count, after the sprite bank, bounds the search
  // in both lists, as without a bank.
  std::span<const Colour> spriteBank;
  std::span<const Colour> backgroundBank;
};

// Number of whole S x S tiles in a bank.
int bankTileCount(std::span<const Colour> bank, int S);

// List creation with a bank: strips of B + N slots, the bank's tiles written last.
void createTileLists(Workspace& ws, const TileSetOptions& options);

// Tiles that the optimisation removed only because of mirroring: how many more each list would
// keep without `flips`.
struct OptimiseReport {
  int spriteSavedByMirroring = 0;
  int backgroundSavedByMirroring = 0;
};
OptimiseReport optimiseTileLists(Workspace& ws, const TileSetOptions& options);

// The duplicate search without the hashes' help, which the optimisation falls back on if two
// different contents ever share a hash: of `slots` (in order; each read as slotRow reads it),
// those equal to an earlier unmarked one (in any orientation with `flips`), except the first
// `bankSlots` slots.
std::vector<int> markedByExactSearch(const Surface& strip, int S, const std::vector<int>& slots, bool flips,
                                     int bankSlots);

}  // namespace tavrik
