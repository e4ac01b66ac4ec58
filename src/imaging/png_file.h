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
struct spng_ihdr;
struct spng_plte;
struct spng_trns;

namespace tavrik {

// Frees a libspng context (for std::unique_ptr).
struct SpngContextFree {
  void operator()(spng_ctx* ctx) const;
};
using SpngContext = std::unique_ptr<spng_ctx, SpngContextFree>;

// Turns rows of samples as a PNG stores them (libspng's SPNG_FMT_PNG: low depths packed from the
// high bits of each byte, 16-bit samples in host order) into colours, with the rules of the
// reader below: tRNS and alpha below 128 give clFuchsia, 16-bit channels round to 8 bits, an
// index past the palette is opaque black (as in libspng's expansion). Tables make low depths and
// palettes a copy per byte.
class PngRowExpander {
 public:
  // `plte` for a palette picture; `trns` when the file has a transparency chunk.
  PngRowExpander(const spng_ihdr& ihdr, const spng_plte* plte, const spng_trns* trns);
  // The bytes of one row of `width` pixels.
  std::size_t rowBytes(int width) const { return (static_cast<std::size_t>(width) * bitsPerPixel_ + 7) / 8; }
  // Expands one row.
  void expand(const std::uint8_t* in, Colour* out, int width) const;

 private:
  int colourType_;
  int depth_;
  unsigned bitsPerPixel_;
  int perByte_ = 0;              // depths up to 8 (grey, palette): samples per byte
  std::vector<Colour> table_;    // ... and per byte value, its perByte_ colours
  bool keyed_ = false;           // tRNS colour key (grey: key_[0])
  std::uint16_t key_[3] = {0, 0, 0};
};

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

  // What libspng reads, through our callback: the file or the bytes. `ranShort` records that a
  // read met the end of the input, which libspng lets pass in places (the end chunk's CRC).
  struct Input {
    std::FILE* file = nullptr;
    std::span<const std::uint8_t> bytes;
    std::uint64_t at = 0;
    bool ranShort = false;
  };
  static int readInput(spng_ctx* ctx, void* user, void* dest, std::size_t length);

  PngReader(std::FILE* file, std::uint64_t size, std::uint64_t maxPixels);
  void newContext(std::uint64_t inputSize);
  [[noreturn]] void fail(int code) const;
  void check(int code) const {
    if (code != 0) fail(code);
  }
  void start(std::uint64_t inputSize, std::uint64_t maxPixels = kMaxPicturePixels);
  void decodeRow(Colour* out, int y);
  void decodeInterlaced(Surface& surface);
  void finish();

  std::unique_ptr<std::FILE, FileClose> file_;  // declared first: closed after the context is freed
  Input input_;
  SpngContext ctx_;
  int width_ = 0;
  int height_ = 0;
  bool wide_ = false;        // 16-bit channels: decoded through wideRow_
  bool interlaced_ = false;
  int nextRow_ = 0;
  std::vector<std::uint16_t> wideRow_;
  // Not interlaced: rows are decoded as stored into storedRow_, then expanded here.
  std::unique_ptr<PngRowExpander> expander_;
  std::vector<std::uint8_t> storedRow_;
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
