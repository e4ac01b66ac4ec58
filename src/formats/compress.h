// Compressed tables: the streams that --compress writes instead of a table's plain bytes.
//
// Both streams start with the decoded length in bytes, 4 bytes big-endian.
//   lz4: then one LZ4 block (the block format that liblz4's LZ4_decompress_safe reads), made
//        by liblz4's high-compression coder at its best level.
//   rle: then control words, big-endian, each followed by its data: a word 0..$7FFF is a literal
//        stretch of (word + 1) data words copied as they stand; a word $8000..$FFFF is a run, one
//        data word repeated ((word & $7FFF) + 1) times. Control words go on until the whole words
//        of the decoded length are out; an odd length ends with its last byte, as it stands.
// docs/compression.md gives both byte by byte; decoders/ holds the decoders for C and the 68000.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrik {

enum class Compression { None, Rle, Lz4 };

// "none", "rle", "lz4"; nullopt for any other text.
std::optional<Compression> compressionNamed(const std::string& name);
// "none", "rle", "lz4".
const char* compressionName(Compression c);
// The file name suffix of a compressed table: "", ".rle", ".lz4".
const char* compressionSuffix(Compression c);

// The stream of `size` bytes at `data` (for None, the bytes themselves). Throws Error when the
// data is too large for the 4-byte length (or, for lz4, for liblz4) or liblz4 fails.
std::vector<std::uint8_t> compressBytes(Compression c, const std::uint8_t* data, std::size_t size);
inline std::vector<std::uint8_t> compressBytes(Compression c, const std::vector<std::uint8_t>& bytes) {
  return compressBytes(c, bytes.data(), bytes.size());
}

// The largest stream that compressBytes(Compression::Rle, ...) writes for `size` bytes: the
// data, the length, and one control word per 32768 whole words (rounded up).
std::size_t rleBound(std::size_t size);

// 16-bit values as bytes, high byte first or low byte first.
std::vector<std::uint8_t> wordBytes(const std::vector<std::uint16_t>& values, bool bigEndian);

}  // namespace tavrik
