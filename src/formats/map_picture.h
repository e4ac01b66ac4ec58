// Back from the output files to pictures: maps drawn with their tiles, the level as the overlay
// preview shows it, and tile sets as sheets, written as a PNG file.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/output_set.h"
#include "imaging/surface.h"
#include "maps/map_layout.h"
#include "maps/tile_maps.h"

namespace tavrik {

// Tiles a row of a tile sheet (and of a Tiled tile set image).
inline constexpr int kTilesetColumns = 16;

inline constexpr const char* kNothingToDraw = "Rien à dessiner : %s";
inline constexpr const char* kPictureTooLarge = "Image trop grande : %lld x %lld pixels (%llu au plus)";

// What a rendering draws: the level (the background plane with the sprite plane over it), one
// plane, or one list's tiles as a sheet.
enum class RenderedPlane { Level, Sprite, Background, SpriteTiles, BackgroundTiles };

struct RenderRequest {
  RenderedPlane plane = RenderedPlane::Level;
  std::string maps;                  // prefix of the maps: maps + "1.lvl", maps + "2.lvl"
  std::string tiles;                 // prefix of the tile sets: tiles + "1.bin", tiles + "2.bin"
  std::array<int, 2> columns{0, 0};  // cells a row of the sprite map and of the background map
  int tileSize = 16;
  MapLayout layout;                  // how the maps were written
};

// One plane's files as read.
struct RenderedSource {
  MapPlane plane = MapPlane::Sprite;
  std::string tileFile;
  int tileCount = 0;
  std::string mapFile;  // "" for a tile sheet
  int columns = 0, rows = 0;
};

struct Rendering {
  Surface picture;
  std::vector<RenderedSource> sources;  // in the order read: sprite files, then background files
};

// The files that `request` reads, in the order they are read.
std::vector<std::string> renderedFiles(const RenderRequest& request);

// Reads the files of `request` and draws them. Each plane's tile file is read first
// (readTileFile), then its map (readMapFile: every cell must name one of those tiles). The
// level is as large as the larger of the two planes in each direction. Errors (Error, French):
// those of the readers; kNothingToDraw when the maps hold no cell; kPictureTooLarge above
// kMaxPicturePixels pixels, checked before anything of that size is allocated.
Rendering render(const RenderRequest& request);

// A plane of map.columns x map.rows cells of S x S pixels: cell (c, r) is tile map.cells[...]
// of `tiles` (S x S colours each), mirrored as map.flips says when it has flips.
Surface drawPlane(const TileMap& map, std::span<const Colour> tiles, int S);

// The overlay preview of two planes: each pixel the sprite plane's where it is not white (colour
// number 0), the background's otherwise; white where a plane does not reach. As large as the
// larger of the two in each direction.
Surface drawLevel(Surface background, const Surface& sprites);

// The tiles (S x S colours each) in rows of kTilesetColumns: tile t at column t % 16, row
// t / 16; at least one row; the places after the last tile white.
Surface tileSheet(std::span<const Colour> tiles, int S);

// Stages the picture as the PNG file `path` into `set` (see writePng).
void stageRendering(const Surface& picture, const std::string& path, OutputSet& set);

}  // namespace tavrik
