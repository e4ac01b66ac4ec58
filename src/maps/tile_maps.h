// Map building and map previews: the tile index of every cell of both planes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "maps/map_layout.h"
#include "tiles/tile_flips.h"
#include "workspace/workspace.h"

namespace tavrik {

// Edge in pixels of the square that one cell's number takes in a map preview.
inline constexpr int kPreviewCellSize = 20;

struct TileMap {
  int columns = 0;
  int rows = 0;
  std::vector<std::int32_t> cells;  // row by row: cell (c, r) at r * columns + c
  long long unmatched = 0;          // cells that matched no tile of the list (value 0)
  std::vector<std::size_t> unmatchedCells;  // their positions (r * columns + c), in order
  std::vector<Flip> flips;          // with mirroring: per cell, how its tile is mirrored;
                                    // empty otherwise
};

struct Maps {
  TileMap sprite;
  TileMap background;
  // How the records hold the maps: with mirroring, where they keep the flips; their order and
  // tile bases.
  MapLayout layout;
};

struct MapOptions {
  // false: the previews Image8 and Image9 are left exactly as they are: their controls are not
  // resized, their surfaces are neither created, filled nor drawn on, and they get no change
  // notification. Everything else (maps, gauge percentages, errors, files) is the same. For
  // the command-line tool, where nothing shows the previews.
  bool drawPreviews = true;
  // Set: a cell that equals no tile as it stands may take a mirrored one (TileMap::flips), and
  // the map records carry the flips at these bits. The previews then draw each number in the
  // legend's colour of its orientation.
  std::optional<FlipBits> flips;
};

// First half of "Création des MAPS". With S = SpriteSize, each plane's grid is
// (plane width / S) x (plane height / S) cells; a cell gets the highest index i < L among the
// list tiles (slot i of its strip, read like any surface pixel, so slots beyond the strip read
// the invalid colour) whose S x S pixels equal the cell's, L being the tile counter's value
// (Label23 for the sprite list, Label26 for the background list); a cell that equals no tile
// gets 0 and is counted in TileMap::unmatched. With options.flips, a cell that equals no tile as
// it stands takes the first of left-right, top-bottom, both in which it equals a tile, with the
// highest index in that orientation.
//
// In order: "Division par zéro" when S is 0, before anything else; the sprite preview (Image8)
// is sized C1·20 x R1·20 and the plane's rectangle (0, 0, W1 − 1, H1 − 1) filled white on it;
// Label23 is read ("'%s' n'est pas une valeur entière correcte" on a bad text); the gauge takes
// i × 50 / L1 for each tile i (only its changes are reported); the sprite numbers are drawn at
// (c·20, r·20), column by column; the gauge goes to 50; the same for the background plane,
// Image9, Label26 and k × 50 / L2 + 50; the gauge goes back to 0.
//
// Costs O((L + C·R)·S²): the list's tiles are hashed once and each cell is looked up.
Maps buildMaps(Workspace& ws, const MapOptions& options = {});

// Gives the gauge the values base + i × span / count for i = from … count − 1, in order (span
// > 0). The workspace reports only changes of value, so one call per distinct value is made:
// what the gauge shows and reports is the same as with one call per i, at a cost of O(span).
void reportProgressSteps(Workspace& ws, int base, int span, long long from, long long count);

}  // namespace tavrik
