#include "cli/lean_run.h"

#include <algorithm>

#include "base/error.h"
#include "tiles/plane_files.h"

namespace tavrik::batch {

namespace {

// A list control holding the surviving tiles side by side, as the optimisation leaves it in
// view.
void showList(ImageControl& control, const LeanList& list) {
  const int S = list.tileSize;
  const int K = list.count();
  Surface strip = Surface::forOverwrite(K * S, S);
  for (int t = 0; t < K; ++t)
    for (int y = 0; y < S; ++y)
      std::copy_n(list.pixels.data() + (static_cast<size_t>(t) * S + y) * S, S, strip.row(y) + static_cast<size_t>(t) * S);
  control.SetHeight(S);
  control.SetWidth(K * S);
  control.setPicture(Picture::bitmap(std::move(strip)));
}

}  // namespace

OptimiseReport LeanRun::report() const {
  return OptimiseReport{result_.sprite.savedByMirroring, result_.background.savedByMirroring};
}

LeanRun::LeanRun(const Options& options, int width, int height)
    : options_(options), width_(width), height_(height) {}

std::unique_ptr<LeanRun> LeanRun::plan(const Options& options) {
  if (options.saveImagesDir || options.fullStrips) return nullptr;
  if (!options.runs(Step::Lists) || !options.runs(Step::Optimise) || !options.runs(Step::Maps)) return nullptr;
  int width = 0, height = 0;
  for (const std::string* file : {&options.sprites, &options.background, &options.full}) {
    const std::unique_ptr<PlaneRows> rows = openPlaneRows(*file);
    if (!rows) return nullptr;
    if (file != &options.sprites && (rows->width() != width || rows->height() != height)) return nullptr;
    width = rows->width();
    height = rows->height();
  }
  return std::unique_ptr<LeanRun>(new LeanRun(options, width, height));
}

void LeanRun::convert(Workspace& ws, const TileBank& bank, std::function<void(int percent)> progress) {
  LeanSettings settings;
  settings.progress = std::move(progress);
  settings.spriteBank = bank.sprites;
  settings.backgroundBank = bank.backgrounds;
  spriteBankTiles_ = bankTileCount(bank.sprites, options_.tileSize);
  backgroundBankTiles_ = bankTileCount(bank.backgrounds, options_.tileSize);
  settings.tileSize = options_.tileSize;
  settings.cutOut = options_.runs(Step::CutOut);
  settings.grey = options_.runs(Step::Grey);
  settings.mask = options_.runs(Step::Mask);
  settings.flips = options_.flips;
  std::copy(options_.thresholds.begin(), options_.thresholds.end(), settings.thresholds);
  try {
    try {
      result_ = runLeanRoad(planeRowsOpener(options_.sprites), planeRowsOpener(options_.background), planeRowsOpener(options_.full), settings);
    } catch (const std::bad_alloc&) {
      throw Error("Plus de ressources système");
    }
  } catch (const Error&) {
    // The pictures are read side by side, so the first error met need not be the one that
    // loading them one after the other meets first: load them so, one at a time, and give the
    // first error of that order (the same as the one met, if no other).
    for (const std::string* file : {&options_.sprites, &options_.background, &options_.full}) checkPictureFile(*file);
    throw;
  }
  result_.maps.layout = options_.mapLayout();
  const std::string width = std::to_string(width_), height = std::to_string(height_);
  ws.Label4 = ws.Label7 = ws.Label15 = width;
  ws.Label5 = ws.Label8 = ws.Label16 = height;
}

void LeanRun::replay(Workspace& ws, Step step) {
  const int W = width_;
  const int S = options_.tileSize;
  const long long N = static_cast<long long>(W / S) * (height_ / S);
  const long long N1 = spriteBankTiles_ + N, N2 = backgroundBankTiles_ + N;
  switch (step) {
    case Step::CutOut:
      // The columns where a pixel changed, in order, then 0.
      for (int x = 0; x < W; ++x)
        if (result_.cutOutColumns[static_cast<size_t>(x)]) ws.setProgress(static_cast<int>(100LL * x / W));
      ws.setProgress(0);
      break;
    case Step::Grey:
    case Step::Mask:
    case Step::Overlay:
      // Every column, then 0.
      reportProgressSteps(ws, 0, 100, 0, W);
      ws.setProgress(0);
      break;
    case Step::Lists:
      // Each list holds its bank's tiles, then one slot per cell.
      ws.SpriteSize = S;
      ws.Label23 = std::to_string(N1);
      ws.Label26 = std::to_string(N2);
      break;
    case Step::Optimise:
      // The search's outer tiles, then each survivor's old slot in both compactions.
      reportProgressSteps(ws, 0, 50, 0, N1);
      for (int k : result_.sprite.slots) ws.setProgress(50 + static_cast<int>(25 * k / N1));
      for (int k : result_.background.slots) ws.setProgress(75 + static_cast<int>(25 * k / N2));
      showList(ws.Image5, result_.sprite);
      showList(ws.Image6, result_.background);
      ws.Label23 = std::to_string(result_.sprite.count());
      ws.Label26 = std::to_string(result_.background.count());
      ws.setProgress(0);
      break;
    case Step::Maps: {
      // Each list tile as its matching begins, then the middle and the end.
      const long long L1 = result_.sprite.count(), L2 = result_.background.count();
      reportProgressSteps(ws, 0, 50, 0, L1);
      ws.setProgress(50);
      reportProgressSteps(ws, 50, 50, 0, L2);
      ws.setProgress(0);
      break;
    }
  }
}

}  // namespace tavrik::batch
