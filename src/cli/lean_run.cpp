#include "cli/lean_run.h"

#include <algorithm>

#include "base/error.h"
#include "imaging/bitmap_file.h"
#include "imaging/picture_file.h"
#include "imaging/png_file.h"

namespace tavrik::batch {

namespace {

class BitmapRows final : public PlaneRows {
 public:
  explicit BitmapRows(std::unique_ptr<BitmapRowReader> reader) : reader_(std::move(reader)) {}
  int width() const override { return reader_->width(); }
  int height() const override { return reader_->height(); }
  void read(int y, int count, Colour* out, std::size_t stride) override { reader_->read(y, count, out, stride); }

 private:
  std::unique_ptr<BitmapRowReader> reader_;
};

// A PNG picture decodes from its first row on: rows are read in order only.
class PngRows final : public PlaneRows {
 public:
  explicit PngRows(std::unique_ptr<PngReader> reader) : reader_(std::move(reader)) {}
  int width() const override { return reader_->width(); }
  int height() const override { return reader_->height(); }
  void read(int, int count, Colour* out, std::size_t stride) override {
    for (int k = 0; k < count; ++k) reader_->readRow(out + static_cast<size_t>(k) * stride);
  }
  bool sequential() const override { return true; }

 private:
  std::unique_ptr<PngReader> reader_;
};

enum class Kind { Bitmap, Png, Other };

Kind kindOf(const std::string& fileName) {
  std::string extension = fileExtension(fileName);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return extension == "bmp" ? Kind::Bitmap : extension == "png" ? Kind::Png : Kind::Other;
}

// Pictures read in bands may be larger than those loaded whole, since a band's memory grows
// with the width only: above kMaxPicturePixels pixels, up to kMaxBandedPixels when they are at
// most kMaxBandedWidth pixels wide (a band of 16 rows then takes 4 MiB a picture).
constexpr std::uint64_t kMaxBandedPixels = std::uint64_t{1} << 32;
constexpr int kMaxBandedWidth = 65536;

std::uint64_t pixelsOf(const PlaneRows& rows) {
  return static_cast<std::uint64_t>(rows.width()) * static_cast<std::uint64_t>(rows.height());
}

std::unique_ptr<PlaneRows> openRowsUpTo(const std::string& fileName, std::uint64_t maxPixels) {
  switch (kindOf(fileName)) {
    case Kind::Bitmap:
      if (std::unique_ptr<BitmapRowReader> reader = BitmapRowReader::open(fileName, maxPixels))
        return std::make_unique<BitmapRows>(std::move(reader));
      return nullptr;
    case Kind::Png:
      try {
        if (std::unique_ptr<PngReader> reader = PngReader::open(fileName, maxPixels))
          return std::make_unique<PngRows>(std::move(reader));
      } catch (const Error&) {  // a bad header
      }
      return nullptr;
    case Kind::Other:
      break;
  }
  return nullptr;
}

// Rows of the picture in `fileName`; null when it is not a picture that can be read in bands
// (loading it whole then gives the picture or its error).
std::unique_ptr<PlaneRows> openRows(const std::string& fileName) {
  std::unique_ptr<PlaneRows> rows = openRowsUpTo(fileName, kMaxBandedPixels);
  if (rows && pixelsOf(*rows) > kMaxPicturePixels && rows->width() > kMaxBandedWidth) return nullptr;
  return rows;
}

// Gives the error that loading the picture in `fileName` gives, if any. One larger than those
// loaded whole is read through its rows to its end instead, so that its own error is given
// rather than its size.
void checkPicture(const std::string& fileName) {
  const std::unique_ptr<PlaneRows> rows = openRows(fileName);
  if (!rows || pixelsOf(*rows) <= kMaxPicturePixels) {
    if (!rows && kindOf(fileName) == Kind::Bitmap) checkBandedBitmapHeaders(fileName, kMaxBandedPixels);
    loadPictureFile(fileName, PictureRules::Batch);
    return;
  }
  constexpr int kRows = 16;
  std::vector<Colour> band(static_cast<size_t>(rows->width()) * kRows);
  for (int y = 0; y < rows->height(); y += kRows)
    rows->read(y, std::min(kRows, rows->height() - y), band.data(), static_cast<size_t>(rows->width()));
}

PlaneRowsOpener opener(const std::string& fileName) {
  return [fileName]() -> std::unique_ptr<PlaneRows> {
    std::unique_ptr<PlaneRows> rows = openRows(fileName);
    if (!rows) {
      // The file changed since the run was planned: loading it whole says what is wrong now.
      loadPictureFile(fileName, PictureRules::Batch);
      throw Error("Erreur de lecture du flux");
    }
    return rows;
  };
}

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
    const std::unique_ptr<PlaneRows> rows = openRows(*file);
    if (!rows) return nullptr;
    if (file != &options.sprites && (rows->width() != width || rows->height() != height)) return nullptr;
    width = rows->width();
    height = rows->height();
  }
  return std::unique_ptr<LeanRun>(new LeanRun(options, width, height));
}

void LeanRun::convert(Workspace& ws, const TileBank& bank) {
  LeanSettings settings;
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
      result_ = runLeanRoad(opener(options_.sprites), opener(options_.background), opener(options_.full), settings);
    } catch (const std::bad_alloc&) {
      throw Error("Plus de ressources système");
    }
  } catch (const Error&) {
    // The pictures are read side by side, so the first error met need not be the one that
    // loading them one after the other meets first: load them so, one at a time, and give the
    // first error of that order (the same as the one met, if no other).
    for (const std::string* file : {&options_.sprites, &options_.background, &options_.full}) checkPicture(*file);
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
