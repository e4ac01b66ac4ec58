#include "tiles/plane_files.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "imaging/bitmap_file.h"
#include "base/error.h"
#include "imaging/picture_file.h"
#include "imaging/png_file.h"

namespace tavrik {

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

}  // namespace

std::unique_ptr<PlaneRows> openPlaneRows(const std::string& fileName) {
  std::unique_ptr<PlaneRows> rows = openRowsUpTo(fileName, kMaxBandedPixels);
  if (rows && pixelsOf(*rows) > kMaxPicturePixels && rows->width() > kMaxBandedWidth) return nullptr;
  return rows;
}

void checkPictureFile(const std::string& fileName) {
  const std::unique_ptr<PlaneRows> rows = openPlaneRows(fileName);
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

PlaneRowsOpener planeRowsOpener(const std::string& fileName) {
  return [fileName]() -> std::unique_ptr<PlaneRows> {
    std::unique_ptr<PlaneRows> rows = openPlaneRows(fileName);
    if (!rows) {
      // The file changed since the run was planned: loading it whole says what is wrong now.
      loadPictureFile(fileName, PictureRules::Batch);
      throw Error("Erreur de lecture du flux");
    }
    return rows;
  };
}


}  // namespace tavrik
