#include "maps/export_files.h"

#include <filesystem>
#include <memory>

#include "imaging/error.h"
#include "imaging/surface.h"
#include "maps/output_file.h"

namespace tavrik {

namespace {

constexpr int kMaxTiles = 65536;
constexpr int kMaxWritableTileSize = 16;

// Buffers the bytes of one output file and turns every failure into the file's error.
class FileWriter {
 public:
  explicit FileWriter(std::string path) : path_(std::move(path)), file_(openOutputFile(path_)) {
    if (!file_) throw Error(format(kCannotCreateFile, path_.c_str()));
    buffer_.reserve(kChunk);
  }

  void put(unsigned char byte) {
    buffer_.push_back(byte);
    if (buffer_.size() >= kChunk) flush();
  }

  void finish() {
    flush();
    if (!file_->commit()) fail();
  }

 private:
  static constexpr size_t kChunk = 1 << 16;

  void flush() {
    if (!buffer_.empty() && !file_->write(buffer_.data(), buffer_.size())) fail();
    buffer_.clear();
  }
  [[noreturn]] void fail() { throw Error(format(kFileWriteError, path_.c_str())); }

  std::string path_;
  std::unique_ptr<OutputFile> file_;
  std::vector<unsigned char> buffer_;
};

std::string outputPath(const Workspace& ws, const std::string& folder, const char* pattern) {
  const std::string name = format(pattern, ws.Edit6.c_str());
  if (folder.empty()) return name;
  return (std::filesystem::path(folder) / name).string();
}

void writeMap(const std::string& path, const TileMap& map) {
  FileWriter out(path);
  for (int r = 0; r < map.rows; ++r) {
    for (int c = 0; c < map.columns; ++c) {
      const auto value = static_cast<std::uint32_t>(map.cells[static_cast<size_t>(r) * map.columns + c]);
      out.put(static_cast<unsigned char>(value & 0xFF));
      out.put(static_cast<unsigned char>((value >> 8) & 0xFF));
    }
  }
  out.finish();
}

// Bits of a pixel's colour number: first word (high bit) and second word (low bit).
inline unsigned colourNumber(Colour c) {
  switch (c) {
    case clBlack: return 3;
    case clGray: return 2;
    case clSilver: return 1;
    default: return 0;
  }
}

void writeTiles(const std::string& path, ImageControl& list, const std::string& counter, int size) {
  FileWriter out(path);
  const int count = textToInt(counter);
  if (count > 0 && size > 0) {
    const Surface& strip = list.surface();
    std::vector<Colour> row(static_cast<size_t>(size));
    for (int t = 0; t < count; ++t) {
      const int x0 = t * size;
      const bool inside = x0 + size <= strip.width();
      for (int y = 0; y < size; ++y) {
        const Colour* pixels;
        if (inside && y < strip.height()) {
          pixels = strip.row(y) + x0;
        } else {
          for (int x = 0; x < size; ++x) row[static_cast<size_t>(x)] = strip.read(x0 + x, y);
          pixels = row.data();
        }
        unsigned first = 0, second = 0;
        for (int x = 0; x < size; ++x) {
          const unsigned n = colourNumber(pixels[x]);
          first = (first << 1) | (n >> 1);
          second = (second << 1) | (n & 1);
        }
        out.put(static_cast<unsigned char>((first >> 8) & 0xFF));
        out.put(static_cast<unsigned char>(first & 0xFF));
        out.put(static_cast<unsigned char>((second >> 8) & 0xFF));
        out.put(static_cast<unsigned char>(second & 0xFF));
      }
    }
  }
  out.finish();
}

void checkTileCount(const std::string& counter) {
  int count = 0;
  // A text that is no integer fails later, where the count is read for the tiles.
  if (tryTextToInt(counter, count) && count > kMaxTiles) throw Error(format(kTooManyTiles, count));
}

}  // namespace

ExportResult exportFiles(Workspace& ws, const Maps& maps, const std::string& folder) {
  const int size = ws.SpriteSize;
  if (size > kMaxWritableTileSize) throw Error(format(kTileSizeNotWritable, size));
  checkTileCount(ws.Label23);
  checkTileCount(ws.Label26);

  ExportResult result;
  const auto write = [&](const char* pattern, const auto& body) {
    const std::string path = outputPath(ws, folder, pattern);
    body(path);
    result.files.push_back(path);
  };
  write("%s1.lvl", [&](const std::string& path) { writeMap(path, maps.sprite); });
  write("%s2.lvl", [&](const std::string& path) { writeMap(path, maps.background); });
  write("%s1.bin", [&](const std::string& path) { writeTiles(path, ws.Image5, ws.Label23, size); });
  write("%s2.bin", [&](const std::string& path) { writeTiles(path, ws.Image6, ws.Label26, size); });
  result.closingMessage = format(kClosingMessage, ws.OpenPictureDialog1FileName.c_str());
  return result;
}

ExportResult createMaps(Workspace& ws, const std::string& folder, const MapOptions& options) {
  const Maps maps = buildMaps(ws, options);
  return exportFiles(ws, maps, folder);
}

}  // namespace tavrik
