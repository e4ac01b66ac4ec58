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
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imaging/error.h"

namespace tavrik {

namespace {

constexpr const char* kReadError = "Erreur de lecture du flux";
constexpr const char* kBadBitmap = "Image bitmap incorrecte";

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
// Pictures above this many pixels are refused before anything is allocated (1 GiB of surface).
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

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

// RLE8 / RLE4 data into a surface already filled with colour-table entry 0. Rows run from the
// bottom up; pixels beyond the right edge or above the top are dropped. Every step is bounded
// by the data: each code consumes at least two bytes.
void decodeRle(std::span<const std::uint8_t> data, bool rle4, const std::array<Colour, 256>& palette,
               Surface& surface) {
  const std::int64_t width = surface.width();
  const std::int64_t height = surface.height();
  const size_t n = data.size();
  size_t i = 0;
  std::int64_t x = 0, y = 0;
  auto rowOf = [&](std::int64_t line) { return surface.row(static_cast<int>(height - 1 - line)); };
  while (y < height) {
    if (i + 2 > n) {
      // The data ended without an end-of-bitmap code: fine only if the picture is complete.
      if (y == height - 1 && x >= width) return;
      readError();
    }
    const unsigned count = data[i], value = data[i + 1];
    i += 2;
    if (count > 0) {  // a run of `count` pixels
      if (x < width) {
        Colour* row = rowOf(y);
        const std::int64_t end = std::min<std::int64_t>(x + count, width);
        if (rle4) {
          const Colour colours[2] = {palette[value >> 4], palette[value & 0xF]};
          for (std::int64_t k = x; k < end; ++k) row[k] = colours[(k - x) & 1];
        } else {
          std::fill(row + x, row + end, palette[value]);
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
      case 2:  // delta: skip right and up
        if (i + 2 > n) readError();
        x += data[i];
        y += data[i + 1];
        i += 2;
        break;
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        const size_t bytes = rle4 ? (value + 1) / 2 : value;
        if (i + bytes > n) readError();
        if (x < width) {
          Colour* row = rowOf(y);
          const std::int64_t end = std::min<std::int64_t>(x + value, width);
          for (std::int64_t k = x; k < end; ++k) {
            const size_t j = static_cast<size_t>(k - x);
            row[k] = rle4 ? palette[(data[i + j / 2] >> ((j & 1) ? 0 : 4)) & 0xF]
                          : palette[data[i + j]];
          }
        }
        x += value;
        i += bytes + (bytes & 1);
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
// min(size, kLayoutBytes) bytes are at `b`.
Layout readLayout(const std::uint8_t* b, size_t size) {
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
  if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPixels)
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
  std::thread other([&] { fn(count / 2, count); });
  fn(0, count / 2);
  other.join();
}

}  // namespace

Surface decodeBitmap(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return Surface(0, 0);
  const Layout layout = readLayout(bytes.data(), bytes.size());
  const std::span<const std::uint8_t> data = layout.pixelOffset <= bytes.size()
                                                 ? bytes.subspan(layout.pixelOffset)
                                                 : std::span<const std::uint8_t>{};
  if (layout.rle) {
    if (data.size() < 2) readError();
    Surface surface(layout.width, layout.height, layout.palette[0]);
    decodeRle(data, layout.h.compression == kRle4, layout.palette, surface);
    return surface;
  }
  // Every row is present (checked by readLayout), so every pixel gets written.
  Surface surface = Surface::forOverwrite(layout.width, layout.height);
  const RowDecoder rows(layout);
  inTwoBands(layout.height, layout.stride * static_cast<std::uint64_t>(layout.height), [&](int begin, int end) {
    for (int r = begin; r < end; ++r) rows.decode(data.data() + layout.stride * static_cast<std::uint64_t>(r), r, surface);
  });
  return surface;
}

std::optional<Surface> readBitmapFile(const std::string& fileName, std::uint64_t streamFrom) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) return std::nullopt;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (!file) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(fileName, ec);

  // Reads `n` bytes at `offset` of the open file into `out`; false on a short read.
  auto readAt = [](std::FILE* f, std::uint64_t offset, void* out, size_t n) {
    return std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
  };

  // Small files, compressed ones and files of unknown size: the whole file, then decodeBitmap.
  auto whole = [&]() -> Surface {
    std::vector<std::uint8_t> contents;
    try {
      std::rewind(file.get());
      if (!ec && size > 0) contents.reserve(static_cast<size_t>(size));
      std::uint8_t buffer[1 << 16];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        contents.insert(contents.end(), buffer, buffer + n);
    } catch (const std::bad_alloc&) {
      throw Error("Plus de ressources système");
    } catch (const std::length_error&) {
      throw Error("Plus de ressources système");
    }
    if (std::ferror(file.get())) readError();
    return decodeBitmap(contents);
  };
  if (ec || size < std::max<std::uintmax_t>(streamFrom, kLayoutBytes) || size > static_cast<std::uintmax_t>(std::numeric_limits<long>::max()))
    return whole();

  std::uint8_t head[kLayoutBytes];
  if (!readAt(file.get(), 0, head, kLayoutBytes)) readError();
  const Layout layout = readLayout(head, static_cast<size_t>(size));
  if (layout.rle) return whole();

  // Uncompressed: rows straight from the file into the surface, in two bands, each with its
  // own handle and a buffer of a few rows.
  Surface surface = Surface::forOverwrite(layout.width, layout.height);
  const RowDecoder rows(layout);
  std::atomic<bool> failed{false}, outOfMemory{false};
  // Rows [begin, end): false when the file could not be reopened or read.
  auto readBand = [&](int begin, int end) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> own(nullptr, &std::fclose);
    std::FILE* f = file.get();
    if (begin > 0) {
      own.reset(std::fopen(fileName.c_str(), "rb"));
      f = own.get();
      if (!f) return false;
    }
    const int perChunk = static_cast<int>(std::max<std::uint64_t>(1, (std::uint64_t{1} << 20) / layout.stride));
    std::vector<std::uint8_t> buffer;
    for (int r = begin; r < end && !failed; r += perChunk) {
      const int n = std::min(perChunk, end - r);
      buffer.resize(static_cast<size_t>(layout.stride * static_cast<std::uint64_t>(n)));
      if (!readAt(f, layout.pixelOffset + layout.stride * static_cast<std::uint64_t>(r), buffer.data(), buffer.size()))
        return false;
      for (int k = 0; k < n; ++k) rows.decode(buffer.data() + layout.stride * static_cast<std::uint64_t>(k), r + k, surface);
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
  if (outOfMemory) throw Error("Plus de ressources système");
  if (failed) readError();
  return surface;
}

struct BitmapRowReader::State {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, &std::fclose};
  Layout layout;
  std::unique_ptr<RowDecoder> rows;  // refers to `layout`
  std::vector<std::uint8_t> buffer;
};

BitmapRowReader::BitmapRowReader(std::unique_ptr<State> state) : state_(std::move(state)) {}
BitmapRowReader::~BitmapRowReader() = default;
int BitmapRowReader::width() const { return state_->layout.width; }
int BitmapRowReader::height() const { return state_->layout.height; }

std::unique_ptr<BitmapRowReader> BitmapRowReader::open(const std::string& fileName) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) return nullptr;
  auto state = std::make_unique<State>();
  state->file.reset(std::fopen(fileName.c_str(), "rb"));
  if (!state->file) return nullptr;
  const std::uintmax_t size = std::filesystem::file_size(fileName, ec);
  if (ec || size == 0 || size > static_cast<std::uintmax_t>(std::numeric_limits<long>::max()))
    return nullptr;
  std::uint8_t head[kLayoutBytes];
  const size_t headBytes = static_cast<size_t>(std::min<std::uintmax_t>(size, kLayoutBytes));
  if (std::fread(head, 1, headBytes, state->file.get()) != headBytes) return nullptr;
  try {
    state->layout = readLayout(head, static_cast<size_t>(size));
    if (state->layout.rle) return nullptr;
    state->rows = std::make_unique<RowDecoder>(state->layout);
  } catch (const Error&) {
    return nullptr;
  }
  return std::unique_ptr<BitmapRowReader>(new BitmapRowReader(std::move(state)));
}

void BitmapRowReader::read(int y, int count, Colour* out, std::size_t stride) {
  State& s = *state_;
  const Layout& layout = s.layout;
  if (count <= 0) return;
  // The band's file rows are consecutive: y.. for a top-down file, bottom-up otherwise.
  const std::uint64_t firstFileRow = layout.topDown ? static_cast<std::uint64_t>(y)
                                                    : static_cast<std::uint64_t>(layout.height - y - count);
  try {
    s.buffer.resize(static_cast<size_t>(layout.stride * static_cast<std::uint64_t>(count)));
  } catch (const std::bad_alloc&) {
    throw Error("Plus de ressources système");
  }
  const std::uint64_t offset = layout.pixelOffset + layout.stride * firstFileRow;
  if (std::fseek(s.file.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(s.buffer.data(), 1, s.buffer.size(), s.file.get()) != s.buffer.size())
    readError();
  for (int k = 0; k < count; ++k) {
    const int fileRow = layout.topDown ? k : count - 1 - k;
    s.rows->decodeInto(s.buffer.data() + layout.stride * static_cast<std::uint64_t>(fileRow),
                       out + static_cast<size_t>(k) * stride);
  }
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
