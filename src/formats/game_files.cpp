#include "formats/game_files.h"

namespace tavrik {

namespace {

SourceLanguage languageOf(SplitFormat format) {
  return format == SplitFormat::Asm ? SourceLanguage::Assembler : SourceLanguage::C;
}

// 16-bit values, each low byte first (map records) or high byte first (tile words); with a
// compression, their stream.
void writeWords(StagedFile& file, const std::vector<std::uint16_t>& words, bool lowFirst,
                Compression compression) {
  if (compression != Compression::None) {
    const std::vector<std::uint8_t> stream = compressBytes(compression, wordBytes(words, !lowFirst));
    file.write(stream.data(), stream.size());
    return;
  }
  for (const std::uint16_t word : words) {
    const auto low = static_cast<std::uint8_t>(word & 0xFF), high = static_cast<std::uint8_t>(word >> 8);
    file.put(lowFirst ? low : high);
    file.put(lowFirst ? high : low);
  }
}

}  // namespace

std::vector<std::string> tileSetFileNames(const std::string& game, SplitFormat format, Compression compression) {
  const std::string suffix = compressionSuffix(compression);
  if (format == SplitFormat::Bin) return {game + "1.bin" + suffix, game + "2.bin" + suffix};
  return sourceFileNames(game, languageOf(format));
}

std::vector<std::string> levelFileNames(const std::string& level, SplitFormat format, Compression compression) {
  const std::string suffix = compressionSuffix(compression);
  if (format == SplitFormat::Bin) return {level + "1.lvl" + suffix, level + "2.lvl" + suffix};
  return sourceFileNames(level, languageOf(format));
}

void stageTileSetFiles(const std::string& game, const ExportTables& tables, SplitFormat format,
                       const std::string& folder, OutputSet& set, Compression compression) {
  if (format != SplitFormat::Bin) {
    stageSource(game, tables, languageOf(format), folder, set, SourceParts::Tiles, compression);
    return;
  }
  const std::vector<std::string> names = tileSetFileNames(game, format, compression);
  writeWords(set.add(outputPath(folder, names[0])), tables.sprite.tiles, false, compression);
  writeWords(set.add(outputPath(folder, names[1])), tables.background.tiles, false, compression);
}

void stageLevelFiles(const std::string& level, const ExportTables& tables, SplitFormat format,
                     const std::string& folder, OutputSet& set, Compression compression) {
  if (format != SplitFormat::Bin) {
    stageSource(level, tables, languageOf(format), folder, set, SourceParts::Maps, compression);
    return;
  }
  const std::vector<std::string> names = levelFileNames(level, format, compression);
  writeWords(set.add(outputPath(folder, names[0])), tables.sprite.map, true, compression);
  writeWords(set.add(outputPath(folder, names[1])), tables.background.map, true, compression);
}

}  // namespace tavrik
