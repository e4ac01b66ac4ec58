// Windows bitmap (DIB) files: decoding into a surface, and writing a surface back out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "imaging/picture.h"
#include "imaging/surface.h"

namespace tavrik {

// Decodes a whole ".bmp" file. An empty input gives a 0 x 0 surface. Throws Error with
// "Erreur de lecture du flux" or "Image bitmap incorrecte".
Surface decodeBitmap(std::span<const std::uint8_t> bytes);

// Loads a ".bmp" file: the same surface and errors as decodeBitmap on the file's contents, and
// "Plus de ressources système" when memory runs out. Large files are read in pieces: uncompressed
// ones a few rows at a time straight into the surface, run-length data 64 KiB at a time (files
// of `streamFrom` bytes or more; tests and the fuzzer lower it to reach that path with small
// files). Empty when the file cannot be opened for reading or is not a regular file (absent,
// no access, a folder, a named pipe, a device); that is known at once, without blocking.
std::optional<Surface> readBitmapFile(const std::string& fileName,
                                      std::uint64_t streamFrom = std::uint64_t{1} << 20);

// Thumbnails for display: at most maxWidth x maxHeight pixels (each side shrunk on its own,
// never enlarged), thumbnail pixel t of n showing the picture's pixel thumbnailSample(t, n, N)
// of N, the one under its centre.
struct ThumbnailSize {
  int width = 0, height = 0;
};
ThumbnailSize thumbnailSize(int width, int height, int maxWidth, int maxHeight);
inline std::int64_t thumbnailSample(std::int64_t t, std::int64_t n, std::int64_t size) {
  return ((2 * t + 1) * size) / (2 * n);
}
Surface thumbnailOf(const Surface& surface, int maxWidth, int maxHeight);

struct BitmapThumbnail {
  int width = 0, height = 0;  // the picture's size
  Surface pixels;             // thumbnailOf(the picture, ...)
};
// The size and the thumbnail of a bitmap file's picture, decoding only the sampled pixels: the
// memory needed is that of the thumbnail whatever the picture's size. The same errors as
// decodeBitmap; an empty input gives 0 x 0.
BitmapThumbnail decodeBitmapThumbnail(std::span<const std::uint8_t> bytes, int maxWidth, int maxHeight);
// The same from a file, read in pieces; empty when readBitmapFile would be.
std::optional<BitmapThumbnail> readBitmapThumbnail(const std::string& fileName, int maxWidth,
                                                   int maxHeight);

// An uncompressed bitmap file read a band of rows at a time, with no surface for the whole
// picture: the rows hold exactly the pixels that readBitmapFile gives.
class BitmapRowReader {
 public:
  // Opens `fileName` (a regular file only, see InputFile) and checks its headers. Null when the
  // file cannot be opened or is empty, when its data is compressed, or when a check fails
  // (above `maxPixels` pixels, among others): readBitmapFile then gives the picture or the error.
  static std::unique_ptr<BitmapRowReader> open(const std::string& fileName,
                                               std::uint64_t maxPixels = kMaxPicturePixels);
  ~BitmapRowReader();
  BitmapRowReader(const BitmapRowReader&) = delete;
  BitmapRowReader& operator=(const BitmapRowReader&) = delete;

  int width() const;
  int height() const;
  // Decodes rows y .. y + count - 1 (0 is the top row) into `out`, row k at out + k * stride.
  // Throws Error("Erreur de lecture du flux") when the file no longer holds them.
  void read(int y, int count, Colour* out, std::size_t stride);

 private:
  struct State;
  explicit BitmapRowReader(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// For a picture read in bands up to `maxPixels` pixels: the error that its headers give under
// that limit, when it differs from the one that loading the file whole meets in them (a picture
// above kMaxPicturePixels whose headers are wrong for another reason too). Nothing otherwise.
void checkBandedBitmapHeaders(const std::string& fileName, std::uint64_t maxPixels);

class StagedFile;

// Writes `surface` as a 24-bit, bottom-up, uncompressed bitmap into `out` (nothing for a
// surface without pixels).
void writeBitmap(const Surface& surface, StagedFile& out);

// Writes one bitmap file through its own output set (see files/output_set.h): the previous file
// stays whole until the new one is complete. Throws Error naming the file when it cannot be
// created or written.
void writeBitmapFile(const Surface& surface, const std::string& fileName);

}  // namespace tavrik
