// Random games for the tests of tavrik-batch --game: pictures of levels of different sizes drawn
// from one pool of tiles (so that later levels meet earlier tiles), an optional starting bank
// with repeated and mirrored tiles, and the game file.
#pragma once
#include <cstdint>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "cli/run_tool.h"
#include "files/output_set.h"
#include "imaging/bitmap_file.h"
#include "imaging/png_file.h"
#include "maps/tile_words.h"

namespace tavrik::test {

// Output files written without syncing them to the disk, for the tests that write many small
// sets (the syncs would take most of their time).
class ScopedUnsyncedOutputs {
 public:
  ScopedUnsyncedOutputs()
      : scope_([](const std::string& path) -> std::unique_ptr<OutputFile> { return std::make_unique<File>(path); }) {}

 private:
  class File final : public OutputFile {
   public:
    explicit File(std::string path) : path_(std::move(path)), out_(path_ + ".part", std::ios::binary) {}
    ~File() override {
      std::error_code ec;
      if (!installed_) std::filesystem::remove(path_ + ".part", ec);
    }
    bool write(const void* data, std::size_t size) override {
      out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
      return static_cast<bool>(out_);
    }
    bool finish() override {
      out_.close();
      return !out_.fail();
    }
    bool install() override {
      std::error_code ec;
      std::filesystem::rename(path_ + ".part", path_, ec);
      installed_ = !ec;
      return installed_;
    }

   private:
    std::string path_;
    std::ofstream out_;
    bool installed_ = false;
  };
  ScopedOutputFileFactory scope_;
};

struct GameLevelFiles {
  std::string name;
  std::string sprites, background, full;  // relative to the game's folder
};

struct RandomGame {
  int tileSize = 16;
  bool flips = false;
  std::optional<std::string> bank;  // prefix, relative to the game's folder
  std::vector<GameLevelFiles> levels;
};

class GameMaker {
 public:
  GameMaker(unsigned seed, int tileSize, bool flips) : rng_(seed), S_(tileSize), flips_(flips) {
    const Colour colours[] = {clBlack, clGray, clSilver, clWhite, 0x3080C0, 0xC06020};
    for (int t = 0; t < 10; ++t) {
      Surface tile(S_, S_);
      // Few colours a tile, so that some tiles of the pool reduce to the same greys.
      const Colour a = colours[rng_() % 6], b = colours[rng_() % 6];
      for (int y = 0; y < S_; ++y)
        for (int x = 0; x < S_; ++x) tile.write(x, y, rng_() % 3 ? a : b);
      pool_.push_back(std::move(tile));
    }
  }

  // A tile of the pool, mirrored at random with flips.
  Surface tile() {
    const Surface& t = pool_[rng_() % pool_.size()];
    if (!flips_ || rng_() % 2) return t;
    const bool h = rng_() % 2, v = rng_() % 2 || !h;
    Surface m(S_, S_);
    for (int y = 0; y < S_; ++y)
      for (int x = 0; x < S_; ++x) m.write(x, y, t.read(h ? S_ - 1 - x : x, v ? S_ - 1 - y : y));
    return m;
  }

  // Writes a level's three pictures into `folder`: a background of pool tiles, sprites (pool
  // tiles) over it in the full plane, and the sprite plane holding them over a key colour that
  // the cut-out removes. Some levels are PNG files, some have planes of different sizes (the
  // window's road), some have pixels right of or below the last whole tile.
  GameLevelFiles level(const std::string& folder, const std::string& name) {
    const int columns = 1 + static_cast<int>(rng_() % 6), rows = 1 + static_cast<int>(rng_() % 5);
    const int w = columns * S_ + (rng_() % 3 == 0 ? static_cast<int>(rng_() % S_) : 0);
    const int h = rows * S_ + (rng_() % 3 == 0 ? static_cast<int>(rng_() % S_) : 0);
    Surface background(w, h), full(w, h + (rng_() % 7 == 0 ? 1 : 0)), sprites(w, h, 0x00FF00);
    for (int r = 0; r * S_ < h; ++r)
      for (int c = 0; c * S_ < w; ++c) {
        const Surface ground = tile();
        const bool sprite = rng_() % 3 == 0;
        const Surface over = sprite ? tile() : Surface();
        for (int y = 0; y < S_ && r * S_ + y < h; ++y)
          for (int x = 0; x < S_ && c * S_ + x < w; ++x) {
            const int px = c * S_ + x, py = r * S_ + y;
            background.write(px, py, ground.read(x, y));
            full.write(px, py, sprite ? over.read(x, y) : ground.read(x, y));
            if (sprite) sprites.write(px, py, over.read(x, y));
          }
      }
    const bool png = rng_() % 4 == 0;
    GameLevelFiles files{name, name + "-s" + (png ? ".png" : ".bmp"), name + "-b.bmp", name + "-f.bmp"};
    if (png) writePngFile(sprites, folder + "/" + files.sprites);
    else writeBitmapFile(sprites, folder + "/" + files.sprites);
    writeBitmapFile(background, folder + "/" + files.background);
    writeBitmapFile(full, folder + "/" + files.full);
    return files;
  }

  // Writes PREFIX1.bin and PREFIX2.bin of pool tiles reduced to greys, some repeated.
  void bank(const std::string& prefix) {
    for (const char* plane : {"1.bin", "2.bin"}) {
      std::ofstream out(prefix + plane, std::ios::binary);
      const int count = static_cast<int>(rng_() % 5);
      Surface repeated;
      for (int t = 0; t < count; ++t) {
        const Surface tile = t > 0 && rng_() % 3 == 0 ? repeated : this->tile();
        repeated = tile;
        for (int y = 0; y < S_; ++y) {
          const TileRowWords words = encodeTileRow(tile.row(y), S_);
          for (const std::uint16_t word : {words.first, words.second}) out.put(static_cast<char>(word >> 8)).put(static_cast<char>(word & 0xFF));
        }
      }
    }
  }

  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
  int S_;
  bool flips_;
  std::vector<Surface> pool_;
};

// The game file of `game` named `name`; `extra` lines go before the levels.
inline std::string gameFile(const std::string& name, const RandomGame& game, const std::string& extra = {}) {
  std::string text = "name = \"" + name + "\"\ntile-size = " + std::to_string(game.tileSize) + "\n";
  if (game.flips) text += "flips = true\n";
  if (game.bank) text += "bank = \"" + *game.bank + "\"\n";
  text += extra;
  for (const GameLevelFiles& level : game.levels)
    text += "\n[[level]]\nname = \"" + level.name + "\"\nsprites = \"" + level.sprites + "\"\nbackground = \"" +
            level.background + "\"\nfull = \"" + level.full + "\"\n";
  return text;
}

// A random game of `levels` levels written into `folder` with its game file `game.toml`.
inline RandomGame writeRandomGame(const std::string& folder, unsigned seed, int levels, int tileSize, bool flips,
                                  bool bank, const std::string& name = "Jeu", const std::string& extra = {}) {
  GameMaker maker(seed, tileSize, flips);
  RandomGame game;
  game.tileSize = tileSize;
  game.flips = flips;
  if (bank) {
    maker.bank(folder + "/depart");
    game.bank = "depart";
  }
  for (int i = 0; i < levels; ++i) game.levels.push_back(maker.level(folder, "Niv" + std::to_string(i + 1)));
  std::ofstream(folder + "/game.toml") << gameFile(name, game, extra);
  return game;
}

}  // namespace tavrik::test
