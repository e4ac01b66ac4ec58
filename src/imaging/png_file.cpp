#include "imaging/png_file.h"

#include <spng.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <functional>
#include <unordered_map>


#include "files/input_file.h"
#include "files/output_set.h"
#include "base/error.h"

namespace tavrik {

namespace {

constexpr const char* kBadPng = "Image PNG incorrecte";

// Deflate turns at most 2 bits into 258 bytes: no stream inflates more than 1032 times its size.
constexpr std::uint64_t kMaxInflateRatio = 1032;

constexpr std::array<std::uint32_t, 7> kAdam7XStart{0, 4, 0, 2, 0, 1, 0};
constexpr std::array<std::uint32_t, 7> kAdam7XStep{8, 8, 4, 4, 2, 2, 1};

// The message of a libspng error code.
[[noreturn]] void fail(int code) {
  switch (code) {
    case SPNG_IO_EOF:
    case SPNG_IO_ERROR:
    case SPNG_EOF:
      throw Error(kReadError);
    case SPNG_EMEM:
      throw Error(kNoResources);
    default:
      throw Error(kBadPng);
  }
}

void check(int code) {
  if (code != 0) fail(code);
}

// One 16-bit channel to 8 bits: round(v * 255 / 65535).
inline std::uint32_t narrow(std::uint16_t v) { return (std::uint32_t{v} * 255 + 32767) / 65535; }

// An RGBA8 pixel (bytes R, G, B, A; a little-endian word A:B:G:R) to a colour.
inline Colour fromRgba8(std::uint32_t v) { return (v >> 24) < 128 ? clFuchsia : (v & 0xFFFFFFu); }

// A row decoded as RGBA8 in place into colours.
void finishRow(Colour* row, int width) {
  for (int x = 0; x < width; ++x) row[x] = fromRgba8(row[x]);
}

// Pixels of a host-endian RGBA16 row into colours, at x = first, first + step, ...
void narrowRow(const std::uint16_t* wide, Colour* out, int width, std::uint32_t first, std::uint32_t step) {
  for (std::uint32_t x = first; x < static_cast<std::uint32_t>(width); x += step) {
    const std::uint16_t* p = wide + 4 * x;
    out[x] = narrow(p[3]) < 128 ? clFuchsia : rgb(narrow(p[0]), narrow(p[1]), narrow(p[2]));
  }
}

}  // namespace

void SpngContextFree::operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }

PngReader::PngReader(std::span<const std::uint8_t> bytes) {
  newContext(bytes.size());
  check(spng_set_png_buffer(ctx_.get(), bytes.data(), bytes.size()));
  start(bytes.size());
}

// The file is closed if the reader cannot be made.
PngReader::PngReader(std::FILE* file, std::uint64_t size, std::uint64_t maxPixels) : file_(file) {
  newContext(size);
  check(spng_set_png_file(ctx_.get(), file_.get()));
  start(size, maxPixels);
}

std::unique_ptr<PngReader> PngReader::open(const std::string& fileName, std::uint64_t maxPixels) {
  std::uint64_t size = 0;
  std::unique_ptr<std::FILE, FileClose> file(openRegularFileStream(fileName, size));
  if (!file) return nullptr;
  // The reader is allocated before the argument is evaluated: if that fails, the file is closed.
  return std::unique_ptr<PngReader>(new PngReader(file.release(), size, maxPixels));
}

// The decoding context, then the input's size: an empty input ends before its signature.
void PngReader::newContext(std::uint64_t inputSize) {
  ctx_.reset(spng_ctx_new(0));
  if (!ctx_) throw Error(kNoResources);
  if (inputSize == 0) throw Error(kReadError);
}

void PngReader::start(std::uint64_t inputSize, std::uint64_t maxPixels) {
  // No chunk can be longer than the file: a longer one means that the file ends early. This also
  // keeps libspng from allocating a claimed chunk length when reading from a file.
  const std::uint64_t chunkLimit = std::min<std::uint64_t>(inputSize, 0x7FFFFFFF);
  check(spng_set_chunk_limits(ctx_.get(), static_cast<std::size_t>(chunkLimit), std::size_t{64} << 20));

  spng_ihdr ihdr{};
  check(spng_get_ihdr(ctx_.get(), &ihdr));
  const std::uint64_t pixels = std::uint64_t{ihdr.width} * ihdr.height;
  // An interlaced picture is decoded whole, whatever the reader's limit.
  const bool interlaced = ihdr.interlace_method != SPNG_INTERLACE_NONE;
  const std::uint64_t limit = interlaced ? std::min(maxPixels, kMaxPicturePixels) : maxPixels;
  if (ihdr.width == 0 || ihdr.height == 0 || pixels > limit) throw Error(kBadPng);
  // The pixel data alone, before filtering and compression, is at least this long; a file too
  // small to inflate to it ends early.
  const unsigned channels = ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR         ? 3
                            : ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ? 2
                            : ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4
                                                                                  : 1;
  const std::uint64_t dataBytes = pixels * channels * ihdr.bit_depth / 8;
  if (dataBytes > inputSize * kMaxInflateRatio + 1024) throw Error(kReadError);

  width_ = static_cast<int>(ihdr.width);
  height_ = static_cast<int>(ihdr.height);
  wide_ = ihdr.bit_depth == 16;
  interlaced_ = interlaced;
  check(spng_decode_image(ctx_.get(), nullptr, 0, wide_ ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8,
                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE));
  if (wide_) resizeOrNoResources(wideRow_, static_cast<std::size_t>(width_) * 4);
}

// Decodes the next row of the stream, which is row `y` of the picture; for an interlaced
// picture only the pixels of the current pass are written.
void PngReader::decodeRow(Colour* out, int y) {
  spng_row_info info{};
  check(spng_get_row_info(ctx_.get(), &info));
  if (static_cast<int>(info.row_num) != y && !interlaced_) throw Error(kBadPng);
  const std::size_t widthBytes = static_cast<std::size_t>(width_) * (wide_ ? 8 : 4);
  const int code = spng_decode_row(ctx_.get(), wide_ ? static_cast<void*>(wideRow_.data()) : out, widthBytes);
  if (code != 0 && code != SPNG_EOI) fail(code);
  if (wide_) {
    const bool passRow = interlaced_;
    const int pass = std::clamp(info.pass, 0, 6);
    narrowRow(wideRow_.data(), out, width_, passRow ? kAdam7XStart[pass] : 0, passRow ? kAdam7XStep[pass] : 1);
  } else if (!interlaced_) {
    finishRow(out, width_);
  }
}

// Decodes every pass of an interlaced picture into `surface`.
void PngReader::decodeInterlaced(Surface& surface) {
  for (;;) {
    spng_row_info info{};
    const int code = spng_get_row_info(ctx_.get(), &info);
    if (code == SPNG_EOI) break;
    check(code);
    if (info.row_num >= static_cast<std::uint32_t>(height_)) throw Error(kBadPng);
    decodeRow(surface.row(static_cast<int>(info.row_num)), static_cast<int>(info.row_num));
  }
  // 8-bit rows were decoded as RGBA8 in place; every pixel has been written by now.
  if (!wide_)
    for (int y = 0; y < height_; ++y) finishRow(surface.row(y), width_);
  finish();
}

void PngReader::readRow(Colour* out) {
  if (nextRow_ >= height_) throw Error(kReadError);
  if (interlaced_) {
    if (!whole_) {
      whole_ = std::make_unique<Surface>(Surface::forOverwrite(width_, height_));
      decodeInterlaced(*whole_);
    }
    std::memcpy(out, whole_->row(nextRow_), static_cast<std::size_t>(width_) * sizeof(Colour));
  } else {
    decodeRow(out, nextRow_);
    if (nextRow_ + 1 == height_) finish();
  }
  ++nextRow_;
}

Surface PngReader::readSurface() {
  Surface surface = Surface::forOverwrite(width_, height_);
  if (interlaced_ && nextRow_ == 0) {
    decodeInterlaced(surface);
    nextRow_ = height_;
  }
  for (; nextRow_ < height_; ) readRow(surface.row(nextRow_));
  return surface;
}

void PngReader::finish() {
  // The rest of the file, up to its end chunk: a file cut short after its last row still ends
  // early, and the last data chunk's CRC is checked.
  check(spng_decode_chunks(ctx_.get()));
}

Surface decodePng(std::span<const std::uint8_t> bytes) {
  PngReader reader(bytes);
  return reader.readSurface();
}

std::optional<Surface> readPngFile(const std::string& fileName) {
  std::unique_ptr<PngReader> reader = PngReader::open(fileName);
  if (!reader) return std::nullopt;
  return reader->readSurface();
}

namespace {

// The palette of a surface with at most 256 colours, in order of first appearance; empty when it
// has more.
std::vector<Colour> paletteOf(const Surface& surface) {
  std::vector<Colour> palette;
  std::unordered_map<Colour, int> seen;
  Colour last = surface.row(0)[0] + 1;  // differs from the first pixel
  for (int y = 0; y < surface.height(); ++y) {
    const Colour* row = surface.row(y);
    for (int x = 0; x < surface.width(); ++x) {
      if (row[x] == last) continue;
      last = row[x];
      if (seen.emplace(last, static_cast<int>(palette.size())).second) {
        if (palette.size() == 256) return {};
        palette.push_back(last);
      }
    }
  }
  return palette;
}

// Receives the bytes of the file being written; may throw.
using ByteSink = std::function<void(const void* data, std::size_t size)>;

// Encodes `surface` into `sink`. An error that `sink` throws stops the encoder (never crossing
// libspng's frames) and is thrown again from here.
void encode(const Surface& surface, const ByteSink& sink) {
  if (surface.empty()) return;
  const SpngContext encoder(spng_ctx_new(SPNG_CTX_ENCODER));
  spng_ctx* ctx = encoder.get();
  if (!ctx) throw Error(kNoResources);

  struct Output {
    const ByteSink* sink;
    std::exception_ptr error;
  } output{&sink, nullptr};
  auto write = [](spng_ctx*, void* user, void* data, std::size_t length) -> int {
    auto* o = static_cast<Output*>(user);
    try {
      (*o->sink)(data, length);
      return 0;
    } catch (...) {
      o->error = std::current_exception();
      return SPNG_IO_ERROR;
    }
  };
  check(spng_set_png_stream(ctx, write, &output));

  const std::vector<Colour> palette = paletteOf(surface);
  std::unordered_map<Colour, std::uint8_t> indexOf;
  spng_ihdr ihdr{};
  ihdr.width = static_cast<std::uint32_t>(surface.width());
  ihdr.height = static_cast<std::uint32_t>(surface.height());
  if (!palette.empty()) {
    ihdr.color_type = SPNG_COLOR_TYPE_INDEXED;
    ihdr.bit_depth = palette.size() <= 2 ? 1 : palette.size() <= 4 ? 2 : palette.size() <= 16 ? 4 : 8;
    spng_plte plte{};
    plte.n_entries = static_cast<std::uint32_t>(palette.size());
    for (std::size_t k = 0; k < palette.size(); ++k) {
      plte.entries[k].red = static_cast<std::uint8_t>(redOf(palette[k]));
      plte.entries[k].green = static_cast<std::uint8_t>(greenOf(palette[k]));
      plte.entries[k].blue = static_cast<std::uint8_t>(blueOf(palette[k]));
      indexOf[palette[k]] = static_cast<std::uint8_t>(k);
    }
    check(spng_set_ihdr(ctx, &ihdr));
    check(spng_set_plte(ctx, &plte));
  } else {
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    ihdr.bit_depth = 8;
    check(spng_set_ihdr(ctx, &ihdr));
  }

  int code = spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  const std::size_t width = static_cast<std::size_t>(surface.width());
  const unsigned depth = ihdr.bit_depth;
  const std::size_t rowBytes = palette.empty() ? width * 3 : (width * depth + 7) / 8;
  std::vector<std::uint8_t> line;
  resizeOrNoResources(line, rowBytes);
  for (int y = 0; code == 0 && y < surface.height(); ++y) {
    const Colour* src = surface.row(y);
    if (palette.empty()) {
      for (std::size_t x = 0; x < width; ++x) {
        line[3 * x] = static_cast<std::uint8_t>(redOf(src[x]));
        line[3 * x + 1] = static_cast<std::uint8_t>(greenOf(src[x]));
        line[3 * x + 2] = static_cast<std::uint8_t>(blueOf(src[x]));
      }
    } else {
      // Indices packed from the high bits of each byte, as PNG stores them.
      std::fill(line.begin(), line.end(), 0);
      Colour last = src[0];
      std::uint8_t index = indexOf[last];
      for (std::size_t x = 0; x < width; ++x) {
        if (src[x] != last) {
          last = src[x];
          index = indexOf[last];
        }
        const std::size_t bit = x * depth;
        line[bit / 8] |= static_cast<std::uint8_t>(index << (8 - depth - bit % 8));
      }
    }
    code = spng_encode_row(ctx, line.data(), line.size());
  }
  if (output.error) std::rethrow_exception(output.error);
  if (code != SPNG_EOI) check(code);
}

}  // namespace

void writePng(const Surface& surface, StagedFile& out) {
  encode(surface, [&out](const void* data, std::size_t size) { out.write(data, size); });
}

void writePngFile(const Surface& surface, const std::string& fileName) {
  writeOutputFile(fileName, [&](StagedFile& out) { writePng(surface, out); });
}

std::vector<std::uint8_t> encodePng(const Surface& surface) {
  std::vector<std::uint8_t> bytes;
  encode(surface, [&bytes](const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    const std::size_t at = bytes.size();
    resizeOrNoResources(bytes, at + size);
    std::copy(p, p + size, bytes.begin() + static_cast<std::ptrdiff_t>(at));
  });
  return bytes;
}

}  // namespace tavrik
