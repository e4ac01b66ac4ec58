// The lean road of tavrik-batch: when nothing will look at the working images (no
// --save-images), three pictures of one size, uncompressed bitmaps or PNG files, are converted
// band by band into the distinct tiles and the maps, without full-size planes, strips or
// scratch strip. The steps then show on the workspace exactly what the window's steps leave
// that the tool reports or writes: the gauge values, the size labels, the tile size and
// counters, the lists (holding only the surviving tiles) and the maps.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "cli/batch_options.h"
#include "maps/tile_bank.h"
#include "maps/tile_maps.h"
#include "tiles/lean_road.h"
#include "tiles/tile_lists.h"
#include "workspace/workspace.h"

namespace tavrik::batch {

class LeanRun {
 public:
  // The lean road for this run, or null when it takes the window's road: with --save-images
  // or --full-strips; when list creation, optimisation or maps is left out; when a
  // picture is neither a ".bmp" file that opens as an uncompressed bitmap nor a ".png" file
  // whose header reads (loading it the usual way then gives the picture or its error); when the
  // three pictures differ in size.
  static std::unique_ptr<LeanRun> plan(const Options& options);

  // Reads and converts the three pictures into the lists and the maps (their records keeping
  // the mirror bits of Options::mapFlipBits), and writes the size labels as loading them does.
  // `bank`: the tiles that --bank read (they begin the lists). Throws Error (a read error,
  // memory): the first error that loading the pictures one after the other gives. `progress`,
  // if any, is told the share of the pictures read, in percent, as it grows (from the road's
  // threads, one call at a time).
  void convert(Workspace& ws, const TileBank& bank = {}, std::function<void(int percent)> progress = {});

  // What `step` shows on the workspace (gauge values, tile size, counters, lists).
  void replay(Workspace& ws, Step step);

  // What the optimisation reports (tiles that only mirroring removed), once converted.
  OptimiseReport report() const;

  // The maps, once converted.
  Maps& maps() { return result_.maps; }

  // The size of the three pictures.
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  LeanRun(const Options& options, int width, int height);

  Options options_;
  int width_, height_;
  int spriteBankTiles_ = 0, backgroundBankTiles_ = 0;
  LeanResult result_;
};

}  // namespace tavrik::batch
