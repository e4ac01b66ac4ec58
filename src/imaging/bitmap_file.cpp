// Windows bitmap (DIB) files.
//
// Every length in the file is checked against the bytes actually present before it is used,
// and the surface is allocated only once the header has passed every format check (and, for
// uncompressed data, once the file is known to hold all of its rows).
#include "imaging/bitmap_file.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "base/error.h"
#include "files/input_file.h"
#include "files/output_set.h"
#include "imaging/worker_thread.h"

namespace tavrik {

namespace {

constexpr const char* kBadBitmap = "Image bitmap incorrecte";

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;

[[noreturn]] void readError() { throw Error(kReadError); }
[[noreturn]] void badBitmap() { throw Error(kBadBitmap); }

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t i32(const std::uint8_t* p) { return static_cast<std::int32_t>(u32(p)); }

// One colour channel of a bit-field pixel, scaled to 8 bits by round(v * 255 / max).
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;  // mask >> shift; 0 for an empty mask (the channel reads 0)

  explicit Channel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    max = m >> shift;
  }
  unsigned scale(std::uint32_t pixel) const {
    if (max == 0) return 0;
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<unsigned>((v * 510 + max) / (2 * max));
  }
};

// Bit-field pixels to colours. For large pictures, channels up to 16 bits wide go through
// lookup tables.
class BitFields {
 public:
  BitFields(std::uint32_t red, std::uint32_t green, std::uint32_t blue, bool tables)
      : channels_{Channel(red), Channel(green), Channel(blue)} {
    for (int c = 0; c < 3 && tables; ++c) {
      const Channel& ch = channels_[c];
      if (ch.max == 0 || ch.max > 0xFFFF) continue;
      tables_[c].resize(ch.max + 1);
      for (std::uint64_t v = 0; v <= ch.max; ++v)
        tables_[c][v] = static_cast<std::uint8_t>((v * 510 + ch.max) / (2 * ch.max));
    }
  }
  Colour operator()(std::uint32_t pixel) const {
    return rgb(channel(0, pixel), channel(1, pixel), channel(2, pixel));
  }

 private:
  unsigned channel(int c, std::uint32_t pixel) const {
    const Channel& ch = channels_[c];
    if (!tables_[c].empty()) return tables_[c][(pixel & ch.mask) >> ch.shift];
    return ch.scale(pixel);
  }
  std::array<Channel, 3> channels_;
  std::array<std::vector<std::uint8_t>, 3> tables_;
};

struct Header {
  std::uint32_t headerSize = 0;
  std::int64_t width = 0, height = 0;  // height < 0: rows stored top-down
  int bitCount = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t coloursUsed = 0;
  std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

// Expands one uncompressed row of `width` pixels into `out`.
void decodeRow(const std::uint8_t* src, Colour* out, int width, int bitCount,
               const std::array<Colour, 256>& palette, const std::vector<Colour>& lut16,
               const BitFields* fields) {
  switch (bitCount) {
    case 1:
      for (int x = 0; x < width; ++x) out[x] = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
      break;
    case 4:
      for (int x = 0; x < width; ++x) out[x] = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
      break;
    case 8:
      for (int x = 0; x < width; ++x) out[x] = palette[src[x]];
      break;
    case 16:
      if (!lut16.empty()) {
        for (int x = 0; x < width; ++x, src += 2) out[x] = lut16[u16(src)];
      } else {
        for (int x = 0; x < width; ++x, src += 2) out[x] = (*fields)(u16(src));
      }
      break;
    case 24: {
      // Four bytes at a time (blue, green, red, next), byte-swapped into 0x00BBGGRR; the last
      // pixel reads its three bytes alone so that nothing past the row is touched.
      int x = 0;
      for (; x + 1 < width; ++x, src += 3) {
        std::uint32_t v;
        std::memcpy(&v, src, sizeof v);
        out[x] = __builtin_bswap32(v) >> 8;
      }
      if (x < width) out[x] = rgb(src[2], src[1], src[0]);
      break;
    }
    case 32:
      if (fields) {
        for (int x = 0; x < width; ++x, src += 4) out[x] = (*fields)(u32(src));
      } else {
        for (int x = 0; x < width; ++x, src += 4) out[x] = rgb(src[2], src[1], src[0]);
      }
      break;
  }
}

// Run-length data read in order: a span in memory, or a stretch of a file read in pieces of
// 64 KiB, so that no more than one piece is ever held whatever the file's size.
class RleData {
 public:
  explicit RleData(std::span<const std::uint8_t> bytes) : memory_(bytes), length_(bytes.size()) {}
  RleData(const InputFile& file, std::uint64_t begin, std::uint64_t length)
      : file_(&file), begin_(begin), length_(length) {}

  std::uint64_t remaining() const { return length_ - position_; }
  // The next `n` bytes (n <= remaining(), n <= kPiece).
  const std::uint8_t* take(std::size_t n) {
    const std::uint64_t at = position_;
    position_ += n;
    if (!file_) return memory_.data() + at;
    if (at < pieceStart_ || at + n > pieceStart_ + piece_.size()) {
      piece_.resize(static_cast<size_t>(std::min<std::uint64_t>(kPiece, length_ - at)));
      pieceStart_ = at;
      if (!file_->readAt(begin_ + at, piece_.data(), piece_.size())) readError();
    }
    return piece_.data() + (at - pieceStart_);
  }
  void skip(std::uint64_t n) { position_ += std::min(n, remaining()); }

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 16;
  std::span<const std::uint8_t> memory_;
  const InputFile* file_ = nullptr;
  std::uint64_t begin_ = 0;
  std::uint64_t length_ = 0;
  std::uint64_t position_ = 0;
  std::vector<std::uint8_t> piece_;
  std::uint64_t pieceStart_ = 0;
};

// Where decoded pixels go: every pixel of a surface.
class SurfaceSink {
 public:
  explicit SurfaceSink(Surface& surface) : surface_(surface) {}
  // Pixels [x, end) of surface row y (end <= width), pixel k being colourAt(k).
  template <class ColourAt>
  void pixels(std::int64_t y, std::int64_t x, std::int64_t end, const ColourAt& colourAt) {
    Colour* row = surface_.row(static_cast<int>(y));
    for (std::int64_t k = x; k < end; ++k) row[k] = colourAt(k);
  }

 private:
  Surface& surface_;
};

// Where decoded pixels go for a thumbnail: only the pixels that it samples.
class ThumbnailSink {
 public:
  ThumbnailSink(Surface& thumbnail, std::int64_t width, std::int64_t height) : thumbnail_(thumbnail) {
    for (int t = 0; t < thumbnail.width(); ++t) columns_.push_back(thumbnailSample(t, thumbnail.width(), width));
    for (int t = 0; t < thumbnail.height(); ++t) rows_.push_back(thumbnailSample(t, thumbnail.height(), height));
  }
  template <class ColourAt>
  void pixels(std::int64_t y, std::int64_t x, std::int64_t end, const ColourAt& colourAt) {
    const auto row = std::lower_bound(rows_.begin(), rows_.end(), y);
    if (row == rows_.end() || *row != y) return;
    Colour* out = thumbnail_.row(static_cast<int>(row - rows_.begin()));
    for (auto c = std::lower_bound(columns_.begin(), columns_.end(), x); c != columns_.end() && *c < end; ++c)
      out[c - columns_.begin()] = colourAt(*c);
  }
  const std::vector<std::int64_t>& columns() const { return columns_; }
  const std::vector<std::int64_t>& rows() const { return rows_; }

 private:
  Surface& thumbnail_;
  std::vector<std::int64_t> columns_, rows_;  // the picture's column / row of each thumbnail one
};

// RLE8 / RLE4 data of a width x height picture into a sink whose pixels start as colour-table
// entry 0. Rows run from the bottom up; pixels beyond the right edge or above the top are
// dropped. Every step is bounded by the data: each code consumes at least two bytes.
template <class Sink>
void decodeRle(RleData& data, bool rle4, const std::array<Colour, 256>& palette, std::int64_t width,
               std::int64_t height, Sink& sink) {
  std::int64_t x = 0, y = 0;
  while (y < height) {
    if (data.remaining() < 2) {
      // The data ended without an end-of-bitmap code: fine only if the picture is complete.
      if (y == height - 1 && x >= width) return;
      readError();
    }
    const std::uint8_t* code = data.take(2);
    const unsigned count = code[0], value = code[1];
    const std::int64_t row = height - 1 - y, x0 = x;
    if (count > 0) {  // a run of `count` pixels
      if (x < width) {
        const std::int64_t end = std::min<std::int64_t>(x + count, width);
        if (rle4) {
          const Colour colours[2] = {palette[value >> 4], palette[value & 0xF]};
          sink.pixels(row, x, end, [&](std::int64_t k) { return colours[(k - x0) & 1]; });
        } else {
          const Colour colour = palette[value];
          sink.pixels(row, x, end, [colour](std::int64_t) { return colour; });
        }
      }
      x += count;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta: skip right and up
        if (data.remaining() < 2) readError();
        const std::uint8_t* delta = data.take(2);
        x += delta[0];
        y += delta[1];
        break;
      }
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        const size_t bytes = rle4 ? (value + 1) / 2 : value;
        if (data.remaining() < bytes) readError();
        const std::uint8_t* p = data.take(bytes);
        if (x < width) {
          const std::int64_t end = std::min<std::int64_t>(x + value, width);
          sink.pixels(row, x, end, [&](std::int64_t k) {
            const size_t j = static_cast<size_t>(k - x0);
            return rle4 ? palette[(p[j / 2] >> ((j & 1) ? 0 : 4)) & 0xF] : palette[p[j]];
          });
        }
        x += value;
        data.skip(bytes & 1);
        break;
      }
    }
  }
}


// Everything the headers say, checked against the file's size: the pixel data starts at
// `pixelOffset` and, uncompressed, takes `stride` bytes per row.
struct Layout {
  Header h;
  int width = 0, height = 0;
  bool topDown = false, rle = false;
  std::uint32_t pixelOffset = 0;
  std::uint64_t stride = 0;  // uncompressed rows only
  std::array<Colour, 256> palette{};
};

// The headers and the colour table never reach beyond this many bytes into the file.
constexpr size_t kLayoutBytes = 2048;

// Reads and checks the headers of a file of `size` bytes (size > 0) whose first
// min(size, kLayoutBytes) bytes are at `b`; a picture above `maxPixels` pixels is refused.
Layout readLayout(const std::uint8_t* b, size_t size, std::uint64_t maxPixels = kMaxPicturePixels) {
  Layout layout;
  Header& h = layout.h;

  // File header.
  if (size < 14) readError();
  if (b[0] != 'B' || b[1] != 'M') badBitmap();
  layout.pixelOffset = u32(b + 10);

  // Info header.
  if (size < 18) readError();
  h.headerSize = u32(b + 14);
  if (h.headerSize != 12 && h.headerSize != 40 && h.headerSize != 108 && h.headerSize != 124)
    badBitmap();
  if (size < 14 + static_cast<size_t>(h.headerSize)) readError();
  const std::uint8_t* info = b + 14;
  int planes;
  if (h.headerSize == 12) {
    h.width = u16(info + 4);
    h.height = u16(info + 6);
    planes = u16(info + 8);
    h.bitCount = u16(info + 10);
  } else {
    h.width = i32(info + 4);
    h.height = i32(info + 8);
    planes = u16(info + 12);
    h.bitCount = u16(info + 14);
    h.compression = u32(info + 16);
    h.coloursUsed = u32(info + 32);
  }
  if (planes != 1) badBitmap();

  // Format checks, before anything depends on the sizes.
  const int bpp = h.bitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) badBitmap();
  const bool rle = h.compression == kRle8 || h.compression == kRle4;
  const bool compressionFits = h.compression == kRgb || (h.compression == kRle8 && bpp == 8) ||
                               (h.compression == kRle4 && bpp == 4) ||
                               (h.compression == kBitFields && (bpp == 16 || bpp == 32));
  if (!compressionFits) badBitmap();
  const bool topDown = h.height < 0;
  const std::int64_t width = h.width;
  const std::int64_t height = topDown ? -h.height : h.height;
  if (width <= 0 || height == 0 || (topDown && rle)) badBitmap();
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > maxPixels)
    badBitmap();

  // Bit-field masks: after a 40-byte header, inside the larger ones.
  size_t pos = 14 + h.headerSize;
  if (h.compression == kBitFields) {
    const std::uint8_t* masks = info + 40;
    if (h.headerSize == 40) {
      if (size - pos < 12) readError();
      masks = b + pos;
      pos += 12;
    }
    h.redMask = u32(masks);
    h.greenMask = u32(masks + 4);
    h.blueMask = u32(masks + 8);
  } else if (bpp == 16) {
    h.redMask = 0x7C00;
    h.greenMask = 0x03E0;
    h.blueMask = 0x001F;
  }

  // Colour table: 3-byte entries after a core header, 4-byte ones otherwise. Entries beyond
  // 256 are never indexed; indices beyond the table read black.
  {
    const size_t entrySize = h.headerSize == 12 ? 3 : 4;
    std::uint64_t entries = h.coloursUsed;
    if (h.headerSize == 12 || entries == 0) entries = bpp <= 8 ? (1u << bpp) : 0;
    if (entries * entrySize > size - pos) readError();
    if (bpp <= 8) {
      const size_t used = std::min<std::uint64_t>(entries, 256);
      for (size_t k = 0; k < used; ++k) {
        const std::uint8_t* e = b + pos + k * entrySize;
        layout.palette[k] = rgb(e[2], e[1], e[0]);
      }
    }
  }

  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  layout.topDown = topDown;
  layout.rle = rle;
  if (!rle) {
    layout.stride = ((static_cast<std::uint64_t>(width) * bpp + 31) / 32) * 4;
    const std::uint64_t available = layout.pixelOffset <= size ? size - layout.pixelOffset : 0;
    if (layout.stride * static_cast<std::uint64_t>(height) > available) readError();
  }
  return layout;
}


// Run-length data beyond this many bytes is never read: a picture needs at most 2 bytes a pixel
// (runs of one pixel), 2 an end of line and 2 the end of the bitmap; twice that leaves room for
// encoders that waste some, and bounds the work whatever the file's size.
std::uint64_t rleDataLimit(const Layout& layout) {
  const std::uint64_t width = static_cast<std::uint64_t>(layout.width);
  const std::uint64_t height = static_cast<std::uint64_t>(layout.height);
  return 4 * width * height + 4 * height + 4096;
}

// The run-length data of a file held in memory, within its limit.
RleData memoryRleData(std::span<const std::uint8_t> bytes, const Layout& layout) {
  const std::span<const std::uint8_t> data =
      layout.pixelOffset <= bytes.size() ? bytes.subspan(layout.pixelOffset) : std::span<const std::uint8_t>{};
  return RleData(data.first(static_cast<size_t>(std::min<std::uint64_t>(data.size(), rleDataLimit(layout)))));
}

// The run-length data of a file, within its limit.
RleData fileRleData(const InputFile& file, const Layout& layout) {
  const std::uint64_t available = layout.pixelOffset <= file.size() ? file.size() - layout.pixelOffset : 0;
  return RleData(file, layout.pixelOffset, std::min(available, rleDataLimit(layout)));
}

// The run-length picture of `layout` decoded into a new width x height surface that starts as
// colour-table entry 0, through a Sink(surface, sinkArgs...). Data too short for a single code
// is a read error, found before the surface is allocated.
template <class Sink, class... SinkArgs>
Surface decodeRleSurface(RleData& rle, const Layout& layout, int width, int height, SinkArgs... sinkArgs) {
  if (rle.remaining() < 2) readError();
  Surface surface(width, height, layout.palette[0]);
  Sink sink(surface, sinkArgs...);
  decodeRle(rle, layout.h.compression == kRle4, layout.palette, layout.width, layout.height, sink);
  return surface;
}

// Uncompressed rows to colours.
class RowDecoder {
 public:
  explicit RowDecoder(const Layout& layout) : layout_(layout) {
    // Bit-field pixels: large 16-bit pictures go through a table of all 65536 values.
    const Header& h = layout.h;
    const int bpp = h.bitCount;
    const bool defaultMasks32 = h.redMask == 0xFF0000 && h.greenMask == 0xFF00 && h.blueMask == 0xFF;
    const bool large = static_cast<std::int64_t>(layout.width) * layout.height >= 65536;
    if (bpp == 16 || (bpp == 32 && h.compression == kBitFields && !defaultMasks32))
      fields_ = std::make_unique<BitFields>(h.redMask, h.greenMask, h.blueMask, large);
    if (bpp == 16 && large) {
      lut16_.resize(65536);
      for (std::uint32_t v = 0; v < 65536; ++v) lut16_[v] = (*fields_)(v);
    }
  }
  // Decodes pixel x of a row, `src` pointing at the byte that holds its first bit.
  Colour pixel(const std::uint8_t* src, std::int64_t x) const {
    const Header& h = layout_.h;
    switch (h.bitCount) {
      case 1: return layout_.palette[(src[0] >> (7 - (x & 7))) & 1];
      case 4: return layout_.palette[(src[0] >> ((x & 1) ? 0 : 4)) & 0xF];
      case 8: return layout_.palette[src[0]];
      case 16: return (*fields_)(u16(src));
      case 24: return rgb(src[2], src[1], src[0]);
      default: return fields_ ? (*fields_)(u32(src)) : rgb(src[2], src[1], src[0]);
    }
  }
  // Decodes file row r (rows are stored bottom-up unless the picture is top-down).
  void decode(const std::uint8_t* src, int r, Surface& surface) const {
    decodeInto(src, surface.row(layout_.topDown ? r : layout_.height - 1 - r));
  }
  void decodeInto(const std::uint8_t* src, Colour* out) const {
    decodeRow(src, out, layout_.width, layout_.h.bitCount, layout_.palette, lut16_, fields_.get());
  }

 private:
  const Layout& layout_;
  std::vector<Colour> lut16_;
  std::unique_ptr<BitFields> fields_;
};

// Runs fn(begin, end) over two halves of [0, count) at once when the work is large.
template <class Fn>
void inTwoBands(int count, std::uint64_t bytes, const Fn& fn) {
  if (bytes < (std::uint64_t{1} << 20) || count < 2 || std::thread::hardware_concurrency() < 2) {
    fn(0, count);
    return;
  }
  WorkerThread other([&] { fn(count / 2, count); });
  fn(0, count / 2);
  other.join();
}


// Bytes of a whole file in memory, read like a file.
class MemoryReader {
 public:
  explicit MemoryReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool readAt(std::uint64_t offset, void* out, std::size_t n) const {
    if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
    std::memcpy(out, bytes_.data() + offset, n);
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

// The sampled pixels of an uncompressed picture, read a piece of a row at a time (a piece
// covers the samples that fall within 64 KiB of each other, so that sparse samples of very
// wide rows do not read the whole row).
template <class Reader>
void sampleRows(const Reader& reader, const Layout& layout, const ThumbnailSink& sink, Surface& thumbnail) {
  const RowDecoder decoder(layout);
  const std::uint64_t bpp = static_cast<std::uint64_t>(layout.h.bitCount);
  const auto firstByte = [&](std::int64_t x) { return static_cast<std::uint64_t>(x) * bpp / 8; };
  const auto endByte = [&](std::int64_t x) { return (static_cast<std::uint64_t>(x + 1) * bpp + 7) / 8; };
  const std::vector<std::int64_t>& columns = sink.columns();
  const size_t count = columns.size();
  std::vector<std::uint8_t> piece;
  for (int ty = 0; ty < thumbnail.height(); ++ty) {
    const std::int64_t y = sink.rows()[static_cast<size_t>(ty)];
    const std::int64_t r = layout.topDown ? y : layout.height - 1 - y;
    const std::uint64_t rowStart = layout.pixelOffset + layout.stride * static_cast<std::uint64_t>(r);
    Colour* out = thumbnail.row(ty);
    for (size_t first = 0; first < count;) {
      const std::uint64_t begin = firstByte(columns[first]);
      size_t last = first + 1;
      while (last < count && endByte(columns[last]) - begin <= (std::uint64_t{1} << 16)) ++last;
      piece.resize(static_cast<size_t>(endByte(columns[last - 1]) - begin));
      if (!reader.readAt(rowStart + begin, piece.data(), piece.size())) readError();
      for (size_t k = first; k < last; ++k)
        out[k] = decoder.pixel(piece.data() + (firstByte(columns[k]) - begin), columns[k]);
      first = last;
    }
  }
}

// A thumbnail of the picture whose headers are `layout`, read through `reader`; `rle` gives
// the run-length data when the picture is compressed.
template <class Reader>
BitmapThumbnail thumbnailOfLayout(const Reader& reader, const Layout& layout, RleData* rle,
                                  int maxWidth, int maxHeight) {
  BitmapThumbnail result;
  result.width = layout.width;
  result.height = layout.height;
  const ThumbnailSize size = thumbnailSize(layout.width, layout.height, maxWidth, maxHeight);
  if (rle) {
    result.pixels = decodeRleSurface<ThumbnailSink>(*rle, layout, size.width, size.height, layout.width, layout.height);
  } else {
    result.pixels = Surface::forOverwrite(size.width, size.height);
    const ThumbnailSink sink(result.pixels, layout.width, layout.height);
    sampleRows(reader, layout, sink, result.pixels);
  }
  return result;
}

}  // namespace

Surface decodeBitmap(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return Surface(0, 0);
  const Layout layout = readLayout(bytes.data(), bytes.size());
  if (layout.rle) {
    RleData rle = memoryRleData(bytes, layout);
    return decodeRleSurface<SurfaceSink>(rle, layout, layout.width, layout.height);
  }
  // Every row is present (checked by readLayout), so every pixel gets written.
  Surface surface = Surface::forOverwrite(layout.width, layout.height);
  const RowDecoder rows(layout);
  const std::uint8_t* data = bytes.data() + layout.pixelOffset;
  inTwoBands(layout.height, layout.stride * static_cast<std::uint64_t>(layout.height), [&](int begin, int end) {
    for (int r = begin; r < end; ++r) rows.decode(data + layout.stride * static_cast<std::uint64_t>(r), r, surface);
  });
  return surface;
}

namespace {

// The whole of a small file, for decoding in memory.
std::vector<std::uint8_t> wholeFile(const InputFile& file) {
  std::vector<std::uint8_t> contents;
  resizeOrNoResources(contents, static_cast<size_t>(file.size()));
  if (!file.readAt(0, contents.data(), contents.size())) readError();
  return contents;
}

// The headers of a file that is not empty.
Layout fileLayout(const InputFile& file, std::uint64_t maxPixels = kMaxPicturePixels) {
  std::uint8_t head[kLayoutBytes];
  const size_t n = static_cast<size_t>(std::min<std::uint64_t>(file.size(), kLayoutBytes));
  if (!file.readAt(0, head, n)) readError();
  return readLayout(head, static_cast<size_t>(std::min<std::uint64_t>(file.size(), SIZE_MAX)), maxPixels);
}

// Reads the `count` uncompressed file rows from file row `first` on into `buffer`, then hands
// each to decode(k, bytes of file row first + k). False when the file does not hold them;
// Error(kNoResources) when the buffer cannot be had.
template <class Decode>
bool readFileRows(const InputFile& file, const Layout& layout, std::uint64_t first, int count,
                  std::vector<std::uint8_t>& buffer, const Decode& decode) {
  resizeOrNoResources(buffer, static_cast<size_t>(layout.stride * static_cast<std::uint64_t>(count)));
  if (!file.readAt(layout.pixelOffset + layout.stride * first, buffer.data(), buffer.size())) return false;
  for (int k = 0; k < count; ++k) decode(k, buffer.data() + layout.stride * static_cast<std::uint64_t>(k));
  return true;
}

}  // namespace

std::optional<Surface> readBitmapFile(const std::string& fileName, std::uint64_t streamFrom) {
  std::optional<InputFile> file = InputFile::open(fileName);
  if (!file) return std::nullopt;
  const std::uint64_t size = file->size();

  // Small files: the whole file, then decodeBitmap.
  if (size < std::max<std::uint64_t>(streamFrom, kLayoutBytes)) return decodeBitmap(wholeFile(*file));

  const Layout layout = fileLayout(*file);
  if (layout.rle) {
    RleData rle = fileRleData(*file, layout);
    return decodeRleSurface<SurfaceSink>(rle, layout, layout.width, layout.height);
  }

  // Uncompressed: rows straight from the file into the surface, in two bands, each with a
  // buffer of a few rows.
  Surface surface = Surface::forOverwrite(layout.width, layout.height);
  const RowDecoder rows(layout);
  std::atomic<bool> failed{false}, outOfMemory{false};
  // Rows [begin, end): false when the file could not be read.
  auto readBand = [&](int begin, int end) {
    const int perChunk = static_cast<int>(std::max<std::uint64_t>(1, (std::uint64_t{1} << 20) / layout.stride));
    std::vector<std::uint8_t> buffer;
    for (int r = begin; r < end && !failed; r += perChunk) {
      const int n = std::min(perChunk, end - r);
      const auto decode = [&](int k, const std::uint8_t* src) { rows.decode(src, r + k, surface); };
      if (!readFileRows(*file, layout, static_cast<std::uint64_t>(r), n, buffer, decode)) return false;
    }
    return true;
  };
  inTwoBands(layout.height, layout.stride * static_cast<std::uint64_t>(layout.height), [&](int begin, int end) {
    try {
      if (!readBand(begin, end)) failed = true;
    } catch (...) {  // a row buffer that cannot be had (rows of hundreds of megabytes)
      outOfMemory = failed = true;
    }
  });
  if (outOfMemory) throw Error(kNoResources);
  if (failed) readError();
  return surface;
}

ThumbnailSize thumbnailSize(int width, int height, int maxWidth, int maxHeight) {
  return {std::clamp(width, 0, std::max(maxWidth, 0)), std::clamp(height, 0, std::max(maxHeight, 0))};
}

Surface thumbnailOf(const Surface& surface, int maxWidth, int maxHeight) {
  const ThumbnailSize size = thumbnailSize(surface.width(), surface.height(), maxWidth, maxHeight);
  Surface thumbnail = Surface::forOverwrite(size.width, size.height);
  for (int ty = 0; ty < size.height; ++ty) {
    const Colour* src = surface.row(static_cast<int>(thumbnailSample(ty, size.height, surface.height())));
    Colour* out = thumbnail.row(ty);
    for (int tx = 0; tx < size.width; ++tx) out[tx] = src[thumbnailSample(tx, size.width, surface.width())];
  }
  return thumbnail;
}

BitmapThumbnail decodeBitmapThumbnail(std::span<const std::uint8_t> bytes, int maxWidth, int maxHeight) {
  if (bytes.empty()) return {};
  const Layout layout = readLayout(bytes.data(), bytes.size());
  std::optional<RleData> rle;
  if (layout.rle) rle.emplace(memoryRleData(bytes, layout));
  return thumbnailOfLayout(MemoryReader(bytes), layout, rle ? &*rle : nullptr, maxWidth, maxHeight);
}

std::optional<BitmapThumbnail> readBitmapThumbnail(const std::string& fileName, int maxWidth, int maxHeight) {
  std::optional<InputFile> file = InputFile::open(fileName);
  if (!file) return std::nullopt;
  if (file->size() == 0) return BitmapThumbnail{};
  const Layout layout = fileLayout(*file);
  std::optional<RleData> rle;
  if (layout.rle) rle.emplace(fileRleData(*file, layout));
  return thumbnailOfLayout(*file, layout, rle ? &*rle : nullptr, maxWidth, maxHeight);
}


struct BitmapRowReader::State {
  std::optional<InputFile> file;
  Layout layout;
  std::unique_ptr<RowDecoder> rows;  // refers to `layout`
  std::vector<std::uint8_t> buffer;
};

BitmapRowReader::BitmapRowReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
BitmapRowReader::~BitmapRowReader() = default;
int BitmapRowReader::width() const { return state_->layout.width; }
int BitmapRowReader::height() const { return state_->layout.height; }

std::unique_ptr<BitmapRowReader> BitmapRowReader::open(const std::string& fileName, std::uint64_t maxPixels) {
  auto state = std::make_unique<State>();
  state->file = InputFile::open(fileName);
  if (!state->file || state->file->size() == 0) return nullptr;
  try {
    state->layout = fileLayout(*state->file, maxPixels);
    if (state->layout.rle) return nullptr;
    state->rows = std::make_unique<RowDecoder>(state->layout);
  } catch (const Error&) {
    return nullptr;
  }
  return std::unique_ptr<BitmapRowReader>(new BitmapRowReader(std::move(state)));
}

void checkBandedBitmapHeaders(const std::string& fileName, std::uint64_t maxPixels) {
  const std::optional<InputFile> file = InputFile::open(fileName);
  if (!file || file->size() == 0) return;
  // The headers read once, checked under both limits (as fileLayout reads them).
  std::uint8_t head[kLayoutBytes];
  if (!file->readAt(0, head, static_cast<size_t>(std::min<std::uint64_t>(file->size(), kLayoutBytes))))
    return;  // the same read error under either limit
  const size_t size = static_cast<size_t>(std::min<std::uint64_t>(file->size(), SIZE_MAX));
  std::string refused;
  try {
    readLayout(head, size);
    return;
  } catch (const Error& e) {
    refused = e.message();
  }
  try {
    readLayout(head, size, maxPixels);
  } catch (const Error& e) {
    if (e.message() != refused) throw;
  }
}

void BitmapRowReader::read(int y, int count, Colour* out, std::size_t stride) {
  State& s = *state_;
  const Layout& layout = s.layout;
  if (count <= 0) return;
  // The band's file rows are consecutive: y.. for a top-down file, bottom-up otherwise.
  const std::uint64_t firstFileRow = layout.topDown ? static_cast<std::uint64_t>(y)
                                                    : static_cast<std::uint64_t>(layout.height - y - count);
  const auto decode = [&](int k, const std::uint8_t* src) {
    const int row = layout.topDown ? k : count - 1 - k;  // the band's row of file row k
    s.rows->decodeInto(src, out + static_cast<size_t>(row) * stride);
  };
  if (!readFileRows(*s.file, layout, firstFileRow, count, s.buffer, decode)) readError();
}

void writeBitmap(const Surface& surface, StagedFile& out) {
  // A picture without pixels is written as an empty file, which reads back as 0 x 0.
  if (surface.empty()) return;
  const std::uint32_t width = static_cast<std::uint32_t>(surface.width());
  const std::uint32_t height = static_cast<std::uint32_t>(surface.height());
  const size_t stride = ((std::uint64_t{width} * 24 + 31) / 32) * 4;
  const std::uint64_t imageSize = std::uint64_t{stride} * height;
  const std::uint64_t fileSize = 54 + imageSize;
  std::uint8_t header[54] = {'B', 'M'};
  auto put16 = [&](int at, std::uint32_t v) {
    header[at] = v & 0xFF;
    header[at + 1] = (v >> 8) & 0xFF;
  };
  auto put32 = [&](int at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  put32(2, fileSize > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(fileSize));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  put16(26, 1);
  put16(28, 24);
  put32(34, imageSize > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(imageSize));
  out.write(header, sizeof header);

  std::vector<std::uint8_t> line(stride, 0);
  for (int y = surface.height() - 1; y >= 0; --y) {
    const Colour* src = surface.row(y);
    std::uint8_t* p = line.data();
    for (std::uint32_t x = 0; x < width; ++x, p += 3) {
      p[0] = static_cast<std::uint8_t>(blueOf(src[x]));
      p[1] = static_cast<std::uint8_t>(greenOf(src[x]));
      p[2] = static_cast<std::uint8_t>(redOf(src[x]));
    }
    out.write(line.data(), stride);
  }
}

void writeBitmapFile(const Surface& surface, const std::string& fileName) {
  writeOutputFile(fileName, [&](StagedFile& out) { writeBitmap(surface, out); });
}

}  // namespace tavrik
