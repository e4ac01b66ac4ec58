#include "formats/game_files.h"

namespace tavrik {

namespace {

SourceLanguage languageOf(SplitFormat format) {
  return format == SplitFormat::Asm ? SourceLanguage::Assembler : SourceLanguage::C;
}

// 16-bit values, each low byte first (map records) or high byte first (tile words).
void writeWords(StagedFile& file, const std::vector<std::uint16_t>& words, bool lowFirst) {
  for (const std::uint16_t word : words) {
    const auto low = static_cast<std::uint8_t>(word & 0xFF), high = static_cast<std::uint8_t>(word >> 8);
    file.put(lowFirst ? low : high);
    file.put(lowFirst ? high : low);
  }
}

}  // namespace

std::vector<std::string> tileSetFileNames(const std::string& game, SplitFormat format) {
  if (format == SplitFormat::Bin) return {game + "1.bin", game + "2.bin"};
  return sourceFileNames(game, languageOf(format));
}

std::vector<std::string> levelFileNames(const std::string& level, SplitFormat format) {
  if (format == SplitFormat::Bin) return {level + "1.lvl", level + "2.lvl"};
  return sourceFileNames(level, languageOf(format));
}

void stageTileSetFiles(const std::string& game, const ExportTables& tables, SplitFormat format,
                       const std::string& folder, OutputSet& set) {
  if (format != SplitFormat::Bin) {
    stageSource(game, tables, languageOf(format), folder, set, SourceParts::Tiles);
    return;
  }
  const std::vector<std::string> names = tileSetFileNames(game, format);
  writeWords(set.add(outputPath(folder, names[0])), tables.sprite.tiles, false);
  writeWords(set.add(outputPath(folder, names[1])), tables.background.tiles, false);
}

void stageLevelFiles(const std::string& level, const ExportTables& tables, SplitFormat format,
                     const std::string& folder, OutputSet& set) {
  if (format != SplitFormat::Bin) {
    stageSource(level, tables, languageOf(format), folder, set, SourceParts::Maps);
    return;
  }
  const std::vector<std::string> names = levelFileNames(level, format);
  writeWords(set.add(outputPath(folder, names[0])), tables.sprite.map, true);
  writeWords(set.add(outputPath(folder, names[1])), tables.background.map, true);
}

}  // namespace tavrik
