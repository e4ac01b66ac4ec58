// PNG chunks for the fuzzer and its seed corpus: the CRC of a chunk, building one, and
// rewriting every CRC of a file so that mutated chunks reach the decoder beyond the CRC check.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrik::fuzzing {

inline std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

inline std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline void putBe32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// Appends the chunk `type` holding `body` (length, type, body, CRC).
inline void appendChunk(std::vector<std::uint8_t>& png, const char (&type)[5], const std::vector<std::uint8_t>& body) {
  const std::size_t at = png.size();
  png.resize(at + 8 + body.size() + 4);
  putBe32(&png[at], static_cast<std::uint32_t>(body.size()));
  for (int k = 0; k < 4; ++k) png[at + 4 + k] = static_cast<std::uint8_t>(type[k]);
  std::copy(body.begin(), body.end(), png.begin() + static_cast<std::ptrdiff_t>(at + 8));
  putBe32(&png[at + 8 + body.size()], crc32(&png[at + 4], 4 + body.size()));
}

// Rewrites the CRC of every whole chunk after the 8-byte signature.
inline void fixCrcs(std::vector<std::uint8_t>& png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::uint64_t length = be32(&png[at]);
    if (length > png.size() - at - 12) break;
    putBe32(&png[at + 8 + length], crc32(&png[at + 4], 4 + length));
    at += 12 + length;
  }
}

}  // namespace tavrik::fuzzing
