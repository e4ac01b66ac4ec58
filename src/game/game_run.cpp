#include "game/game_run.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

#include "base/error.h"
#include "base/text_to_int.h"
#include "formats/game_files.h"
#include "formats/tiled_export.h"
#include "imaging/picture_file.h"
#include "imaging/worker_thread.h"
#include "maps/export_files.h"
#include "maps/tile_bank.h"
#include "maps/tile_maps.h"
#include "maps/tile_words.h"
#include "passes/colour_passes.h"
#include "tiles/lean_road.h"
#include "tiles/plane_files.h"
#include "tiles/tile_lists.h"
#include "workspace/workspace.h"

namespace tavrik::game {

namespace {

std::string inQuotes(const std::string& text) { return "« " + text + " »"; }

// A level's pictures read ahead on the lean road, or the note that they take the window's road.
struct Scan {
  bool lean = false;
  std::optional<LeanScan> scan;
  std::exception_ptr error;
};

// Plans the level's road as a single run does, and on the lean road reads, passes and hashes its
// pictures. The error given is the first that loading the pictures one after the other gives.
void scanLevel(const Game& game, const GameLevel& level, Scan& out) {
  try {
    int width = 0, height = 0;
    out.lean = true;
    for (const std::string* file : {&level.sprites, &level.background, &level.full}) {
      const std::unique_ptr<PlaneRows> rows = openPlaneRows(*file);
      if (!rows || (file != &level.sprites && (rows->width() != width || rows->height() != height))) {
        out.lean = false;
        return;
      }
      width = rows->width();
      height = rows->height();
    }
    LeanSettings settings;
    settings.tileSize = game.tileSize;
    settings.flips = game.flips;
    std::copy(game.thresholds.begin(), game.thresholds.end(), settings.thresholds);
    try {
      try {
        out.scan = scanLeanRoad(planeRowsOpener(level.sprites), planeRowsOpener(level.background),
                                planeRowsOpener(level.full), settings);
      } catch (const std::bad_alloc&) {
        throw Error(kNoResources);
      }
    } catch (const Error&) {
      for (const std::string* file : {&level.sprites, &level.background, &level.full}) checkPictureFile(*file);
      throw;
    }
  } catch (...) {
    out.error = std::current_exception();
  }
}

// The tile words of `count` tiles of S x S colours.
std::vector<std::uint16_t> wordsOf(const std::vector<Colour>& pixels, int count, int S) {
  std::vector<std::uint16_t> words;
  words.reserve(static_cast<size_t>(count) * S * 2);
  for (size_t row = 0; row < static_cast<size_t>(count) * S; ++row) {
    const TileRowWords w = encodeTileRow(pixels.data() + row * S, S);
    words.push_back(w.first);
    words.push_back(w.second);
  }
  return words;
}

// The tiles that the words hold, as the bank reads them back from the files.
std::vector<Colour> tilesOf(const std::vector<std::uint16_t>& words, int S) {
  std::vector<Colour> tiles(words.size() / 2 * static_cast<size_t>(S));
  for (size_t row = 0; row < words.size() / 2; ++row) decodeTileRow(words[2 * row], words[2 * row + 1], S, &tiles[row * S]);
  return tiles;
}

void checkBudgets(const Game& game, int sprites, int backgrounds) {
  if (!game.maxTiles) return;
  if (sprites > (*game.maxTiles)[0]) throw Error(format(kOverBudget, "des sprites", sprites, (*game.maxTiles)[0]));
  if (backgrounds > (*game.maxTiles)[1])
    throw Error(format(kOverBudget, "de l'arrière-plan", backgrounds, (*game.maxTiles)[1]));
}

struct Converted {
  ExportTables tables;  // the level's maps, and its whole lists (the bank's tiles first)
  Maps maps;
  OptimiseReport mirroring;
  int width = 0, height = 0;
};

// The lean road's level: the scan merged with the bank.
Converted mergeLevel(const Game& game, LeanScan&& scan, const TileBank& bank) {
  LeanResult result = std::move(scan).merge(bank.sprites, bank.backgrounds);
  Converted c;
  c.width = result.width;
  c.height = result.height;
  c.maps = std::move(result.maps);
  c.maps.layout = game.mapLayout();
  c.mirroring = {result.sprite.savedByMirroring, result.background.savedByMirroring};
  checkBudgets(game, result.sprite.count(), result.background.count());
  // The refusals of the export, on the counters.
  Workspace ws;
  ws.SpriteSize = game.tileSize;
  ws.Label23 = std::to_string(result.sprite.count());
  ws.Label26 = std::to_string(result.background.count());
  checkExportable(ws, c.maps.layout);
  c.tables.tileSize = game.tileSize;
  c.tables.layout = c.maps.layout;
  const auto plane = [&](PlaneTables& t, const TileMap& map, const LeanList& list, MapPlane which) {
    t.columns = map.columns;
    t.rows = map.rows;
    t.map = c.maps.layout.records(map, which);
    t.tileCount = list.count();
    t.tiles = wordsOf(list.pixels, list.count(), game.tileSize);
  };
  plane(c.tables.sprite, c.maps.sprite, result.sprite, MapPlane::Sprite);
  plane(c.tables.background, c.maps.background, result.background, MapPlane::Background);
  return c;
}

// The window's road, for pictures that the lean road does not take: the steps on a workspace.
Converted convertOnWorkspace(const Game& game, const GameLevel& level, const TileBank& bank,
                             GameObserver& observer) {
  Workspace ws;
  ws.CSpinEdit1 = game.thresholds[0];
  ws.CSpinEdit2 = game.thresholds[1];
  ws.CSpinEdit3 = game.thresholds[2];
  ws.RadioButton1 = game.tileSize == 8;
  ws.RadioButton2 = game.tileSize == 16;
  ws.Edit6 = level.name;
  ws.OpenPictureDialog1FileName = level.sprites;
  int slot = 1;
  for (const std::string* file : {&level.sprites, &level.background, &level.full})
    ws.setSlotPicture(slot++, loadPictureFile(*file, PictureRules::Batch));
  const ImageControl &a = ws.Image1, &b = ws.Image2, &f = ws.Image3;
  if (a.pictureWidth() != b.pictureWidth() || a.pictureWidth() != f.pictureWidth() ||
      a.pictureHeight() != b.pictureHeight() || a.pictureHeight() != f.pictureHeight())
    observer.warning(format("niveau %s : les trois images n'ont pas la même taille (%d x %d, %d x %d, %d x %d)",
                            inQuotes(level.name).c_str(), a.pictureWidth(), a.pictureHeight(), b.pictureWidth(),
                            b.pictureHeight(), f.pictureWidth(), f.pictureHeight()));
  TileSetOptions tileSet;
  tileSet.flips = game.flips;
  tileSet.spriteBank = bank.sprites;
  tileSet.backgroundBank = bank.backgrounds;
  cutOut(ws);
  greyLevels(ws);
  virtualMask(ws);
  overlayPreview(ws);
  createTileLists(ws, tileSet);
  Converted c;
  c.mirroring = optimiseTileLists(ws, tileSet);
  int sprites = 0, backgrounds = 0;
  if (tryTextToInt(ws.Label23, sprites) && tryTextToInt(ws.Label26, backgrounds)) checkBudgets(game, sprites, backgrounds);
  MapOptions mapOptions;
  mapOptions.drawPreviews = false;
  mapOptions.flips = game.mapFlipBits();
  c.maps = buildMaps(ws, mapOptions);
  c.maps.layout = game.mapLayout();
  c.tables = exportTables(ws, c.maps);
  c.width = a.pictureWidth();
  c.height = a.pictureHeight();
  return c;
}

void warnUnmatched(GameObserver& observer, const std::string& level, const TileMap& map, const char* which) {
  if (map.unmatched <= 0) return;
  observer.warning("niveau " + inQuotes(level) + " : attention : " + std::to_string(map.unmatched) +
                   (map.unmatched > 1 ? " cases" : " case") + " de la carte " + which +
                   " sans tuile correspondante dans la liste");
}

// A level's scan, running on a thread of its own.
struct Ahead {
  Scan scan;
  WorkerThread worker;
};

std::unique_ptr<Ahead> startScan(const Game& game, size_t index) {
  auto ahead = std::make_unique<Ahead>();
  Ahead* slot = ahead.get();
  slot->worker = WorkerThread([&game, index, slot] { scanLevel(game, game.levels[index], slot->scan); });
  return ahead;
}

}  // namespace

BrightnessHistogram levelHistogram(const GameLevel& level) {
  int width = 0, height = 0;
  bool rows = true;
  for (const std::string* file : {&level.sprites, &level.background, &level.full}) {
    const std::unique_ptr<PlaneRows> r = openPlaneRows(*file);
    if (!r || (file != &level.sprites && (r->width() != width || r->height() != height))) {
      rows = false;
      break;
    }
    width = r->width();
    height = r->height();
  }
  if (rows) {
    try {
      try {
        return leanHistogram(planeRowsOpener(level.sprites), planeRowsOpener(level.background),
                             planeRowsOpener(level.full), true);
      } catch (const std::bad_alloc&) {
        throw Error(kNoResources);
      }
    } catch (const Error&) {
      for (const std::string* file : {&level.sprites, &level.background, &level.full}) checkPictureFile(*file);
      throw;
    }
  }
  Workspace ws;
  int slot = 1;
  for (const std::string* file : {&level.sprites, &level.background, &level.full})
    ws.setSlotPicture(slot++, loadPictureFile(*file, PictureRules::Batch));
  cutOut(ws);
  return planeHistogram(ws.Image1.surfaceIfAny(), ws.Image2.surfaceIfAny(), ws.Image1.Width(), ws.Image1.Height());
}

void runGame(const Game& game, OutputSet& files, GameReport& report, GameObserver& observer) {
  // thresholds = "auto": one set for the whole game, from the histogram of all its levels, read
  // before any level is converted.
  if (game.autoThresholds) {
    BrightnessHistogram histogram;
    for (const GameLevel& level : game.levels) {
      try {
        histogram.add(levelHistogram(level));
      } catch (const std::exception& e) {
        throw Error("niveau " + inQuotes(level.name) + " : " + userMessage(e));
      }
    }
    Game chosen = game;
    chosen.autoThresholds = false;
    chosen.thresholds = chooseThresholds(histogram);
    report.chosenThresholds = chosen.thresholds;
    runGame(chosen, files, report, observer);
    return;
  }
  const int S = game.tileSize;
  // The starting bank is read whole before anything else, as --bank reads it.
  TileBank bank;
  if (game.bank) bank = readTileBank(*game.bank, S, game.compression);

  // Levels kept for the Tiled maps, which refer to the game's final tile sets.
  struct TiledLevel {
    ExportTables tables;
    Maps maps;
  };
  std::vector<TiledLevel> tiled;
  ExportTables last;
  last.tileSize = S;
  last.sprite.tileCount = bankTileCount(bank.sprites, S);
  last.background.tileCount = bankTileCount(bank.backgrounds, S);

  std::unique_ptr<Ahead> next = startScan(game, 0);
  for (size_t i = 0; i < game.levels.size(); ++i) {
    const GameLevel& level = game.levels[i];
    observer.levelStarted(i);
    const std::unique_ptr<Ahead> current = std::move(next);
    current->worker.join();
    // The next level is read while this one meets the bank.
    if (i + 1 < game.levels.size()) next = startScan(game, i + 1);
    Converted c;
    try {
      if (current->scan.error) std::rethrow_exception(current->scan.error);
      if (current->scan.lean) observer.levelProgress(i, 40);
      c = current->scan.lean ? mergeLevel(game, std::move(*current->scan.scan), bank)
                             : convertOnWorkspace(game, level, bank, observer);
      observer.levelProgress(i, 80);
      // The set's folders are locked in one order before its first file (a no-op once held).
      std::vector<std::string> folders{game.outputDir};
      if (game.tiledDir) folders.push_back(*game.tiledDir);
      files.lockFolders(folders);
      for (const GameFormat format : game.formats) stageLevelFiles(level.name, c.tables, format, game.outputDir, files, game.compression);
    } catch (const std::exception& e) {
      throw Error("niveau " + inQuotes(level.name) + " : " + userMessage(e));
    }
    warnUnmatched(observer, level.name, c.maps.sprite, "des sprites");
    warnUnmatched(observer, level.name, c.maps.background, "de l'arrière-plan");

    LevelReport r;
    r.name = level.name;
    r.width = c.width;
    r.height = c.height;
    const auto plane = [&](PlaneReport& p, const PlaneTables& t, const TileMap& map, int bankTiles, int saved) {
      p.mapWidth = t.columns;
      p.mapHeight = t.rows;
      p.bankTiles = bankTiles;
      p.newTiles = t.tileCount - bankTiles;
      p.savedByMirroring = saved;
      p.unmatched = map.unmatched;
    };
    plane(r.sprite, c.tables.sprite, c.maps.sprite, bankTileCount(bank.sprites, S), c.mirroring.spriteSavedByMirroring);
    plane(r.background, c.tables.background, c.maps.background, bankTileCount(bank.backgrounds, S),
          c.mirroring.backgroundSavedByMirroring);
    report.levels.push_back(r);

    // The next level's bank: these lists as their files hold them.
    bank.sprites = tilesOf(c.tables.sprite.tiles, S);
    bank.backgrounds = tilesOf(c.tables.background.tiles, S);
    last.tileSize = c.tables.tileSize;
    last.sprite.tileCount = c.tables.sprite.tileCount;
    last.sprite.tiles = std::move(c.tables.sprite.tiles);
    last.background.tileCount = c.tables.background.tileCount;
    last.background.tiles = std::move(c.tables.background.tiles);
    if (game.tiledDir) tiled.push_back({std::move(c.tables), std::move(c.maps)});
    observer.levelDone(i, r);
  }
  report.spriteTiles = last.sprite.tileCount;
  report.backgroundTiles = last.background.tileCount;

  observer.writing();
  try {
    for (const GameFormat format : game.formats) stageTileSetFiles(game.name, last, format, game.outputDir, files, game.compression);
    if (game.tiledDir) {
      stageTiledTilesets(game.name, last, *game.tiledDir, files);
      for (size_t i = 0; i < tiled.size(); ++i) {
        const std::string map = tiledLevelMap(game.name, last.background.tileCount, tiled[i].tables, tiled[i].maps);
        files.add(outputPath(*game.tiledDir, game.levels[i].name + ".tmx")).write(map.data(), map.size());
      }
    }
  } catch (const std::exception& e) {
    throw Error(userMessage(e));
  }
  files.commit();
}

}  // namespace tavrik::game
