// Loading picture files: kinds by extension, open errors, icons, metafiles, and what a load
// leaves behind in a picture slot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "base/error.h"
#include "imaging/bitmap_file.h"
#include "imaging/byte_fields.h"
#include "imaging/picture_file.h"
#include "workspace/workspace.h"

using namespace tavrik;
using tavrik::testing::Bytes;
using tavrik::testing::put16;
using tavrik::testing::put32;

namespace {

class TempFolder {
 public:
  TempFolder() : path_(std::filesystem::temp_directory_path() / ("tavrik_picture_test_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name, const Bytes& contents) const {
    const std::string full = (path_ / name).string();
    std::ofstream out(full, std::ios::binary);
    out.write(reinterpret_cast<const char*>(contents.data()), static_cast<std::streamsize>(contents.size()));
    return full;
  }
  std::filesystem::path path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string loadError(const std::string& fileName) {
  try {
    loadPictureFile(fileName);
  } catch (const Error& e) {
    return e.message();
  }
  return "(loaded)";
}

std::string decodeError(const std::string& extension, const Bytes& bytes) {
  try {
    decodePicture(extension, bytes);
  } catch (const Error& e) {
    return e.message();
  }
  return "(loaded)";
}


// An enhanced metafile: header record (type 1) with the frame in 0.01 mm, then end-of-file.
Bytes enhancedMetafile(int left, int top, int right, int bottom) {
  Bytes b(108 + 20, 0);
  put32(b, 0, 1);
  put32(b, 4, 108);
  put32(b, 24, static_cast<std::uint32_t>(left));
  put32(b, 28, static_cast<std::uint32_t>(top));
  put32(b, 32, static_cast<std::uint32_t>(right));
  put32(b, 36, static_cast<std::uint32_t>(bottom));
  b[40] = ' ';
  b[41] = 'E';
  b[42] = 'M';
  b[43] = 'F';
  put32(b, 44, 0x10000);
  put32(b, 48, static_cast<std::uint32_t>(b.size()));
  put32(b, 108, 14);  // EMR_EOF
  put32(b, 112, 20);
  return b;
}

// A placeable metafile header (with its checksum) before a minimal Windows metafile.
Bytes placeableMetafile(int left, int top, int right, int bottom, int inch) {
  Bytes b(22 + 18 + 6, 0);
  put32(b, 0, 0x9AC6CDD7u);
  put16(b, 6, static_cast<std::uint32_t>(left));
  put16(b, 8, static_cast<std::uint32_t>(top));
  put16(b, 10, static_cast<std::uint32_t>(right));
  put16(b, 12, static_cast<std::uint32_t>(bottom));
  put16(b, 14, static_cast<std::uint32_t>(inch));
  std::uint32_t sum = 0;
  for (int k = 0; k < 10; ++k) sum ^= b[2 * k] | (b[2 * k + 1] << 8);
  put16(b, 20, sum);
  put16(b, 22, 1);      // memory metafile
  put16(b, 24, 9);      // header size in words
  put16(b, 26, 0x300);  // version
  put32(b, 28, 12);     // size in words
  put32(b, 40, 3);      // end record
  return b;
}

Bytes smallBitmap(int w, int h, Colour colour) {
  Surface s(w, h, colour);
  const auto name = std::filesystem::temp_directory_path() /
                    ("tavrik_small_bitmap_" + std::to_string(::getpid()) + ".bmp");
  writeBitmapFile(s, name.string());
  std::ifstream in(name, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), {});
  std::filesystem::remove(name);
  return bytes;
}

}  // namespace

TEST(PictureFile, ExtensionIsThePartAfterTheLastDotOfTheFileName) {
  EXPECT_EQ(fileExtension("photo.jpg"), "jpg");
  EXPECT_EQ(fileExtension("PHOTO.JPEG"), "JPEG");
  EXPECT_EQ(fileExtension("plan"), "");
  EXPECT_EQ(fileExtension("a.b/plan"), "");
  EXPECT_EQ(fileExtension("a.b\\plan"), "");
  EXPECT_EQ(fileExtension("c.d:plan"), "");
  EXPECT_EQ(fileExtension("/home/x.y/niveau.tar.BmP"), "BmP");
  EXPECT_EQ(fileExtension("fin."), "");
}

TEST(PictureFile, UnknownExtensionsFailBeforeTheFileIsOpened) {
  // None of these files exists: the extension error comes first.
  EXPECT_EQ(loadError("photo.jpg"), "Extension de fichier graphique inconnue (.jpg)");
  EXPECT_EQ(loadError("PHOTO.JPEG"), "Extension de fichier graphique inconnue (.JPEG)");
  EXPECT_EQ(loadError("plan"), "Extension de fichier graphique inconnue (.)");
  EXPECT_EQ(loadError("a.b/plan"), "Extension de fichier graphique inconnue (.)");
  EXPECT_EQ(loadError("image.png"), "Extension de fichier graphique inconnue (.png)");
  EXPECT_EQ(decodeError("gif", {}), "Extension de fichier graphique inconnue (.gif)");
}

TEST(PictureFile, OpenErrorsNameTheFileAsGiven) {
  TempFolder temp;
  const std::string absent = (temp.path() / "absent.bmp").string();
  EXPECT_EQ(loadError(absent), "Impossible d'ouvrir le fichier " + absent);
  EXPECT_EQ(loadError("absent.ICO"), "Impossible d'ouvrir le fichier absent.ICO");
  std::filesystem::create_directories(temp.path() / "dossier.bmp");
  const std::string folder = (temp.path() / "dossier.bmp").string();
  EXPECT_EQ(loadError(folder), "Impossible d'ouvrir le fichier " + folder);
}

TEST(PictureFile, KindsByExtensionInAnyCase) {
  TempFolder temp;
  const Picture bitmap = loadPictureFile(temp.file("SPRITES.BMP", smallBitmap(3, 2, 0x123456)));
  EXPECT_EQ(bitmap.kind, PictureKind::Bitmap);
  ASSERT_TRUE(bitmap.surface);
  EXPECT_EQ(bitmap.surface->read(2, 1), 0x123456u);

  const Picture empty = loadPictureFile(temp.file("vide.bmp", {}));
  EXPECT_EQ(empty.kind, PictureKind::Bitmap);
  EXPECT_EQ(empty.width(), 0);
  EXPECT_EQ(empty.height(), 0);

  const Picture icon = loadPictureFile(temp.file("a.Ico", {0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(icon.kind, PictureKind::Icon);
  EXPECT_FALSE(icon.surface);
  EXPECT_EQ(icon.width(), 32);
  EXPECT_EQ(icon.height(), 32);

  // Metafiles: the contents decide, whichever of the two extensions the file has.
  for (const char* name : {"m.emf", "m.WMF"}) {
    EXPECT_EQ(loadPictureFile(temp.file(name, enhancedMetafile(0, 0, 2539, 1269))).kind, PictureKind::Metafile);
    EXPECT_EQ(loadPictureFile(temp.file(name, placeableMetafile(0, 0, 1440, 720, 1440))).width(), 96);
  }
  // A bitmap's contents under a metafile's name is no metafile.
  EXPECT_EQ(loadError(temp.file("b.emf", smallBitmap(4, 4, 0))), "MetaFichier incorrect");
}

TEST(PictureFile, IconTypeFieldAndLength) {
  EXPECT_EQ(decodeError("ico", {0, 0, 0, 0, 0, 0}), "(loaded)");
  EXPECT_EQ(decodeError("ico", {0, 0, 1, 0, 0, 0, 9, 9}), "(loaded)");
  EXPECT_EQ(decodeError("ico", {0, 0, 2, 0, 0, 0}), "Image icône incorrecte");
  EXPECT_EQ(decodeError("ico", {0, 0, 0, 1, 0, 0}), "Image icône incorrecte");  // type 256
  EXPECT_EQ(decodeError("ico", {0, 0, 1, 0, 0}), "Erreur de lecture du flux");
  EXPECT_EQ(decodeError("ico", {}), "Erreur de lecture du flux");
}

TEST(PictureFile, MetafileSizesAndRefusals) {
  // Enhanced: inclusive frame in 0.01 mm at 96 dpi, truncated.
  Picture p = decodePicture("emf", enhancedMetafile(0, 0, 2539, 1269));
  EXPECT_EQ(p.width(), 96);
  EXPECT_EQ(p.height(), 48);
  p = decodePicture("emf", enhancedMetafile(-1000, 500, 9999, 20499));
  EXPECT_EQ(p.width(), 11000 * 96 / 2540);
  EXPECT_EQ(p.height(), 20000 * 96 / 2540);
  p = decodePicture("emf", enhancedMetafile(100, 100, 0, 0));  // an upside-down frame is empty
  EXPECT_EQ(p.width(), 0);

  Bytes shortEmf = enhancedMetafile(0, 0, 100, 100);
  put32(shortEmf, 48, static_cast<std::uint32_t>(shortEmf.size() + 1));
  EXPECT_EQ(decodeError("emf", shortEmf), "Erreur de lecture du flux");
  // 100 bytes or fewer, or a wrong signature or record type: not enhanced, and not placeable.
  Bytes small = enhancedMetafile(0, 0, 100, 100);
  small.resize(100);
  put32(small, 48, 100);
  EXPECT_EQ(decodeError("emf", small), "MetaFichier incorrect");
  Bytes unsigned_ = enhancedMetafile(0, 0, 100, 100);
  unsigned_[41] = 'e';
  EXPECT_EQ(decodeError("emf", unsigned_), "MetaFichier incorrect");

  // Placeable: bounding box in units of `inch` per inch.
  p = decodePicture("wmf", placeableMetafile(-100, 50, 900, 550, 1000));
  EXPECT_EQ(p.kind, PictureKind::Metafile);
  EXPECT_EQ(p.width(), 96);
  EXPECT_EQ(p.height(), 48);
  Bytes badSum = placeableMetafile(0, 0, 100, 100, 96);
  badSum[20] ^= 1;
  EXPECT_EQ(decodeError("wmf", badSum), "MetaFichier incorrect");
  EXPECT_EQ(decodeError("wmf", placeableMetafile(0, 0, 100, 100, 0)), "MetaFichier incorrect");
  Bytes cut = placeableMetafile(0, 0, 1, 1, 1);
  cut.resize(21);
  EXPECT_EQ(decodeError("wmf", cut), "MetaFichier incorrect");
  EXPECT_EQ(decodeError("wmf", {}), "MetaFichier incorrect");
}

TEST(PictureSlot, FailedLoadLeavesControlPixelsAndLabelsAsTheyWere) {
  TempFolder temp;
  Workspace ws;
  ws.loadSlot(1, temp.file("plan.bmp", smallBitmap(320, 200, 0x00FF00)));
  ASSERT_EQ(ws.Label4, "320");
  ASSERT_EQ(ws.Label5, "200");
  ws.Image1.writePixel(5, 5, clFuchsia);

  Bytes notBitmap = smallBitmap(8, 8, 0);
  notBitmap[0] = 'X';
  const std::vector<std::pair<std::string, std::string>> failures = {
      {temp.file("autre.bmp", notBitmap), "Image bitmap incorrecte"},
      {temp.file("court.bmp", {'B', 'M', 0}), "Erreur de lecture du flux"},
      {temp.file("photo.jpg", {}), "Extension de fichier graphique inconnue (.jpg)"},
      {(temp.path() / "absent.bmp").string(), "Impossible d'ouvrir le fichier " + (temp.path() / "absent.bmp").string()},
      {temp.file("i.ico", {0, 0, 7, 0, 0, 0}), "Image icône incorrecte"},
  };
  for (const auto& [name, message] : failures) {
    try {
      ws.loadSlot(1, name);
      ADD_FAILURE() << name << " loaded";
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), message);
    }
    EXPECT_EQ(ws.Image1.pictureKind(), PictureKind::Bitmap);
    EXPECT_EQ(ws.Image1.Width(), 320);
    EXPECT_EQ(ws.Image1.Height(), 200);
    EXPECT_EQ(ws.Label4, "320");
    EXPECT_EQ(ws.Label5, "200");
    EXPECT_EQ(ws.Image1.readPixel(5, 5), clFuchsia);
    EXPECT_EQ(ws.Image1.readPixel(6, 5), 0x00FF00u);
  }
}

TEST(PictureSlot, ZeroLengthBitmapKeepsTheControlSizeAndTheLabelsShowIt) {
  TempFolder temp;
  Workspace ws;
  const int layoutWidth = ws.Image2.Width(), layoutHeight = ws.Image2.Height();
  ws.loadSlot(2, temp.file("vide.bmp", {}));
  EXPECT_EQ(ws.Image2.pictureKind(), PictureKind::Bitmap);
  EXPECT_EQ(ws.Image2.pictureWidth(), 0);
  EXPECT_EQ(ws.Image2.Width(), layoutWidth);
  EXPECT_EQ(ws.Label7, std::to_string(layoutWidth));
  EXPECT_EQ(ws.Label8, std::to_string(layoutHeight));
  EXPECT_EQ(ws.Image2.readPixel(0, 0), invalidColour);  // a grid without pixels

  // After a real picture, an empty file keeps that picture's size on the control.
  ws.loadSlot(3, temp.file("p.bmp", smallBitmap(40, 30, 0)));
  ws.loadSlot(3, temp.file("vide.bmp", {}));
  EXPECT_EQ(ws.Label15, "40");
  EXPECT_EQ(ws.Label16, "30");

  // An icon takes the standard icon size; its pixels cannot be touched.
  ws.loadSlot(2, temp.file("i.ico", {0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(ws.Label7, "32");
  EXPECT_EQ(ws.Label8, "32");
  try {
    ws.Image2.readPixel(0, 0);
    ADD_FAILURE() << "icon pixels read";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), kBitmapOnly);
  }
}
