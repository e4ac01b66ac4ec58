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
[[noreturn]] void failWith(int code) {
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
  if (code != 0) failWith(code);
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

unsigned channelsOf(int colourType) {
  switch (colourType) {
    case SPNG_COLOR_TYPE_TRUECOLOR: return 3;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA: return 2;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA: return 4;
    default: return 1;
  }
}

}  // namespace

PngRowExpander::PngRowExpander(const spng_ihdr& ihdr, const spng_plte* plte, const spng_trns* trns)
    : colourType_(ihdr.color_type), depth_(ihdr.bit_depth), bitsPerPixel_(channelsOf(ihdr.color_type) * ihdr.bit_depth) {
  const bool palette = colourType_ == SPNG_COLOR_TYPE_INDEXED;
  if (trns && colourType_ == SPNG_COLOR_TYPE_GRAYSCALE) {
    keyed_ = true;
    key_[0] = trns->gray;
  } else if (trns && colourType_ == SPNG_COLOR_TYPE_TRUECOLOR) {
    keyed_ = true;
    key_[0] = trns->red;
    key_[1] = trns->green;
    key_[2] = trns->blue;
  }
  if (depth_ > 8 || (colourType_ != SPNG_COLOR_TYPE_GRAYSCALE && !palette)) return;

  // One colour per sample value, then per byte value its samples from the high bits. An index
  // past the palette is opaque black, as libspng's own expansion has it.
  const unsigned top = (1u << depth_) - 1;
  std::array<Colour, 256> colours{};
  for (unsigned v = 0; v <= top; ++v) {
    if (palette) {
      if (!plte || v >= plte->n_entries) continue;
      const std::uint8_t alpha = trns && v < trns->n_type3_entries ? trns->type3_alpha[v] : 255;
      const spng_plte_entry& e = plte->entries[v];
      colours[v] = alpha < 128 ? clFuchsia : rgb(e.red, e.green, e.blue);
    } else {
      const std::uint32_t grey = v * 255 / top;
      colours[v] = keyed_ && v == key_[0] ? clFuchsia : rgb(grey, grey, grey);
    }
  }
  perByte_ = 8 / depth_;
  table_.resize(256 * static_cast<std::size_t>(perByte_));
  for (unsigned b = 0; b < 256; ++b)
    for (int k = 0; k < perByte_; ++k)
      table_[b * static_cast<unsigned>(perByte_) + static_cast<unsigned>(k)] = colours[(b >> (8 - depth_ * (k + 1))) & top];
}

void PngRowExpander::expand(const std::uint8_t* in, Colour* out, int width) const {
  const std::size_t W = static_cast<std::size_t>(width);
  if (perByte_ > 0) {
    const std::size_t n = static_cast<std::size_t>(perByte_);
    const std::size_t whole = W / n, rest = W % n;
    const Colour* table = table_.data();
    if (n == 1) {
      for (std::size_t x = 0; x < W; ++x) out[x] = table[in[x]];
      return;
    }
    for (std::size_t i = 0; i < whole; ++i) std::memcpy(out + i * n, table + in[i] * n, n * sizeof(Colour));
    if (rest) std::memcpy(out + whole * n, table + in[whole] * n, rest * sizeof(Colour));
    return;
  }
  if (depth_ == 8) {
    switch (colourType_) {
      case SPNG_COLOR_TYPE_TRUECOLOR:
        for (std::size_t x = 0; x < W; ++x) {
          const std::uint8_t* p = in + 3 * x;
          const bool key = keyed_ && p[0] == key_[0] && p[1] == key_[1] && p[2] == key_[2];
          out[x] = key ? clFuchsia : rgb(p[0], p[1], p[2]);
        }
        return;
      case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
        for (std::size_t x = 0; x < W; ++x) {
          const std::uint8_t* p = in + 2 * x;
          out[x] = p[1] < 128 ? clFuchsia : rgb(p[0], p[0], p[0]);
        }
        return;
      default:  // RGBA
        for (std::size_t x = 0; x < W; ++x) {
          const std::uint8_t* p = in + 4 * x;
          out[x] = p[3] < 128 ? clFuchsia : rgb(p[0], p[1], p[2]);
        }
        return;
    }
  }
  // 16 bits, host order.
  const auto sample = [in](std::size_t i) {
    std::uint16_t v;
    std::memcpy(&v, in + 2 * i, 2);
    return v;
  };
  switch (colourType_) {
    case SPNG_COLOR_TYPE_GRAYSCALE:
      for (std::size_t x = 0; x < W; ++x) {
        const std::uint16_t v = sample(x);
        const std::uint32_t g = narrow(v);
        out[x] = keyed_ && v == key_[0] ? clFuchsia : rgb(g, g, g);
      }
      return;
    case SPNG_COLOR_TYPE_TRUECOLOR:
      for (std::size_t x = 0; x < W; ++x) {
        const std::uint16_t r = sample(3 * x), g = sample(3 * x + 1), b = sample(3 * x + 2);
        const bool key = keyed_ && r == key_[0] && g == key_[1] && b == key_[2];
        out[x] = key ? clFuchsia : rgb(narrow(r), narrow(g), narrow(b));
      }
      return;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
      for (std::size_t x = 0; x < W; ++x) {
        const std::uint32_t g = narrow(sample(2 * x));
        out[x] = narrow(sample(2 * x + 1)) < 128 ? clFuchsia : rgb(g, g, g);
      }
      return;
    default:  // RGBA
      for (std::size_t x = 0; x < W; ++x) {
        const bool clear = narrow(sample(4 * x + 3)) < 128;
        out[x] = clear ? clFuchsia : rgb(narrow(sample(4 * x)), narrow(sample(4 * x + 1)), narrow(sample(4 * x + 2)));
      }
      return;
  }
}

void SpngContextFree::operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }

int PngReader::readInput(spng_ctx*, void* user, void* dest, std::size_t length) {
  Input& input = *static_cast<Input*>(user);
  if (input.file) {
    const std::size_t got = std::fread(dest, 1, length, input.file);
    input.at += got;
    if (got == length) return 0;
    if (std::ferror(input.file)) return SPNG_IO_ERROR;
  } else if (input.at <= input.bytes.size() && length <= input.bytes.size() - input.at) {
    std::memcpy(dest, input.bytes.data() + input.at, length);
    input.at += length;
    return 0;
  }
  input.ranShort = true;
  return SPNG_IO_EOF;
}

// An error of libspng; any error after a read met the end of the input means that the file ends
// early, whatever libspng made of the missing bytes.
void PngReader::fail(int code) const {
  if (input_.ranShort && code != SPNG_EMEM) throw Error(kReadError);
  failWith(code);
}

PngReader::PngReader(std::span<const std::uint8_t> bytes) {
  input_.bytes = bytes;
  newContext(bytes.size());
  check(spng_set_png_stream(ctx_.get(), &PngReader::readInput, &input_));
  start(bytes.size());
}

// The file is closed if the reader cannot be made.
PngReader::PngReader(std::FILE* file, std::uint64_t size, std::uint64_t maxPixels) : file_(file) {
  input_.file = file;
  newContext(size);
  check(spng_set_png_stream(ctx_.get(), &PngReader::readInput, &input_));
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
  const std::uint64_t dataBytes = pixels * channelsOf(ihdr.color_type) * ihdr.bit_depth / 8;
  if (dataBytes > inputSize * kMaxInflateRatio + 1024) throw Error(kReadError);

  width_ = static_cast<int>(ihdr.width);
  height_ = static_cast<int>(ihdr.height);
  wide_ = ihdr.bit_depth == 16;
  interlaced_ = interlaced;
  if (interlaced_) {
    // Passes are deinterlaced by libspng into RGBA rows.
    check(spng_decode_image(ctx_.get(), nullptr, 0, wide_ ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8,
                            SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE));
    if (wide_) resizeOrNoResources(wideRow_, static_cast<std::size_t>(width_) * 4);
    return;
  }
  // Rows as stored, expanded by our tables: libspng's expansion of low depths costs several
  // times the inflating.
  check(spng_decode_image(ctx_.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE));
  spng_plte plte{};
  const bool palette = ihdr.color_type == SPNG_COLOR_TYPE_INDEXED;
  if (palette) check(spng_get_plte(ctx_.get(), &plte));
  spng_trns trns{};
  const int trnsCode = spng_get_trns(ctx_.get(), &trns);
  if (trnsCode != 0 && trnsCode != SPNG_ECHUNKAVAIL) fail(trnsCode);
  expander_ = std::make_unique<PngRowExpander>(ihdr, palette ? &plte : nullptr, trnsCode == 0 ? &trns : nullptr);
  resizeOrNoResources(storedRow_, expander_->rowBytes(width_));
}

// Decodes the next row of the stream, which is row `y` of the picture; for an interlaced
// picture only the pixels of the current pass are written.
void PngReader::decodeRow(Colour* out, int y) {
  spng_row_info info{};
  check(spng_get_row_info(ctx_.get(), &info));
  if (static_cast<int>(info.row_num) != y && !interlaced_) throw Error(kBadPng);
  if (expander_) {
    const int code = spng_decode_row(ctx_.get(), storedRow_.data(), storedRow_.size());
    if (code != 0 && code != SPNG_EOI) fail(code);
    expander_->expand(storedRow_.data(), out, width_);
    return;
  }
  const std::size_t widthBytes = static_cast<std::size_t>(width_) * (wide_ ? 8 : 4);
  const int code = spng_decode_row(ctx_.get(), wide_ ? static_cast<void*>(wideRow_.data()) : out, widthBytes);
  if (code != 0 && code != SPNG_EOI) fail(code);
  if (wide_) {
    const int pass = std::clamp(info.pass, 0, 6);
    narrowRow(wideRow_.data(), out, width_, kAdam7XStart[pass], kAdam7XStep[pass]);
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
  // early, and the last data chunk's CRC is checked. libspng forgives an end chunk cut inside
  // its CRC; a read that met the end says so.
  check(spng_decode_chunks(ctx_.get()));
  if (input_.ranShort) throw Error(kReadError);
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
