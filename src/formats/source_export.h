// The conversion's tables as source code: an assembler source, or a C header and source.
#pragma once
#include <string>
#include <vector>

#include "files/output_set.h"
#include "formats/compress.h"
#include "maps/export_files.h"

namespace tavrik {

inline constexpr const char* kNameNotAnIdentifier =
    "Le nom de base « %s » ne peut pas nommer des tables (une lettre ASCII, puis lettres, "
    "chiffres ou _)";

enum class SourceLanguage { Assembler, C };

// What a source holds: everything of one conversion, only the tile tables (a game's shared tile
// sets: NAME_TILE_SIZE, NAMEn_bin, NAMEn_bin_TILES, NAMEn_bin_LENGTH), or only the map tables (a
// level of a game: NAMEn_lvl and their _WIDTH, _HEIGHT, _LENGTH, and the mirror bits).
enum class SourceParts { All, Tiles, Maps };

// True when `name` can start the tables' identifiers in both languages: an ASCII letter, then
// ASCII letters, digits or underscores.
bool isSourceName(const std::string& name);
// Throws Error(kNameNotAnIdentifier) unless isSourceName(name).
void checkSourceName(const std::string& name);

// The texts of the files, named after `name`. The tables NAME1_lvl, NAME2_lvl (map records) and
// NAME1_bin, NAME2_bin (bit-plane words) hold the values of the four binary files as 16-bit
// numbers, in file order, so the assembler or compiler stores them in its target's byte order.
// Constants: NAME_TILE_SIZE, NAMEn_lvl_WIDTH / _HEIGHT (cells), NAMEn_bin_TILES, and
// NAMEn_lvl_LENGTH / NAMEn_bin_LENGTH (values in the table), and, when the map records carry
// mirror bits, NAME_FLIP_H_BIT and NAME_FLIP_V_BIT; with tile bases, NAMEn_lvl_TILE_BASE; with
// the maps in columns, NAME_MAP_BY_COLUMNS (1), the order also told in the comments.
//
// Assembler: "dc.w $XXXX" lines, eight values a line, in the 68000 syntax of Motorola (GNU as
// in MRI mode, vasm, Devpac), the tables in the data section.
//
// With `compression` (rle, lz4), each table is instead the bytes of its compressed stream ("dc.b"
// lines after "even", or a const uint8_t array, aligned to 2 under GCC), whose data are the
// values as big-endian words; the constants add NAMEn_lvl_SIZE / NAMEn_bin_SIZE (bytes of the
// stream) and NAMEn_lvl_DECODED_SIZE / NAMEn_bin_DECODED_SIZE (bytes once decoded).
std::string assemblerSource(const std::string& name, const ExportTables& tables,
                            SourceParts parts = SourceParts::All, Compression compression = Compression::None);
// C99: the header declares the arrays as extern const uint16_t with the constants as macros;
// the source defines them. An empty table (no cell or no tile) is defined with one 0 value,
// since C has no empty arrays; its LENGTH macro stays 0.
std::string cHeader(const std::string& name, const ExportTables& tables, SourceParts parts = SourceParts::All,
                    Compression compression = Compression::None);
std::string cSource(const std::string& name, const ExportTables& tables, SourceParts parts = SourceParts::All,
                    Compression compression = Compression::None);

// The files of `language` for the base name `name`, in the order they are staged: "NAME.s", or
// "NAME.h" and "NAME.c".
std::vector<std::string> sourceFileNames(const std::string& name, SourceLanguage language);

// Stages "NAME.s", or "NAME.h" and "NAME.c", of `tables` (see exportTables: its refusals and
// counters are those of the binary files) into `set` in `folder` ("" = the current folder),
// NAME being `name`, refused unless isSourceName before anything is staged. Nothing is in place
// until `set` is committed.
void stageSource(const std::string& name, const ExportTables& tables, SourceLanguage language,
                 const std::string& folder, OutputSet& set, SourceParts parts = SourceParts::All,
                 Compression compression = Compression::None);

}  // namespace tavrik
