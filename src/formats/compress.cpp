#include "formats/compress.h"

#include <lz4.h>
#include <lz4hc.h>

#include <limits>

#include "base/error.h"

namespace tavrik {

namespace {

constexpr const char* kTableTooLarge = "Table trop grande pour être compressée (%zu octets)";
constexpr const char* kLz4Failed = "Échec de la compression LZ4";

constexpr std::size_t kRleMaxCount = 0x8000;  // words of one control word
constexpr std::uint16_t kRleRun = 0x8000;

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word >> 8));
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

std::uint32_t checkedLength(std::size_t size, std::size_t limit) {
  if (size > limit) throw Error(format(kTableTooLarge, size));
  return static_cast<std::uint32_t>(size);
}

// Runs of 3 words or more are coded as runs (4 bytes, at most what they hold less 2, which pays
// the control word of a literal stretch after them); runs of 2 only where no literal stretch is
// open (after a run or at the start), where they cost what they hold. Everything else goes into
// literal stretches of at most 32768 words. So the stream grows by 2 bytes per 32768 words at
// most, plus the length.
std::vector<std::uint8_t> rle(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> out;
  out.reserve(rleBound(size));
  putBigEndian32(out, checkedLength(size, std::numeric_limits<std::uint32_t>::max()));
  const std::size_t words = size / 2;
  const auto word = [&](std::size_t i) {
    return static_cast<std::uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
  };
  std::size_t literalStart = 0, literalCount = 0;  // the open literal stretch
  bool afterRun = true;
  const auto closeLiteral = [&] {
    if (literalCount == 0) return;
    putWord(out, static_cast<std::uint16_t>(literalCount - 1));
    out.insert(out.end(), data + 2 * literalStart, data + 2 * (literalStart + literalCount));
    literalCount = 0;
  };
  for (std::size_t i = 0; i < words;) {
    const std::uint16_t value = word(i);
    std::size_t run = 1;
    while (i + run < words && run < kRleMaxCount && word(i + run) == value) ++run;
    if (run >= 3 || (run == 2 && afterRun && literalCount == 0)) {
      closeLiteral();
      putWord(out, static_cast<std::uint16_t>(kRleRun | (run - 1)));
      putWord(out, value);
      afterRun = true;
      i += run;
      continue;
    }
    // One word into the literal stretch (a pair of equal words goes in whole).
    for (std::size_t k = 0; k < run; ++k) {
      if (literalCount == kRleMaxCount) closeLiteral();
      if (literalCount == 0) literalStart = i + k;
      ++literalCount;
    }
    afterRun = false;
    i += run;
  }
  closeLiteral();
  if (size % 2) out.push_back(data[size - 1]);
  return out;
}

std::vector<std::uint8_t> lz4(const std::uint8_t* data, std::size_t size) {
  const std::uint32_t length = checkedLength(size, LZ4_MAX_INPUT_SIZE);
  std::vector<std::uint8_t> out;
  putBigEndian32(out, length);
  const int bound = LZ4_compressBound(static_cast<int>(length));
  resizeOrNoResources(out, 4 + static_cast<std::size_t>(bound));
  // liblz4 reads its source even for no bytes: never give it a null pointer.
  static const std::uint8_t kNothing = 0;
  const int written = LZ4_compress_HC(reinterpret_cast<const char*>(size ? data : &kNothing),
                                      reinterpret_cast<char*>(out.data() + 4),
                                      static_cast<int>(length), bound, LZ4HC_CLEVEL_MAX);
  if (written <= 0) throw Error(kLz4Failed);
  out.resize(4 + static_cast<std::size_t>(written));
  return out;
}

}  // namespace

std::optional<Compression> compressionNamed(const std::string& name) {
  for (const Compression c : {Compression::None, Compression::Rle, Compression::Lz4})
    if (name == compressionName(c)) return c;
  return std::nullopt;
}

const char* compressionName(Compression c) {
  switch (c) {
    case Compression::Rle: return "rle";
    case Compression::Lz4: return "lz4";
    default: return "none";
  }
}

const char* compressionSuffix(Compression c) {
  switch (c) {
    case Compression::Rle: return ".rle";
    case Compression::Lz4: return ".lz4";
    default: return "";
  }
}

std::size_t rleBound(std::size_t size) {
  const std::size_t words = size / 2;
  return size + 4 + 2 * ((words + kRleMaxCount - 1) / kRleMaxCount);
}

std::vector<std::uint8_t> compressBytes(Compression c, const std::uint8_t* data, std::size_t size) {
  switch (c) {
    case Compression::Rle: return rle(data, size);
    case Compression::Lz4: return lz4(data, size);
    default: return std::vector<std::uint8_t>(data, data + size);
  }
}

std::vector<std::uint8_t> wordBytes(const std::vector<std::uint16_t>& values, bool bigEndian) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(values.size() * 2);
  for (const std::uint16_t v : values) {
    const auto high = static_cast<std::uint8_t>(v >> 8), low = static_cast<std::uint8_t>(v & 0xFF);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
  return bytes;
}

}  // namespace tavrik
