// The conversion as a map of the Tiled map editor: a TMX file and the two tile sets as PNG.
#pragma once
#include <string>
#include <vector>

#include "files/output_set.h"
#include "formats/map_picture.h"
#include "imaging/surface.h"
#include "maps/export_files.h"
#include "maps/tile_maps.h"

namespace tavrik {

// The tiles of a list as Tiled reads a tile set image: tile t at column t % 16, row t / 16,
// each pixel the grey of its colour number (0 white, 1 silver, 2 grey, 3 black), so that the
// image shows exactly what the tile words hold. Always 16 tiles wide and at least one row high;
// the places after the last tile are white.
Surface tilesetImage(const PlaneTables& plane, int tileSize);

// The TMX text of the map named `name`: orthogonal, as many cells as the larger of the two
// grids, tiles of tables.tileSize pixels; the background tile set (image "NAME2.png", first
// GID 1), then the sprite tile set ("NAME1.png", white transparent), each counting the places
// of its whole image; the layer "background" below the layer "sprites", in CSV. A cell's GID is
// its index plus its tile set's first GID, with Tiled's flip flags for a mirrored cell (bit 31
// left-right, bit 30 top-bottom); 0 (no tile) for a cell outside its plane's grid or whose
// index is not in its list.
std::string tiledMap(const std::string& name, const ExportTables& tables, const Maps& maps);

// The files for the base name `name`, in the order they are staged: "NAME.tmx", "NAME1.png"
// and "NAME2.png".
std::vector<std::string> tiledFileNames(const std::string& name);

// Stages "NAME.tmx", "NAME1.png" and "NAME2.png" of `tables` (see exportTables: its refusals
// and counters are those of the binary files) and `maps` into `set` in `folder`, NAME being
// `name`.
void stageTiled(const std::string& name, const ExportTables& tables, const Maps& maps,
                const std::string& folder, OutputSet& set);

// A game's tile sets, shared by every level's map: the Tiled tile-set file (TSX) named `name`
// of the image "NAME.png", counting the places of the whole image; white transparent for the
// sprites' set.
std::string tiledTilesetFile(const std::string& name, int tileCount, int tileSize, bool whiteTransparent);

// The TMX text of one level of the game `game`, as tiledMap but referring to the game's tile
// sets "GAME2.tsx" (first GID 1) and "GAME1.tsx" (after the places of the game's background
// set, of `gameBackgroundTiles` tiles). `tables` are the level's (its lists are the first tiles
// of the game's).
std::string tiledLevelMap(const std::string& game, int gameBackgroundTiles, const ExportTables& tables,
                          const Maps& maps);

// The game's tile-set files, in the order they are staged: "GAME1.tsx", "GAME2.tsx",
// "GAME1.png", "GAME2.png".
std::vector<std::string> tiledTilesetFileNames(const std::string& game);

// Stages them from the game's final `tables` into `set` in `folder`.
void stageTiledTilesets(const std::string& game, const ExportTables& tables, const std::string& folder,
                        OutputSet& set);

}  // namespace tavrik
