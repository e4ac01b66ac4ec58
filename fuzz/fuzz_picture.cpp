// Fuzz target: decoding a picture from bytes. The first byte picks the kind (png when bit 3 is
// set, else bmp, ico, emf, wmf by its two low bits); the rest is the file's contents. For a
// bitmap with bit 2 of the first byte set, the contents are also written to a file and loaded by
// the streaming reader used for large files; both ways must give the same pixels or the same
// error. For a PNG, bit 4 rewrites every chunk's CRC first (so that mutations get past the CRC
// check), and bit 2 compares decoding from memory with reading the file, with reading it one
// row at a time, and with libspng's own expansion to RGBA where libspng decodes it whole. Every bitmap also goes through the preview's path: its thumbnail, decoded
// alone, must be the thumbnail of the whole decode (or fail the same way).
#include <spng.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include <unistd.h>

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "base/error.h"
#include "imaging/bitmap_file.h"
#include "imaging/picture_file.h"
#include "imaging/png_file.h"
#include "png_chunks.h"

namespace {

std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Bitmaps may legitimately declare up to 2^28 pixels with a few bytes of RLE data, which makes
// a 1 GiB surface. Such inputs are valid but slow; skip those above 2^24 pixels so that the
// fuzzer keeps its pace. (The refusal of larger sizes is covered by the unit tests.)
bool declaresHugeBitmap(std::span<const std::uint8_t> file) {
  if (file.size() < 26) return false;
  const std::uint32_t headerSize = u32(file.data() + 14);
  std::int64_t width, height;
  if (headerSize == 12) {
    width = file[18] | (file[19] << 8);
    height = file[20] | (file[21] << 8);
  } else {
    width = static_cast<std::int32_t>(u32(file.data() + 18));
    height = static_cast<std::int32_t>(u32(file.data() + 22));
  }
  if (width < 0) width = -width;
  if (height < 0) height = -height;
  return width * height > (std::int64_t{1} << 24);
}

// PNGs above 2^24 pixels, for the same reason.
bool declaresHugePng(std::span<const std::uint8_t> file) {
  if (file.size() < 24) return false;
  const std::uint64_t width = tavrik::fuzzing::be32(file.data() + 16);
  const std::uint64_t height = tavrik::fuzzing::be32(file.data() + 20);
  return width * height > (std::uint64_t{1} << 24);
}

// Result of one way of decoding: the pixels, or the error's message.
struct Outcome {
  std::optional<tavrik::Surface> surface;
  std::string error;
};

bool same(const Outcome& a, const Outcome& b) {
  if (a.surface.has_value() != b.surface.has_value()) return false;
  if (!a.surface) return a.error == b.error;
  return a.surface->width() == b.surface->width() && a.surface->height() == b.surface->height() &&
         a.surface->pixels() == b.surface->pixels();
}

template <class Decode>
Outcome outcomeOf(Decode decode) {
  Outcome outcome;
  try {
    outcome.surface = decode();
    if (!outcome.surface) __builtin_trap();  // the file exists and is readable
  } catch (const tavrik::Error& e) {
    outcome.surface.reset();
    outcome.error = e.message();
  }
  return outcome;
}

// Writes `file` to a file of this process; empty when that failed.
std::string writeTemporary(std::span<const std::uint8_t> file, const char* extension) {
  const std::string path = "/tmp/tavrik-fuzz-" + std::to_string(::getpid()) + extension;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return {};
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  if (std::fclose(out) != 0 || !written) return {};
  return path;
}

// The preview's thumbnails, at the pane's size and at a small odd one, against the thumbnail of
// the whole decode `whole`.
void compareThumbnails(std::span<const std::uint8_t> file, const Outcome& whole) {
  for (const auto& [maxWidth, maxHeight] : {std::pair{150, 150}, std::pair{7, 3}}) {
    Outcome expected, thumbnail;
    if (whole.surface) {
      expected.surface = tavrik::thumbnailOf(*whole.surface, maxWidth, maxHeight);
    } else {
      expected.error = whole.error;
    }
    try {
      tavrik::BitmapThumbnail t = tavrik::decodeBitmapThumbnail(file, maxWidth, maxHeight);
      if (whole.surface && (t.width != whole.surface->width() || t.height != whole.surface->height()))
        __builtin_trap();
      thumbnail.surface = std::move(t.pixels);
    } catch (const tavrik::Error& e) {
      thumbnail.error = e.message();
    }
    if (!same(expected, thumbnail)) __builtin_trap();
  }
}

void compareWithStreamingReader(std::span<const std::uint8_t> file) {
  const Outcome whole = outcomeOf([&] { return std::optional(tavrik::decodeBitmap(file)); });
  const std::string path = writeTemporary(file, ".bmp");
  if (path.empty()) return;
  const Outcome streamed = outcomeOf([&] { return tavrik::readBitmapFile(path, 0); });
  std::remove(path.c_str());
  if (!same(whole, streamed)) __builtin_trap();
  compareThumbnails(file, whole);
}

// Where libspng decodes the whole file too, its own expansion to RGBA (tRNS applied; RGBA16 for
// 16-bit channels), with alpha below 128 as clFuchsia, gives our colours.
void compareWithLibspngExpansion(std::span<const std::uint8_t> file, const Outcome& ours) {
  if (!ours.surface) return;
  spng_ctx* ctx = spng_ctx_new(0);
  if (!ctx) return;
  spng_set_png_buffer(ctx, file.data(), file.size());
  spng_set_chunk_limits(ctx, file.size(), std::size_t{64} << 20);
  spng_ihdr ihdr{};
  std::size_t size = 0;
  std::vector<std::uint8_t> image;
  const bool wide = spng_get_ihdr(ctx, &ihdr) == 0 && ihdr.bit_depth == 16;
  const int format = wide ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
  bool decoded = spng_decoded_image_size(ctx, format, &size) == 0;
  if (decoded) {
    image.resize(size);
    decoded = spng_decode_image(ctx, image.data(), size, format, SPNG_DECODE_TRNS) == 0;
  }
  spng_ctx_free(ctx);
  if (!decoded) return;
  const auto pixels = ours.surface->pixels();
  if (pixels.size() * (wide ? 8 : 4) != size) __builtin_trap();
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    std::uint32_t c[4];
    for (int k = 0; k < 4; ++k) {
      if (wide) {
        std::uint16_t v;
        std::memcpy(&v, image.data() + 8 * i + 2 * k, 2);
        c[k] = (std::uint32_t{v} * 255 + 32767) / 65535;
      } else {
        c[k] = image[4 * i + k];
      }
    }
    const tavrik::Colour expected = c[3] < 128 ? 0xFF00FFu : (c[0] | c[1] << 8 | c[2] << 16);
    if (pixels[i] != expected) __builtin_trap();
  }
}

// Memory, the file, and the file one row at a time must agree, and agree with libspng's own
// expansion.
void comparePngReaders(std::span<const std::uint8_t> file) {
  const Outcome memory = outcomeOf([&] { return std::optional(tavrik::decodePng(file)); });
  const std::string path = writeTemporary(file, ".png");
  if (path.empty()) return;
  const Outcome fromFile = outcomeOf([&] { return tavrik::readPngFile(path); });
  const Outcome byRows = outcomeOf([&]() -> std::optional<tavrik::Surface> {
    std::unique_ptr<tavrik::PngReader> reader = tavrik::PngReader::open(path);
    if (!reader) return std::nullopt;
    tavrik::Surface surface(reader->width(), reader->height());
    for (int y = 0; y < reader->height(); ++y) reader->readRow(surface.row(y));
    return surface;
  });
  std::remove(path.c_str());
  if (!same(memory, fromFile) || !same(memory, byRows)) __builtin_trap();
  compareWithLibspngExpansion(file, memory);
}

void decodePng(std::span<const std::uint8_t> file, std::uint8_t flags) {
  std::vector<std::uint8_t> bytes(file.begin(), file.end());
  if (flags & 16) tavrik::fuzzing::fixCrcs(bytes);
  if (declaresHugePng(bytes)) return;
  if (flags & 4) {
    comparePngReaders(bytes);
    return;
  }
  try {
    const tavrik::Picture picture = tavrik::decodePicture("png", bytes, tavrik::PictureRules::Batch);
    // Every pixel is a colour a surface can hold.
    for (const tavrik::Colour c : picture.surface->pixels())
      if (c > 0xFFFFFF) __builtin_trap();
  } catch (const tavrik::Error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 8) {
    decodePng(std::span<const std::uint8_t>(data + 1, size - 1), data[0]);
    return 0;
  }
  static const char* const kExtensions[] = {"bmp", "ico", "emf", "wmf"};
  const std::string extension = kExtensions[data[0] & 3];
  const std::span<const std::uint8_t> file(data + 1, size - 1);
  if (extension == "bmp" && declaresHugeBitmap(file)) return 0;
  if (extension == "bmp" && (data[0] & 4)) {
    compareWithStreamingReader(file);
    return 0;
  }
  if (extension == "bmp")
    compareThumbnails(file, outcomeOf([&] { return std::optional(tavrik::decodeBitmap(file)); }));
  try {
    const tavrik::Picture picture = tavrik::decodePicture(extension, file);
    // Read every pixel back, so that a wrong size shows up as an out-of-bounds read.
    if (picture.surface) {
      std::uint32_t sum = 0;
      for (int y = 0; y < picture.surface->height(); ++y)
        for (int x = 0; x < picture.surface->width(); ++x) sum += picture.surface->row(y)[x];
      if (picture.surface->pixels().size() !=
          static_cast<std::size_t>(picture.width()) * static_cast<std::size_t>(picture.height()))
        __builtin_trap();
      static volatile std::uint32_t sink;
      sink = sum;
    }
    if (picture.width() < 0 || picture.height() < 0) __builtin_trap();
  } catch (const tavrik::Error&) {
    // Refusing a file is a correct outcome; anything else escapes and is reported.
  }
  return 0;
}
