// Shared by the format tests: outside programs, the demo scene, pictures read back.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cli/run_tool.h"
#include "imaging/bitmap_file.h"

namespace tavrik::test {

// Full path of a program found on PATH, "" when there is none.
inline std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (!folder.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

inline std::vector<std::string> demoPictures() {
  const std::string demo = TAVRIK_SOURCE_DIR "/resources/demo/";
  return {demo + "1-sprites.bmp", demo + "2-background.bmp", demo + "3-full.bmp"};
}

inline Surface loadBitmap(const std::string& path) {
  const std::string bytes = readWholeFile(path);
  return decodeBitmap(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// The C function of the write-back programs: put(path, values, count, bigEndian) writes the
// 16-bit values in the byte order asked; non-zero when the file could not be written.
inline constexpr const char* kPutValuesC = R"(
static int put(const char *path, const uint16_t *values, long count, int bigEndian) {
  FILE *file = fopen(path, "wb");
  long i;
  if (!file) return 1;
  for (i = 0; i < count; ++i) {
    const int high = values[i] >> 8, low = values[i] & 0xFF;
    fputc(bigEndian ? high : low, file);
    fputc(bigEndian ? low : high, file);
  }
  return fclose(file) != 0;
}
)";

}  // namespace tavrik::test
