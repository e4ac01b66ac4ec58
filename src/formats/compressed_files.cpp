#include "formats/compressed_files.h"

namespace tavrik {

std::vector<std::string> compressedFileNames(const std::string& name, Compression compression) {
  std::vector<std::string> names = exportFileNames(name);
  for (std::string& n : names) n += compressionSuffix(compression);
  return names;
}

void stageCompressedFiles(const std::string& name, const ExportTables& tables, Compression compression,
                          const std::string& folder, OutputSet& set) {
  const std::vector<std::string> names = compressedFileNames(name, compression);
  const std::vector<std::uint8_t> plain[] = {
      wordBytes(tables.sprite.map, false), wordBytes(tables.background.map, false),
      wordBytes(tables.sprite.tiles, true), wordBytes(tables.background.tiles, true)};
  for (size_t k = 0; k < names.size(); ++k) {
    const std::vector<std::uint8_t> stream = compressBytes(compression, plain[k]);
    set.add(outputPath(folder, names[k])).write(stream.data(), stream.size());
  }
}

}  // namespace tavrik
