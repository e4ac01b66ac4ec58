// Loading a picture file: the kind by extension, then the decoder of that kind.
#include "imaging/picture_file.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "base/error.h"
#include "files/input_file.h"
#include "imaging/bitmap_file.h"
#include "imaging/png_file.h"

namespace tavrik {

namespace {

constexpr const char* kBadMetafile = "MetaFichier incorrect";

// The platform's standard icon size.
constexpr int kIconSize = 32;
constexpr std::int64_t kScreenDpi = 96;
constexpr std::int64_t kHundredthsOfMmPerInch = 2540;

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t u32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string lowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

enum class Kind { Bitmap, Png, Icon, Metafile, Unknown };

Kind kindOf(const std::string& extension, PictureRules rules) {
  const std::string e = lowerCase(extension);
  if (e == "bmp") return Kind::Bitmap;
  if (e == "png" && rules == PictureRules::Batch) return Kind::Png;
  if (e == "ico") return Kind::Icon;
  if (e == "emf" || e == "wmf") return Kind::Metafile;
  return Kind::Unknown;
}

[[noreturn]] void unknownExtension(const std::string& extension) {
  throw Error(format("Extension de fichier graphique inconnue (.%s)", extension.c_str()));
}

// A frame extent converted to whole pixels at the screen's resolution; never below 0.
int toPixels(std::int64_t extent, std::int64_t unitsPerInch) {
  const std::int64_t pixels = extent * kScreenDpi / unitsPerInch;
  return static_cast<int>(std::clamp<std::int64_t>(pixels, 0, std::numeric_limits<int>::max()));
}

// Icons and metafiles are known by their first bytes and their size: `bytes` may be the first
// kHeadBytes bytes of a file of `size` bytes.
constexpr size_t kHeadBytes = 4096;

Picture decodeIcon(std::span<const std::uint8_t> bytes, std::uint64_t size) {
  if (size < 6) throw Error(kReadError);
  if (u16(bytes.data() + 2) > 1) throw Error("Image icône incorrecte");
  Picture picture;
  picture.kind = PictureKind::Icon;
  picture.iconOrMetafileWidth = kIconSize;
  picture.iconOrMetafileHeight = kIconSize;
  return picture;
}

// Enhanced metafiles: the frame (rclFrame, inclusive bounds in 0.01 mm) at bytes 24..39.
// Placeable metafiles: the bounding box (16-bit left, top, right, bottom) in units of which
// `inch` make an inch.
Picture decodeMetafile(std::span<const std::uint8_t> bytes, std::uint64_t size) {
  const std::uint8_t* b = bytes.data();
  Picture picture;
  picture.kind = PictureKind::Metafile;
  if (size > 100 && u32(b) == 1 && b[40] == ' ' && b[41] == 'E' && b[42] == 'M' && b[43] == 'F') {
    if (u32(b + 48) > size) throw Error(kReadError);
    auto at = [&](int offset) { return static_cast<std::int64_t>(static_cast<std::int32_t>(u32(b + offset))); };
    picture.iconOrMetafileWidth = toPixels(at(32) - at(24) + 1, kHundredthsOfMmPerInch);
    picture.iconOrMetafileHeight = toPixels(at(36) - at(28) + 1, kHundredthsOfMmPerInch);
    return picture;
  }
  if (size < 22 || u32(b) != 0x9AC6CDD7u) throw Error(kBadMetafile);
  std::uint16_t checksum = 0;
  for (int k = 0; k < 10; ++k) checksum ^= u16(b + 2 * k);
  if (checksum != u16(b + 20)) throw Error(kBadMetafile);
  const std::int64_t inch = u16(b + 14);
  if (inch == 0) throw Error(kBadMetafile);  // no scale: the size cannot be had
  auto at = [&](int offset) { return static_cast<std::int64_t>(static_cast<std::int16_t>(u16(b + offset))); };
  picture.iconOrMetafileWidth = toPixels(at(10) - at(6), inch);
  picture.iconOrMetafileHeight = toPixels(at(12) - at(8), inch);
  return picture;
}

[[noreturn]] void cannotOpen(const std::string& fileName) {
  throw Error(format("Impossible d'ouvrir le fichier %s", fileName.c_str()));
}

// An icon or a metafile: only its first bytes are read.
Picture loadIconOrMetafile(const std::string& fileName, Kind kind) {
  std::optional<InputFile> file = InputFile::open(fileName);
  if (!file) cannotOpen(fileName);
  std::vector<std::uint8_t> head(static_cast<size_t>(std::min<std::uint64_t>(file->size(), kHeadBytes)));
  if (!file->readAt(0, head.data(), head.size())) throw Error(kReadError);
  return kind == Kind::Icon ? decodeIcon(head, file->size()) : decodeMetafile(head, file->size());
}

}  // namespace

std::string fileExtension(const std::string& fileName) {
  const auto dot = fileName.find_last_of('.');
  if (dot == std::string::npos) return {};
  if (fileName.find_first_of("\\/:", dot) != std::string::npos) return {};
  return fileName.substr(dot + 1);
}

Picture loadPictureFile(const std::string& fileName, PictureRules rules) {
  const std::string extension = fileExtension(fileName);
  const Kind kind = kindOf(extension, rules);
  if (kind == Kind::Unknown) unknownExtension(extension);
  if (kind == Kind::Bitmap || kind == Kind::Png) {
    std::optional<Surface> surface = kind == Kind::Bitmap ? readBitmapFile(fileName) : readPngFile(fileName);
    if (!surface) cannotOpen(fileName);
    return Picture::bitmap(std::move(*surface));
  }
  return loadIconOrMetafile(fileName, kind);
}

PictureThumbnail loadPictureThumbnail(const std::string& fileName, int maxWidth, int maxHeight) {
  const std::string extension = fileExtension(fileName);
  const Kind kind = kindOf(extension, PictureRules::Window);
  if (kind == Kind::Unknown) unknownExtension(extension);
  PictureThumbnail result;
  if (kind == Kind::Bitmap) {
    std::optional<BitmapThumbnail> thumbnail = readBitmapThumbnail(fileName, maxWidth, maxHeight);
    if (!thumbnail) cannotOpen(fileName);
    result.kind = PictureKind::Bitmap;
    result.width = thumbnail->width;
    result.height = thumbnail->height;
    result.pixels = std::move(thumbnail->pixels);
    return result;
  }
  const Picture picture = loadIconOrMetafile(fileName, kind);
  result.kind = picture.kind;
  result.width = picture.width();
  result.height = picture.height();
  return result;
}

Picture decodePicture(const std::string& extension, std::span<const std::uint8_t> bytes,
                      PictureRules rules) {
  switch (kindOf(extension, rules)) {
    case Kind::Bitmap:
      return Picture::bitmap(decodeBitmap(bytes));
    case Kind::Png:
      return Picture::bitmap(decodePng(bytes));
    case Kind::Icon:
      return decodeIcon(bytes, bytes.size());
    case Kind::Metafile:
      return decodeMetafile(bytes, bytes.size());
    case Kind::Unknown:
      break;
  }
  unknownExtension(extension);
}

}  // namespace tavrik
