#include "maps/tile_bank.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "base/error.h"
#include "files/input_file.h"
#include "maps/map_layout.h"
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

std::vector<Colour> readTileFile(const std::string& path, int S) {
  // Opened once, never blocking, and read only when it is a regular file. One that is regular
  // but cannot be opened (not readable) is still judged by its size first.
  const std::optional<InputFile> file = InputFile::open(path);
  const std::optional<std::uintmax_t> size = file ? file->size() : regularFileSize(path);
  if (!size) throw Error(format(kCannotOpenFile, path.c_str()));
  // A file of more tiles than a map can index was not written by the export: refused before
  // it is read into memory.
  const std::uintmax_t record = static_cast<std::uintmax_t>(tileRecordSize(S));
  if (*size % record != 0 || *size / record > static_cast<std::uintmax_t>(kMaxTiles))
    throw Error(format(kBadTileFile, path.c_str()));
  std::vector<std::uint8_t> bytes(static_cast<size_t>(*size));
  if (!file || !file->readAt(0, bytes.data(), bytes.size()))
    throw Error(format(kCannotOpenFile, path.c_str()));
  return decodeTileRecords(bytes, S, path);
}

TileBank readTileBank(const std::string& prefix, int S) {
  TileBank bank;
  bank.sprites = readTileFile(prefix + "1.bin", S);
  bank.backgrounds = readTileFile(prefix + "2.bin", S);
  return bank;
}

}  // namespace tavrik
