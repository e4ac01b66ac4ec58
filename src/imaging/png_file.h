// PNG files through libspng: decoding into a surface row by row, and writing a surface.
//
// Decoding takes the pixels as stored (gamma, colour profiles and text chunks are ignored).
// Every colour type, bit depth, Adam7 interlacing and tRNS are read; 16-bit channels become
// 8-bit by round(v * 255 / 65535); a pixel whose alpha is below 128 (of 255) becomes clFuchsia,
// any other pixel its colour.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "imaging/picture.h"
#include "imaging/surface.h"

struct spng_ctx;

namespace tavrik {

// Frees a libspng context (for std::unique_ptr).
struct SpngContextFree {
  void operator()(spng_ctx* ctx) const;
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextFree>;

// One PNG picture being decoded, top row first. The header is read and checked when the reader
// is made: a picture above 2^28 pixels gives "Image PNG incorrecte", and one whose pixel data
// could not fit in the file's size "Erreur de lecture du flux", before anything large is
// allocated. Errors: "Image PNG incorrecte" (signature, chunk, CRC, header, data),
// "Erreur de lecture du flux" (the file ends early), "Plus de ressources système".
class PngReader {
 public:
  // Reads from `bytes`, which must outlive the reader.
  explicit PngReader(std::span<const std::uint8_t> bytes);
  // Reads from the file; nullptr when it cannot be opened for reading or is not a regular file
  // (absent, no access, a folder, a named pipe, a device), known at once, without blocking.
  // Pictures above `maxPixels` pixels are refused ("Image PNG incorrecte"); an interlaced one,
  // decoded whole, above kMaxPicturePixels too.
  static std::unique_ptr<PngReader> open(const std::string& fileName,
                                         std::uint64_t maxPixels = kMaxPicturePixels);
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }

  // Decodes the next row into `out` (width() colours). An interlaced picture is decoded whole
  // on the first call and handed out from there. Reading the last row also reads the rest of
  // the file up to its end chunk, so a file cut short after its pixels still fails.
  void readRow(Colour* out);
  // Decodes every row not read yet into a new surface of the picture's size (rows already
  // taken with readRow are left unset), straight into its rows.
  Surface readSurface();

 private:
  struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  PngReader(std::FILE* file, std::uint64_t size, std::uint64_t maxPixels);
  void newContext(std::uint64_t inputSize);
  void start(std::uint64_t inputSize, std::uint64_t maxPixels = kMaxPicturePixels);
  void decodeRow(Colour* out, int y);
  void decodeInterlaced(Surface& surface);
  void finish();

  std::unique_ptr<std::FILE, FileClose> file_;  // declared first: closed after the context is freed
  SpngContext ctx_;
  int width_ = 0;
  int height_ = 0;
  bool wide_ = false;        // 16-bit channels: decoded through wideRow_
  bool interlaced_ = false;
  int nextRow_ = 0;
  std::vector<std::uint16_t> wideRow_;
  std::unique_ptr<Surface> whole_;  // an interlaced picture read through readRow
};

// Decodes a whole PNG file held in memory.
Surface decodePng(std::span<const std::uint8_t> bytes);

// Loads a PNG file; empty when it cannot be opened for reading.
std::optional<Surface> readPngFile(const std::string& fileName);

class StagedFile;

// Writes `surface` as a PNG file into `out`: palette (1, 2, 4 or 8 bits) when it has at most
// 256 colours, 8-bit RGB otherwise; every pixel exact, not interlaced. Nothing for a surface
// without pixels. Throws the errors of `out` ("Erreur d'écriture du fichier %s"), and
// "Plus de ressources système" when memory runs out.
void writePng(const Surface& surface, StagedFile& out);

// Writes one PNG file through its own output set (see files/output_set.h): the previous file
// stays whole until the new one is complete. Throws Error naming the file when it cannot be
// created or written.
void writePngFile(const Surface& surface, const std::string& fileName);

// The same PNG file in memory.
std::vector<std::uint8_t> encodePng(const Surface& surface);

}  // namespace tavrik
