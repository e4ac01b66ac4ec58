#include "formats/source_export.h"

#include <cstdio>
#include <vector>

#include "base/error.h"
#include "formats/compress.h"

namespace tavrik {

namespace {

constexpr int kValuesPerLine = 8;
constexpr int kBytesPerLine = 16;

struct Constant {
  std::string name;
  long long value;
  std::string comment;
};

struct Table {
  std::string label;
  const std::vector<std::uint16_t>* values;
  std::string comment;
  std::vector<std::uint8_t> stream;  // with compression: the stream of the big-endian values
};

constexpr const char* kByColumns = "column by column (each column top to bottom, left column first)";

// How a map table runs through the cells, for the comments: "" in rows, the default.
std::string orderNote(const MapLayout& layout) {
  return layout.order == MapOrder::Columns ? std::string(", ") + kByColumns : "";
}

std::string planeComment(const char* what, const PlaneTables& plane, const MapLayout& layout) {
  return format("%s map, %d x %d cells", what, plane.columns, plane.rows) + orderNote(layout);
}

std::vector<Constant> constantsOf(const std::string& name, const ExportTables& t, SourceParts parts,
                                  const std::vector<Table>& tables, Compression compression) {
  const bool maps = parts != SourceParts::Tiles, tiles = parts != SourceParts::Maps;
  std::vector<Constant> constants;
  if (tiles) constants.push_back({name + "_TILE_SIZE", t.tileSize, "tile edge in pixels"});
  const MapLayout& layout = t.layout;
  if (maps && layout.flipBits) {
    constants.push_back({name + "_FLIP_H_BIT", layout.flipBits->horizontal,
                         "map bit of a tile mirrored left-right"});
    constants.push_back({name + "_FLIP_V_BIT", layout.flipBits->vertical,
                         "map bit of a tile mirrored top-bottom"});
  }
  if (maps && layout.order == MapOrder::Columns)
    constants.push_back({name + "_MAP_BY_COLUMNS", 1, std::string("maps stored ") + kByColumns});
  const auto plane = [&](const char* n, const PlaneTables& p, const char* what, MapPlane which) {
    const std::string lvl = name + n + "_lvl";
    const std::string bin = name + n + "_bin";
    if (maps) {
      constants.push_back({lvl + "_WIDTH", p.columns, std::string(what) + " map width in cells"});
      constants.push_back({lvl + "_HEIGHT", p.rows, std::string(what) + " map height in cells"});
      constants.push_back({lvl + "_LENGTH", static_cast<long long>(p.map.size()),
                           "values in " + lvl + orderNote(layout)});
      if (layout.tileBase)
        constants.push_back({lvl + "_TILE_BASE", layout.base(which),
                             "added to the tile index of every cell of " + lvl + " that has a tile"});
    }
    if (tiles) {
      constants.push_back({bin + "_TILES", p.tileCount, std::string(what) + " tiles"});
      constants.push_back({bin + "_LENGTH", static_cast<long long>(p.tiles.size()), "values in " + bin});
    }
  };
  plane("1", t.sprite, "sprite", MapPlane::Sprite);
  plane("2", t.background, "background", MapPlane::Background);
  if (compression != Compression::None)
    for (const Table& table : tables) {
      constants.push_back({table.label + "_SIZE", static_cast<long long>(table.stream.size()),
                           std::string("bytes of the ") + compressionName(compression) + " stream of " + table.label});
      constants.push_back({table.label + "_DECODED_SIZE", static_cast<long long>(table.values->size() * 2),
                           "bytes of " + table.label + " decoded"});
    }
  return constants;
}

std::vector<Table> tablesOf(const std::string& name, const ExportTables& t, SourceParts parts,
                            Compression compression) {
  const auto tiles = [&](const char* what, const PlaneTables& p) {
    return format("%s tiles: %d tiles of %d rows, two bit-plane words a row", what, p.tileCount,
                  t.tileSize);
  };
  std::vector<Table> tables;
  if (parts != SourceParts::Tiles) {
    tables.push_back({name + "1_lvl", &t.sprite.map, planeComment("sprite", t.sprite, t.layout), {}});
    tables.push_back({name + "2_lvl", &t.background.map, planeComment("background", t.background, t.layout), {}});
  }
  if (parts != SourceParts::Maps) {
    tables.push_back({name + "1_bin", &t.sprite.tiles, tiles("sprite", t.sprite), {}});
    tables.push_back({name + "2_bin", &t.background.tiles, tiles("background", t.background), {}});
  }
  // The streams decode into the values as the 68000 holds them: big-endian words.
  if (compression != Compression::None)
    for (Table& table : tables) {
      table.stream = compressBytes(compression, wordBytes(*table.values, true));
      table.comment += format(", as an %s stream", compressionName(compression));
    }
  return tables;
}

// The values in lines of eight: each line is `head`, then the values formatted by `hexPattern`
// and separated by commas, then `tail`, or `last` for the last line.
std::string valueLines(const std::vector<std::uint16_t>& values, const char* head,
                       const char* hexPattern, const char* tail, const char* last) {
  std::string text;
  char hex[8];
  for (size_t i = 0; i < values.size(); ++i) {
    text += i % kValuesPerLine == 0 ? head : ",";
    std::snprintf(hex, sizeof hex, hexPattern, static_cast<unsigned>(values[i]));
    text += hex;
    if (i % kValuesPerLine == kValuesPerLine - 1 || i + 1 == values.size())
      text += i + 1 == values.size() ? last : tail;
  }
  return text;
}

// The bytes in lines of sixteen, as valueLines does.
std::string byteLines(const std::vector<std::uint8_t>& bytes, const char* head, const char* hexPattern,
                      const char* tail, const char* last) {
  std::string text;
  char hex[8];
  for (size_t i = 0; i < bytes.size(); ++i) {
    text += i % kBytesPerLine == 0 ? head : ",";
    std::snprintf(hex, sizeof hex, hexPattern, static_cast<unsigned>(bytes[i]));
    text += hex;
    if (i % kBytesPerLine == kBytesPerLine - 1 || i + 1 == bytes.size())
      text += i + 1 == bytes.size() ? last : tail;
  }
  return text;
}

// The comment at the head of the files, a line each.
std::vector<std::string> headerLines(const MapLayout& layout, Compression compression) {
  std::vector<std::string> lines{"Level data converted by tavrik-batch."};
  if (layout.order == MapOrder::Columns) {
    lines.push_back("Maps (_lvl): one value per cell, column by column (each column top to bottom,");
    lines.push_back("left column first): the index of the cell's tile in its list");
  } else {
    lines.push_back("Maps (_lvl): one value per cell, row by row: the index of the cell's tile in its list");
  }
  if (layout.tileBase) {
    lines.push_back("plus the map's _TILE_BASE (a cell that matched no tile holds 0)");
  }
  lines.push_back("(with the mirror bits _FLIP_H_BIT and _FLIP_V_BIT set for a mirrored tile, when defined).");
  for (const char* line : {"Tiles (_bin): per tile and pixel row, two bit-plane words: the high bits, then the low bits",
                           "of the pixels' colour numbers (0 white, 1 light grey, 2 dark grey, 3 black), leftmost",
                           "pixel in the highest bit used."})
    lines.push_back(line);
  if (compression != Compression::None) {
    lines.push_back(format("Each table is an %s stream (see the decoders in /usr/share/tavrik/decoders/):",
                           compressionName(compression)));
    lines.push_back("its values decode as big-endian 16-bit words, _DECODED_SIZE bytes from _SIZE bytes.");
  }
  return lines;
}

}  // namespace

bool isSourceName(const std::string& name) {
  if (name.empty()) return false;
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!letter(name[0])) return false;
  for (const char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  return true;
}

void checkSourceName(const std::string& name) {
  if (!isSourceName(name)) throw Error(format(kNameNotAnIdentifier, name.c_str()));
}

namespace {

// The texts of the files, from the tables that tablesOf gave (compressed once for both C files).
std::string assemblerText(const std::string& name, const ExportTables& tables, SourceParts parts,
                          const std::vector<Table>& all, Compression compression) {
  std::string text;
  for (const std::string& line : headerLines(tables.layout, compression)) text += "* " + line + "\n";
  text += "\n";
  for (const Constant& c : constantsOf(name, tables, parts, all, compression))
    text += format("%s\tequ\t%lld\t; %s\n", c.name.c_str(), c.value, c.comment.c_str());
  // Exported, so that the source may be assembled on its own and linked, or included.
  text += "\n\txdef\t";
  for (size_t i = 0; i < all.size(); ++i) text += (i ? "," : "") + all[i].label;
  text += "\n\n\tsection\t.data\n";
  for (const Table& t : all) {
    text += "\n* " + t.comment + "\n";
    if (compression == Compression::None) {
      text += t.label + ":\n" + valueLines(*t.values, "\tdc.w\t", "$%04X", "\n", "\n");
    } else {
      // Bytes may leave the next table at an odd address; the rle decoder reads words.
      text += "\teven\n" + t.label + ":\n" + byteLines(t.stream, "\tdc.b\t", "$%02X", "\n", "\n");
    }
  }
  return text;
}

std::string cHeaderText(const std::string& name, const ExportTables& tables, SourceParts parts,
                        const std::vector<Table>& all, Compression compression) {
  std::string guard;
  for (const char c : name) guard += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  guard += "_H";
  std::string text = "/*\n";
  for (const std::string& line : headerLines(tables.layout, compression)) text += " * " + line + "\n";
  text += " */\n#ifndef " + guard + "\n#define " + guard + "\n\n#include <stdint.h>\n\n";
  for (const Constant& c : constantsOf(name, tables, parts, all, compression))
    text += format("#define %s %lld /* %s */\n", c.name.c_str(), c.value, c.comment.c_str());
  text += "\n";
  for (const Table& t : all) {
    if (compression != Compression::None) {
      text += "/* " + t.comment + " */\nextern const uint8_t " + t.label + "[" + t.label + "_SIZE];\n";
      continue;
    }
    // C has no empty arrays: an empty table holds one 0, outside its LENGTH.
    const std::string length = t.values->empty() ? "1" : t.label + "_LENGTH";
    text += "/* " + t.comment + " */\nextern const uint16_t " + t.label + "[" + length + "];\n";
  }
  text += "\n#endif\n";
  return text;
}

std::string cSourceText(const std::string& name, const std::vector<Table>& all, Compression compression) {
  std::string text = "/* Level data converted by tavrik-batch; see " + name + ".h. */\n";
  text += "#include \"" + name + ".h\"\n";
  if (compression != Compression::None) {
    // Streams at even addresses, for the 68000 decoders, where the compiler can be asked.
    text += "\n#ifdef __GNUC__\n#define " + name + "_EVEN __attribute__((aligned(2)))\n#else\n#define " +
            name + "_EVEN\n#endif\n";
    for (const Table& t : all) {
      text += "\nconst uint8_t " + t.label + "[" + t.label + "_SIZE] " + name + "_EVEN = {\n";
      text += byteLines(t.stream, "    ", "0x%02X", ",\n", "\n") + "};\n";
    }
    return text;
  }
  for (const Table& t : all) {
    if (t.values->empty()) {
      text += "\nconst uint16_t " + t.label + "[1] = {0};\n";
      continue;
    }
    text += "\nconst uint16_t " + t.label + "[" + t.label + "_LENGTH] = {\n";
    text += valueLines(*t.values, "    ", "0x%04X", ",\n", "\n");
    text += "};\n";
  }
  return text;
}

}  // namespace

std::string assemblerSource(const std::string& name, const ExportTables& tables, SourceParts parts,
                            Compression compression) {
  checkSourceName(name);
  return assemblerText(name, tables, parts, tablesOf(name, tables, parts, compression), compression);
}

std::string cHeader(const std::string& name, const ExportTables& tables, SourceParts parts, Compression compression) {
  checkSourceName(name);
  return cHeaderText(name, tables, parts, tablesOf(name, tables, parts, compression), compression);
}

std::string cSource(const std::string& name, const ExportTables& tables, SourceParts parts, Compression compression) {
  checkSourceName(name);
  return cSourceText(name, tablesOf(name, tables, parts, compression), compression);
}

std::vector<std::string> sourceFileNames(const std::string& name, SourceLanguage language) {
  if (language == SourceLanguage::Assembler) return {name + ".s"};
  return {name + ".h", name + ".c"};
}

void stageSource(const std::string& name, const ExportTables& tables, SourceLanguage language,
                 const std::string& folder, OutputSet& set, SourceParts parts, Compression compression) {
  checkSourceName(name);
  const std::vector<std::string> names = sourceFileNames(name, language);
  const auto stage = [&](size_t k, const std::string& text) {
    set.add(outputPath(folder, names[k])).write(text.data(), text.size());
  };
  const std::vector<Table> all = tablesOf(name, tables, parts, compression);
  if (language == SourceLanguage::Assembler) {
    stage(0, assemblerText(name, tables, parts, all, compression));
  } else {
    stage(0, cHeaderText(name, tables, parts, all, compression));
    stage(1, cSourceText(name, all, compression));
  }
}

}  // namespace tavrik
