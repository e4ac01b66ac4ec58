// Helpers of the window tests: small picture files written on the fly, recorded boxes, and a
// scratch folder that is also restored as the current folder afterwards.
#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "imaging/colour.h"
#include "app/error_box.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace apptest {

inline void put16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
inline void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF);
}

// A 24-bit bottom-up bitmap file with a 40-byte info header; pixel (x, y) = colour(x, y).
inline std::vector<std::uint8_t> bitmap24(int w, int h,
                                          const std::function<tavrik::Colour(int, int)>& colour) {
  const int stride = (w * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> b;
  b.push_back('B');
  b.push_back('M');
  put32(b, 54 + stride * h);
  put32(b, 0);
  put32(b, 54);
  put32(b, 40);
  put32(b, w);
  put32(b, h);
  put16(b, 1);
  put16(b, 24);
  put32(b, 0);
  put32(b, stride * h);
  put32(b, 2835);
  put32(b, 2835);
  put32(b, 0);
  put32(b, 0);
  for (int y = h - 1; y >= 0; --y) {
    for (int x = 0; x < w; ++x) {
      const tavrik::Colour c = colour(x, y);
      b.push_back(tavrik::blueOf(c));
      b.push_back(tavrik::greenOf(c));
      b.push_back(tavrik::redOf(c));
    }
    for (int p = w * 3; p < stride; ++p) b.push_back(0);
  }
  return b;
}

// A 16 x 16, 32-bit icon file with one image.
inline std::vector<std::uint8_t> icon16() {
  std::vector<std::uint8_t> b;
  put16(b, 0);
  put16(b, 1);  // type: icon
  put16(b, 1);  // one image
  const std::uint32_t imageSize = 40 + 16 * 16 * 4 + 16 * 4;
  b.push_back(16);
  b.push_back(16);
  b.push_back(0);
  b.push_back(0);
  put16(b, 1);
  put16(b, 32);
  put32(b, imageSize);
  put32(b, 22);
  put32(b, 40);
  put32(b, 16);
  put32(b, 32);  // XOR and AND masks
  put16(b, 1);
  put16(b, 32);
  for (int i = 0; i < 6; ++i) put32(b, 0);
  for (int i = 0; i < 16 * 16; ++i) put32(b, 0xFF2040C0u);
  for (int i = 0; i < 16 * 4; ++i) b.push_back(0);
  return b;
}

inline void writeFile(const QString& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Records every box instead of showing it, for the lifetime of the object.
struct BoxRecorder {
  std::vector<tavrik::BoxRecord> boxes;
  BoxRecorder() {
    tavrik::setBoxHook([this](const tavrik::BoxRecord& r) { boxes.push_back(r); });
  }
  ~BoxRecorder() { tavrik::setBoxHook(nullptr); }
  std::vector<QString> errors() const {
    std::vector<QString> out;
    for (const auto& b : boxes)
      if (b.kind == tavrik::BoxKind::Error) out.push_back(b.text);
    return out;
  }
};

// A scratch folder; the current folder is put back when the test ends (loading changes it).
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    saved_ = QDir::currentPath();
  }
  void TearDown() override { QDir::setCurrent(saved_); }
  QString path(const QString& name) const { return dir_.filePath(name); }

  QTemporaryDir dir_;
  QString saved_;
};

}  // namespace apptest
