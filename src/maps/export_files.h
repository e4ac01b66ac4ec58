// The four output files of "Création des MAPS", and the whole command.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/output_set.h"
#include "maps/tile_maps.h"
#include "workspace/workspace.h"

namespace tavrik {

// Messages of the export.
inline constexpr const char* kClosingMessage = "Les fichiers ont été enregistrés avec l'image : %s";
inline constexpr const char* kTooManyTilesMax = "Trop de tuiles dans la liste : %d (%d au plus)";
inline constexpr int kMaxTiles = 65536;  // indices of 2-byte map records without flip bits
inline constexpr const char* kTileSizeNotWritable =
    "Les tuiles de %d pixels ne peuvent pas être enregistrées (16 pixels au plus)";

struct ExportResult {
  std::vector<std::string> files;  // paths written, in order
  std::string closingMessage;      // "Les fichiers ont été enregistrés avec l'image : %s"
};

// Stages "%s1.lvl", "%s2.lvl" (the maps: 2 bytes per cell, low 16 bits of the index
// little-endian, rows outer, columns inner), then "%s1.bin", "%s2.bin" (the first L tiles of
// Image5 / Image6, L read from Label23 / Label26 once the file is open: per tile and row, two
// 16-bit words of bit planes, black 1/1, grey 1/0, silver 0/1, anything else 0/0, leftmost
// pixel highest, each word big-endian) into `set`, in `folder` ("" = the current folder), %s
// being ws.Edit6 unchanged. Nothing is in place until the set is committed.
//
// Refused before any file is started: SpriteSize above 16 (a 32-pixel row does not fit the
// 16-bit words; the window never offers it) and a tile counter above 65536 (indices above
// 65535 would wrap in a map record), or, when the maps carry flips, above 2 to the power of
// the lower flip bit. A file that cannot be created ("Impossible de créer le
// fichier %s") or written ("Erreur d'écriture du fichier %s") throws, %s the path as built.
void stageExportFiles(Workspace& ws, const Maps& maps, const std::string& folder, OutputSet& set);

// Stages the four files, commits them as one set (see OutputSet: an error before the renames
// changes none of the four final files) and returns their paths and the closing message.
ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder = {});

// The path of the output file `file` in `folder` ("" = the current folder).
std::string outputPath(const std::string& folder, const std::string& file);

// The names of the four files for the base name `name`, in the order they are staged:
// "%s1.lvl", "%s2.lvl", "%s1.bin", "%s2.bin".
std::vector<std::string> exportFileNames(const std::string& name);

// The values of the files before their byte order. A map gives one record per cell, row by row:
// the low 16 bits of its index, with `flipBits` also the flip bits of the cell's orientation. A list gives, for each of its first `count` tiles and each of
// its `size` rows, the two bit-plane words (high bits, then low bits of the colour numbers).
std::vector<std::uint16_t> mapRecords(const TileMap& map, const std::optional<FlipBits>& flipBits = std::nullopt);
std::vector<std::uint16_t> tileWords(ImageControl& list, int count, int size);

// The refusals of stageExportFiles that come before any file: SpriteSize above 16, a tile
// counter above 65536 (with `flipBits`, above 2 to the power of the lower flip bit).
void checkExportable(const Workspace& ws, const std::optional<FlipBits>& flipBits = std::nullopt);

// Everything that the files of one conversion hold, for the other output formats.
struct PlaneTables {
  int columns = 0, rows = 0;         // map grid, in cells
  std::vector<std::uint16_t> map;    // mapRecords of the plane's map
  int tileCount = 0;                 // the list's counter (0 when negative)
  std::vector<std::uint16_t> tiles;  // tileWords of the list: 2 × tileSize words per tile
};
struct ExportTables {
  int tileSize = 0;
  std::optional<FlipBits> flipBits;  // where the map records keep the mirror bits, if they do
  PlaneTables sprite;      // "%s1.lvl", "%s1.bin"
  PlaneTables background;  // "%s2.lvl", "%s2.bin"
};

// Checks as stageExportFiles does, then reads the counters (Label23, Label26; a text that is no
// integer fails) and gathers the tables. Writes nothing.
ExportTables exportTables(Workspace& ws, const Maps& maps);

// "Les fichiers ont été enregistrés avec l'image : %s", naming ws.OpenPictureDialog1FileName.
std::string closingMessage(const Workspace& ws);

// The whole command: buildMaps, then exportFiles. With SpriteSize above 16 the maps and
// previews are built and the export then refuses, writing no file.
ExportResult createMaps(Workspace& ws, const std::string& folder = {},
                        const MapOptions& options = {});

}  // namespace tavrik
