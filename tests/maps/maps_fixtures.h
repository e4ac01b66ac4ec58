// Helpers shared by the map and export tests.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "imaging/picture.h"
#include "maps/tile_maps.h"
#include "workspace/workspace.h"

namespace tavrik::maps_test {

// A map of the given grid and cells, row by row.
inline TileMap mapOf(int columns, int rows, std::vector<std::int32_t> cells) {
  TileMap map;
  map.columns = columns;
  map.rows = rows;
  map.cells = std::move(cells);
  return map;
}

// The message of the error that `run` raises, or "(no error)".
inline std::string errorOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const Error& e) {
    return e.message();
  }
  return "(no error)";
}

// A fresh empty folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("tavrik-maps-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  std::string str() const { return path_.string(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::vector<unsigned char> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool exists(const std::string& path) { return std::filesystem::exists(path); }

// Gives the control a bitmap picture of width x height, every pixel `fill`.
inline Surface& setBitmap(ImageControl& control, int width, int height, Colour fill = clWhite) {
  control.setPicture(Picture::bitmap(Surface(width, height, fill)));
  return control.surface();
}

// Gives a working image a surface of exactly width x height, white, its control that size.
inline Surface& setWorkingImage(ImageControl& control, int width, int height) {
  control.SetWidth(width);
  control.SetHeight(height);
  return setBitmap(control, width, height);
}

inline void fillBlock(Surface& s, int x0, int y0, int size, Colour c) {
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) s.write(x0 + x, y0 + y, c);
}

// The gauge values that reach the sink, in order.
inline std::shared_ptr<std::vector<int>> recordProgress(Workspace& ws) {
  auto log = std::make_shared<std::vector<int>>();
  ws.setProgressSink([log](int percent) { log->push_back(percent); });
  return log;
}

}  // namespace tavrik::maps_test
