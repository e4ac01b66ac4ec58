// Tile lists and maps straight from the rows of three pictures of one size, for a conversion
// whose working images nobody looks at: the planes are read a band of one tile row at a time,
// go through the colour passes, and each tile is hashed as it is cut, so that only the distinct
// tiles and the maps are kept. No plane, strip or scratch surface is made.
//
// The result is what the window's steps give on such pictures (cut-out, grey levels and virtual
// mask as chosen, list creation, optimisation, maps): with one size for all planes the lists'
// odd cases reduce to the removed-tile rule, since a slot whose top-left pixel is clFuchsia is
// left out of its list, so a cell holding such a tile matches nothing (0, counted as
// unmatched), and every other cell matches the one surviving tile equal to it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "imaging/colour.h"
#include "maps/tile_maps.h"

namespace tavrik {

// The rows of one picture, top row first.
class PlaneRows {
 public:
  virtual ~PlaneRows() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Rows y .. y + count - 1 into `out`, row k at out + k * stride. Throws Error on failure.
  virtual void read(int y, int count, Colour* out, std::size_t stride) = 0;
  // Whether the rows can only be read in order, top to bottom (a compressed picture). Such a
  // picture is read in one band, to its last row (its errors may lie anywhere), on a thread of
  // its own one band ahead of the tiles.
  virtual bool sequential() const { return false; }
};

// Opens a reader of one picture; each thread reads through a reader of its own.
using PlaneRowsOpener = std::function<std::unique_ptr<PlaneRows>()>;

struct LeanSettings {
  int tileSize = 16;
  bool cutOut = true;  // sprite pixels that differ from the full plane become clFuchsia
  bool grey = true;    // both planes reduced to four greys by the thresholds
  int thresholds[3] = {100, 170, 300};
  bool mask = true;  // the sprite plane's virtual mask
  // Mirrored tiles stored once: a tile equal to an earlier one mirrored left-right, top-bottom or
  // both is no new tile, and the maps say how each cell mirrors its tile (TileMap::flips).
  bool flips = false;
  // Tile banks (S x S colours each, row by row, tile after tile): each list begins with every
  // tile of its bank, repeated ones included, and keeps only the plane's tiles that equal none
  // of them (in any orientation, with flips). Slots then count the bank's tiles first.
  std::span<const Colour> spriteBank, backgroundBank;
  int bands = 0;     // bands of tile rows worked on at once; 0: by the size and the machine
  // Told the share of tile rows read and cut, in percent, each time it grows; called from the
  // road's threads, one call at a time.
  std::function<void(int percent)> progress;
};

// The distinct tiles of a plane in first-occurrence order.
struct LeanList {
  int tileSize = 0;
  std::vector<Colour> pixels;  // tile after tile, each row by row
  std::vector<int> slots;      // each tile's slot in the full list (the bank's tiles, then the
                               // cells in reading order)
  int savedByMirroring = 0;    // tiles that only mirroring removed
  int count() const { return static_cast<int>(slots.size()); }
};

struct LeanResult {
  int width = 0, height = 0;
  // Per column of the planes: whether the cut-out turned a pixel of it to clFuchsia.
  std::vector<std::uint8_t> cutOutColumns;
  LeanList sprite, background;
  Maps maps;
};

// Runs the road; `full` is opened only when the cut-out runs or its rows are sequential. All
// readers must give one size.
// Errors of the readers (and running out of memory) propagate.
LeanResult runLeanRoad(const PlaneRowsOpener& sprite, const PlaneRowsOpener& background,
                       const PlaneRowsOpener& full, const LeanSettings& settings);

// The road in two halves, for levels converted one after the other over a growing bank: the
// scan reads the pictures, runs the passes and hashes the tiles, which needs no bank, so that
// the next level's scan may run while this one is merged. merge() then gives what runLeanRoad
// gives with the settings' other fields and these banks.
class LeanScan {
 public:
  LeanScan(LeanScan&&) noexcept;
  LeanScan& operator=(LeanScan&&) noexcept;
  ~LeanScan();

  LeanResult merge(std::span<const Colour> spriteBank, std::span<const Colour> backgroundBank) &&;

 private:
  friend LeanScan scanLeanRoad(const PlaneRowsOpener&, const PlaneRowsOpener&, const PlaneRowsOpener&,
                               const LeanSettings&);
  struct Impl;
  explicit LeanScan(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The first half of runLeanRoad (the banks of `settings` are not looked at). Errors propagate.
LeanScan scanLeanRoad(const PlaneRowsOpener& sprite, const PlaneRowsOpener& background,
                      const PlaneRowsOpener& full, const LeanSettings& settings);

}  // namespace tavrik
