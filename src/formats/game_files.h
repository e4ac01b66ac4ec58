// The outputs of a game, split the way a build wants them: the game's shared tile sets once,
// and each level's maps alone.
#pragma once
#include <string>
#include <vector>

#include "files/output_set.h"
#include "formats/source_export.h"
#include "maps/export_files.h"

namespace tavrik {

enum class SplitFormat { Bin, Asm, C };

// The game's tile-set files for `game`: "GAME1.bin", "GAME2.bin"; "GAME.s"; "GAME.h", "GAME.c".
std::vector<std::string> tileSetFileNames(const std::string& game, SplitFormat format);
// A level's map files for `level`: "LEVEL1.lvl", "LEVEL2.lvl"; "LEVEL.s"; "LEVEL.h", "LEVEL.c".
std::vector<std::string> levelFileNames(const std::string& level, SplitFormat format);

// Stages the tile sets of `tables` (the game's final lists) in `folder`: the tiles as the ".bin"
// files of the export hold them, or a source holding only the tile tables (SourceParts::Tiles).
void stageTileSetFiles(const std::string& game, const ExportTables& tables, SplitFormat format,
                       const std::string& folder, OutputSet& set);
// Stages the maps of `tables` (one level's) in `folder`: the ".lvl" files of the export, or a
// source holding only the map tables (SourceParts::Maps).
void stageLevelFiles(const std::string& level, const ExportTables& tables, SplitFormat format,
                     const std::string& folder, OutputSet& set);

}  // namespace tavrik
