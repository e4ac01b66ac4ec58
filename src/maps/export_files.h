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
inline constexpr const char* kTileSizeNotWritable =
    "Les tuiles de %d pixels ne peuvent pas être enregistrées (16 pixels au plus)";

struct ExportResult {
  std::vector<std::string> files;  // paths written, in order
  std::string closingMessage;      // "Les fichiers ont été enregistrés avec l'image : %s"
};

// Stages "%s1.lvl", "%s2.lvl" (the maps: the records of maps.layout, 2 bytes each,
// little-endian; by default the low 16 bits of each cell's index, rows outer, columns inner), then "%s1.bin", "%s2.bin" (the first L tiles of
// Image5 / Image6, L read from Label23 / Label26 once the file is open: per tile and row, two
// 16-bit words of bit planes, black 1/1, grey 1/0, silver 0/1, anything else 0/0, leftmost
// pixel highest, each word big-endian) into `set`, in `folder` ("" = the current folder), %s
// being ws.Edit6 unchanged. Nothing is in place until the set is committed.
//
// Refused before any file is started: SpriteSize above 16 (a 32-pixel row does not fit the
// 16-bit words; the window never offers it) and a tile counter whose indices plus the map's
// tile base would not fit the records (MapLayout::checkFits: above 65535 they would wrap, and
// with flips they would reach the lower flip bit). A file that cannot be created ("Impossible de créer le
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

// The values of a tile file before their byte order (a map's are MapLayout::records): for each
// of the list's first `count` tiles and each of its `size` rows, the two bit-plane words (high
// bits, then low bits of the colour numbers).
std::vector<std::uint16_t> tileWords(ImageControl& list, int count, int size);

// The refusals of stageExportFiles that come before any file: SpriteSize above 16, a tile
// counter that does not fit the records of `layout` (MapLayout::checkFits).
void checkExportable(const Workspace& ws, const MapLayout& layout = {});

// Everything that the files of one conversion hold, for the other output formats.
struct PlaneTables {
  int columns = 0, rows = 0;         // map grid, in cells
  std::vector<std::uint16_t> map;    // the records of the plane's map (MapLayout::records)
  int tileCount = 0;                 // the list's counter (0 when negative)
  std::vector<std::uint16_t> tiles;  // tileWords of the list: 2 × tileSize words per tile
};
struct ExportTables {
  int tileSize = 0;
  MapLayout layout;        // how the map records hold the maps (mirror bits, order, bases)
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
