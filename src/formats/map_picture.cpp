#include "formats/map_picture.h"

#include <algorithm>

#include "base/error.h"
#include "imaging/picture.h"
#include "imaging/png_file.h"
#include "maps/map_file.h"
#include "maps/tile_bank.h"

namespace tavrik {

namespace {

bool drawsMaps(RenderedPlane plane) {
  return plane == RenderedPlane::Level || plane == RenderedPlane::Sprite || plane == RenderedPlane::Background;
}

// The planes whose files `plane` reads, in order.
std::vector<MapPlane> planesOf(RenderedPlane plane) {
  switch (plane) {
    case RenderedPlane::Level: return {MapPlane::Sprite, MapPlane::Background};
    case RenderedPlane::Sprite:
    case RenderedPlane::SpriteTiles: return {MapPlane::Sprite};
    case RenderedPlane::Background:
    case RenderedPlane::BackgroundTiles: return {MapPlane::Background};
  }
  return {};
}

std::string fileOf(const std::string& prefix, MapPlane plane, const char* extension) {
  return prefix + (plane == MapPlane::Sprite ? "1" : "2") + extension;
}

// Refuses a picture of more than kMaxPicturePixels pixels.
void checkPictureSize(long long width, long long height) {
  if (width > 0 && height > 0 && static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPicturePixels)
    throw Error(format(kPictureTooLarge, width, height, static_cast<unsigned long long>(kMaxPicturePixels)));
}

}  // namespace

std::vector<std::string> renderedFiles(const RenderRequest& request) {
  std::vector<std::string> files;
  for (const MapPlane plane : planesOf(request.plane)) {
    files.push_back(fileOf(request.tiles, plane, ".bin"));
    if (drawsMaps(request.plane)) files.push_back(fileOf(request.maps, plane, ".lvl"));
  }
  return files;
}

Rendering render(const RenderRequest& request) {
  const int S = request.tileSize;
  // A map of more cells than a picture can hold is refused before it is read.
  const std::uint64_t maxCells = kMaxPicturePixels / static_cast<std::uint64_t>(S * S);
  Rendering rendering;
  std::vector<std::vector<Colour>> tiles;
  std::vector<TileMap> maps;
  for (const MapPlane plane : planesOf(request.plane)) {
    RenderedSource source;
    source.plane = plane;
    source.tileFile = fileOf(request.tiles, plane, ".bin");
    tiles.push_back(readTileFile(source.tileFile, S));
    source.tileCount = static_cast<int>(tiles.back().size() / (static_cast<size_t>(S) * S));
    if (drawsMaps(request.plane)) {
      source.mapFile = fileOf(request.maps, plane, ".lvl");
      maps.push_back(readMapFile(source.mapFile, request.columns[static_cast<size_t>(plane)], request.layout, plane,
                                 MapTiles{source.tileFile, source.tileCount}, maxCells));
      source.columns = maps.back().columns;
      source.rows = maps.back().rows;
    }
    rendering.sources.push_back(source);
  }
  if (maps.empty()) {
    rendering.picture = tileSheet(tiles[0], S);
    return rendering;
  }

  // The picture's size is known from the maps: checked before any plane is drawn.
  long long width = 0, height = 0;
  for (const TileMap& map : maps)
    if (map.rows > 0) {
      width = std::max(width, static_cast<long long>(map.columns) * S);
      height = std::max(height, static_cast<long long>(map.rows) * S);
    }
  if (width <= 0 || height <= 0) {
    const std::string what = maps.size() > 1 ? rendering.sources[0].mapFile + " et " +
                                                   rendering.sources[1].mapFile + " n'ont aucune case"
                                             : rendering.sources[0].mapFile + " n'a aucune case";
    throw Error(format(kNothingToDraw, what.c_str()));
  }
  checkPictureSize(width, height);
  if (maps.size() == 1) {
    rendering.picture = drawPlane(maps[0], tiles[0], S);
  } else {
    const Surface sprites = drawPlane(maps[0], tiles[0], S);
    rendering.picture = drawLevel(drawPlane(maps[1], tiles[1], S), sprites);
  }
  return rendering;
}

Surface drawPlane(const TileMap& map, std::span<const Colour> tiles, int S) {
  if (map.rows <= 0 || map.columns <= 0) return Surface();
  Surface plane = Surface::forOverwrite(map.columns * S, map.rows * S);
  const size_t area = static_cast<size_t>(S) * S;
  std::vector<Colour> turned(area);
  for (int r = 0; r < map.rows; ++r)
    for (int c = 0; c < map.columns; ++c) {
      const size_t cell = static_cast<size_t>(r) * map.columns + c;
      const Colour* tile = tiles.data() + static_cast<size_t>(map.cells[cell]) * area;
      const Flip flip = cell < map.flips.size() ? map.flips[cell] : Flip::None;
      if (flip != Flip::None) {
        copyMirrored([&](int y) { return tile + static_cast<size_t>(y) * S; }, S, flip, turned.data());
        tile = turned.data();
      }
      for (int y = 0; y < S; ++y)
        std::copy_n(tile + static_cast<size_t>(y) * S, S, plane.row(r * S + y) + static_cast<size_t>(c) * S);
    }
  return plane;
}

Surface drawLevel(Surface background, const Surface& sprites) {
  // The background becomes the level: no third picture of that size.
  Surface level = std::move(background);
  level.grow(sprites.width(), sprites.height());
  for (int y = 0; y < sprites.height(); ++y) {
    Colour* out = level.row(y);
    const Colour* over = sprites.row(y);
    for (int x = 0; x < sprites.width(); ++x)
      if (over[x] != clWhite) out[x] = over[x];
  }
  return level;
}

Surface tileSheet(std::span<const Colour> tiles, int S) {
  const size_t area = static_cast<size_t>(S) * S;
  const int count = static_cast<int>(tiles.size() / area);
  const int rows = std::max(1, (count + kTilesetColumns - 1) / kTilesetColumns);
  Surface sheet(kTilesetColumns * S, rows * S);
  for (int t = 0; t < count; ++t) {
    const int x0 = t % kTilesetColumns * S, y0 = t / kTilesetColumns * S;
    for (int y = 0; y < S; ++y)
      std::copy_n(tiles.data() + t * area + static_cast<size_t>(y) * S, S, sheet.row(y0 + y) + x0);
  }
  return sheet;
}

void stageRendering(const Surface& picture, const std::string& path, OutputSet& set) {
  writePng(picture, set.add(path));
}

}  // namespace tavrik
