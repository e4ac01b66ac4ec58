// Little-endian fields written into a byte buffer, for building picture files in tests and in
// the fuzzer's seed corpus.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrik::testing {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}

}  // namespace tavrik::testing
