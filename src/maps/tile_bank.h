// Tile banks: the tiles of tile-graphics files written by an earlier export, read back so that
// a new conversion can put them ahead of its own tiles.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "formats/compress.h"
#include "imaging/colour.h"

namespace tavrik {

inline constexpr const char* kCannotOpenFile = "Impossible d'ouvrir le fichier %s";
inline constexpr const char* kBadTileFile = "Fichier de tuiles incorrect : %s";

// Bytes of one tile in a tile-graphics file: S rows of two 16-bit words.
inline constexpr int tileRecordSize(int S) { return 4 * S; }

// The tiles of a tile-graphics file's bytes, S x S colours each, row by row, tile after tile:
// colour numbers 0..3 become clWhite, clSilver, clGray, clBlack, so that writing them again
// gives the same bytes. Throws Error(kBadTileFile, `name`) when the bytes are not whole tile
// records of that size, or when an 8-pixel row has bits above its 8 pixels (no export writes
// them, and they would be lost).
std::vector<Colour> decodeTileRecords(std::span<const std::uint8_t> bytes, int S, const std::string& name);

// The tiles of the tile-graphics file `path`, read whole and decoded as decodeTileRecords does.
// Throws Error(kCannotOpenFile) for a file that cannot be opened or read (absent, a folder, a
// named pipe, a device), Error(kBadTileFile) as decodeTileRecords does, and also for more tiles
// than any map record can index (65536), before the file is read. With a `compression`, the file
// is that compression's stream (see formats/compress.h), decoded first; one that does not
// decode, or decodes into more than 65536 tiles, is a bad tile file.
std::vector<Colour> readTileFile(const std::string& path, int S, Compression compression = Compression::None);

struct TileBank {
  std::vector<Colour> sprites;      // tiles of PREFIX1.bin
  std::vector<Colour> backgrounds;  // tiles of PREFIX2.bin
};

// Reads PREFIX1.bin and PREFIX2.bin whole (so the files may then be replaced by the export).
// Throws Error(kCannotOpenFile) for a file that cannot be opened or read, Error(kBadTileFile)
// as decodeTileRecords does, and also for more tiles than any map record can index (65536).
//
// With a `compression` (that of the run), a file whose plain name is absent (no entry of any
// kind) is read from its compressed name instead, "PREFIX1.bin.lz4" or ".rle", and decoded;
// a stream that does not decode, or decodes into more than 65536 tiles, is a bad tile file.
TileBank readTileBank(const std::string& prefix, int S, Compression compression = Compression::None);

// The file that readTileBank reads for the plain name `plainPath` ("PREFIX1.bin"): that name, or
// with a compression and no entry of that name, its compressed name.
std::string bankFilePath(const std::string& plainPath, Compression compression);

}  // namespace tavrik
