// The outputs of a game, split the way a build wants them: the game's shared tile sets once,
// and each level's maps alone.
#pragma once
#include <string>
#include <vector>

#include "files/output_set.h"
#include "formats/compress.h"
#include "formats/source_export.h"
#include "maps/export_files.h"

namespace tavrik {

enum class SplitFormat { Bin, Asm, C };

// The game's tile-set files for `game`: "GAME1.bin", "GAME2.bin"; "GAME.s"; "GAME.h", "GAME.c".
// With a compression, the binary files take its suffix ("GAME1.bin.lz4").
std::vector<std::string> tileSetFileNames(const std::string& game, SplitFormat format,
                                          Compression compression = Compression::None);
// A level's map files for `level`: "LEVEL1.lvl", "LEVEL2.lvl"; "LEVEL.s"; "LEVEL.h", "LEVEL.c".
std::vector<std::string> levelFileNames(const std::string& level, SplitFormat format,
                                        Compression compression = Compression::None);

// Stages the tile sets of `tables` (the game's final lists) in `folder`: the tiles as the ".bin"
// files of the export hold them, or a source holding only the tile tables (SourceParts::Tiles);
// with a compression, each table as its stream (see stageCompressedFiles, stageSource).
void stageTileSetFiles(const std::string& game, const ExportTables& tables, SplitFormat format,
                       const std::string& folder, OutputSet& set, Compression compression = Compression::None);
// Stages the maps of `tables` (one level's) in `folder`: the ".lvl" files of the export, or a
// source holding only the map tables (SourceParts::Maps).
void stageLevelFiles(const std::string& level, const ExportTables& tables, SplitFormat format,
                     const std::string& folder, OutputSet& set, Compression compression = Compression::None);

}  // namespace tavrik
