#include "maps/tile_bank.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "base/error.h"
#include "files/input_file.h"
#include "maps/map_layout.h"
#include "tavrik_decoders.h"
#include "maps/tile_words.h"

namespace tavrik {

namespace {

// The size of `path` when it is a regular file, without opening it.
std::optional<std::uintmax_t> regularFileSize(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return std::nullopt;
  return size;
}

}  // namespace

std::vector<Colour> decodeTileRecords(std::span<const std::uint8_t> bytes, int S, const std::string& name) {
  if (S <= 0 || S > 16 || bytes.size() % static_cast<size_t>(tileRecordSize(S)) != 0)
    throw Error(format(kBadTileFile, name.c_str()));
  std::vector<Colour> tiles(bytes.size() / 4 * static_cast<size_t>(S));
  Colour* out = tiles.data();
  for (size_t row = 0; row < bytes.size(); row += 4) {
    const unsigned first = static_cast<unsigned>(bytes[row] << 8 | bytes[row + 1]);
    const unsigned second = static_cast<unsigned>(bytes[row + 2] << 8 | bytes[row + 3]);
    if ((first | second) >> S) throw Error(format(kBadTileFile, name.c_str()));
    decodeTileRow(first, second, S, out);
    out += S;
  }
  return tiles;
}

std::vector<Colour> readTileFile(const std::string& path, int S, Compression compression) {
  // Opened once, never blocking, and read only when it is a regular file. One that is regular
  // but cannot be opened (not readable) is still judged by its size first.
  const std::optional<InputFile> file = InputFile::open(path);
  const std::optional<std::uintmax_t> size = file ? file->size() : regularFileSize(path);
  if (!size) throw Error(format(kCannotOpenFile, path.c_str()));
  // A file of more tiles than a map can index was not written by the export: refused before
  // it is read into memory. A stream may be a little longer than its data.
  const std::uintmax_t record = static_cast<std::uintmax_t>(tileRecordSize(S));
  const std::uintmax_t largest = record * static_cast<std::uintmax_t>(kMaxTiles);
  const bool plain = compression == Compression::None;
  if (plain ? *size % record != 0 || *size > largest : *size > largest + largest / 64 + 64)
    throw Error(format(kBadTileFile, path.c_str()));
  std::vector<std::uint8_t> bytes(static_cast<size_t>(*size));
  if (!file || !file->readAt(0, bytes.data(), bytes.size()))
    throw Error(format(kCannotOpenFile, path.c_str()));
  if (plain) return decodeTileRecords(bytes, S, path);

  std::uint32_t length = 0;
  if (tavrik_decoded_length(bytes.data(), bytes.size(), &length) != TAVRIK_DECODE_OK || length % record != 0 ||
      length > largest)
    throw Error(format(kBadTileFile, path.c_str()));
  std::vector<std::uint8_t> tiles(length);
  const auto decode = compression == Compression::Lz4 ? tavrik_lz4_decode : tavrik_rle_decode;
  if (decode(bytes.data(), bytes.size(), tiles.data(), tiles.size(), nullptr) != TAVRIK_DECODE_OK)
    throw Error(format(kBadTileFile, path.c_str()));
  return decodeTileRecords(tiles, S, path);
}

std::string bankFilePath(const std::string& plainPath, Compression compression) {
  std::error_code ec;
  if (compression == Compression::None || std::filesystem::exists(std::filesystem::symlink_status(plainPath, ec)))
    return plainPath;
  return plainPath + compressionSuffix(compression);
}

namespace {

// PREFIXn.bin, or with a compression and no entry of that name, its compressed file.
std::vector<Colour> readBankFile(const std::string& plainPath, int S, Compression compression) {
  const std::string path = bankFilePath(plainPath, compression);
  return path == plainPath ? readTileFile(path, S) : readTileFile(path, S, compression);
}

}  // namespace

TileBank readTileBank(const std::string& prefix, int S, Compression compression) {
  TileBank bank;
  bank.sprites = readBankFile(prefix + "1.bin", S, compression);
  bank.backgrounds = readBankFile(prefix + "2.bin", S, compression);
  return bank;
}

}  // namespace tavrik
