// tavrik-batch with PNG pictures: the demo scene as PNG files, the working images saved as PNG,
// and PNG files that must be refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "cli/batch_run.h"
#include "imaging/bitmap_file.h"
#include "imaging/png_file.h"
#include "files/output_set.h"
#include "run_tool.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kDemo = TAVRIK_SOURCE_DIR "/resources/demo/";
const std::string kCases = TAVRIK_SOURCE_DIR "/tests/imaging/png/";

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.end(), files.begin(), files.end());
  return args;
}
const std::vector<std::string> kBmpScene = {kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"};
const std::vector<std::string> kPngScene = {kDemo + "1-sprites.png", kDemo + "2-background.png",
                                            kDemo + "3-full.png"};

std::vector<std::uint8_t> bytesOf(const fs::path& path) {
  const std::string text = readWholeFile(path);
  return {text.begin(), text.end()};
}

// The PNG scene (its sprite plane transparent where the BMP one is fuchsia) gives the same four
// files, byte for byte, at both tile sizes; PNG and BMP pictures may be mixed.
TEST(ToolPng, DemoSceneAsPngGivesTheSameFourFilesAsBmp) {
  for (const char* tileSize : {"16", "8"}) {
    SCOPED_TRACE(tileSize);
    TempFolder fromBmp, fromPng, mixed;
    ASSERT_EQ(runTool(with({"--quiet", "--tile-size", tileSize, "--output-dir", fromBmp.str()}, kBmpScene)).status, 0);
    const ToolRun run = runTool(with({"--tile-size", tileSize, "--output-dir", fromPng.str()}, kPngScene));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.outLines().front(), "Plan de sprites : " + kPngScene[0] + " (512 x 224)");
    ASSERT_EQ(runTool({"--quiet", "--tile-size", tileSize, "--output-dir", mixed.str(), kPngScene[0], kBmpScene[1],
                       kPngScene[2]})
                  .status,
              0);
    ASSERT_EQ(fromPng.entries(), fromBmp.entries());
    ASSERT_EQ(fromPng.entries().size(), 4u);
    for (const std::string& name : fromBmp.entries()) {
      EXPECT_EQ(readWholeFile(fromPng / name), readWholeFile(fromBmp / name)) << name;
      EXPECT_EQ(readWholeFile(mixed / name), readWholeFile(fromBmp / name)) << name;
    }
  }
}

// --image-format png writes the same working images as BMP would, with the .png extension.
TEST(ToolPng, SavedImagesAsPngHoldTheSamePixelsAsTheBmpOnes) {
  TempFolder out, bmp, png;
  ASSERT_EQ(runTool(with({"--quiet", "--output-dir", out.str(), "--save-images", bmp.str()}, kBmpScene)).status, 0);
  const ToolRun run =
      runTool(with({"--output-dir", out.str(), "--save-images", png.str(), "--image-format=png"}, kBmpScene));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> names = {"background-list", "background-map", "background-plane", "full-plane",
                                          "scratch-strip",   "sprite-list",    "sprite-map",       "sprite-plane"};
  std::vector<std::string> bmpNames, pngNames;
  for (const std::string& name : names) {
    bmpNames.push_back(name + ".bmp");
    pngNames.push_back(name + ".png");
  }
  ASSERT_EQ(bmp.entries(), bmpNames);
  ASSERT_EQ(png.entries(), pngNames);
  EXPECT_NE(run.out.find("  " + (png / "sprite-map.png") + " ("), std::string::npos) << run.out;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const Surface fromBmp = decodeBitmap(bytesOf(bmp / (name + ".bmp")));
    const Surface fromPng = decodePng(bytesOf(png / (name + ".png")));
    EXPECT_EQ(fromPng.width(), fromBmp.width());
    EXPECT_EQ(fromPng.height(), fromBmp.height());
    EXPECT_TRUE(fromPng.pixels() == fromBmp.pixels());
  }
}

TEST(ToolPng, BadPngFilesAndFormatsFailWithOneLine) {
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {
      {{kCases + "bad-crc.png", kPngScene[1], kPngScene[2]}, 1, "tavrik-batch: Image PNG incorrecte.\n"},
      {{kPngScene[0], kCases + "truncated-image-data.png", kPngScene[2]}, 1,
       "tavrik-batch: Erreur de lecture du flux.\n"},
      // The pictures load at the same time; the first failure in slot order is the one told.
      {{kPngScene[0], kCases + "bad-signature.png", kCases + "empty.png"}, 1, "tavrik-batch: Image PNG incorrecte.\n"},
      {{kCases + "empty.png", kCases + "absent.bmp", kCases + "bad-crc.png"}, 1,
       "tavrik-batch: Erreur de lecture du flux.\n"},
      {{kPngScene[0], kPngScene[1], kCases + "too-many-pixels.png"}, 1, "tavrik-batch: Image PNG incorrecte.\n"},
      {{kPngScene[0], kPngScene[1], kCases + "absent.png"}, 1,
       "tavrik-batch: Impossible d'ouvrir le fichier " + kCases + "absent.png.\n"},
      {with({"--image-format", "gif", "--save-images", "."}, kPngScene), 2,
       "tavrik-batch: format d'image incorrect : « gif » (bmp ou png) (voir tavrik-batch --help)\n"},
      {with({}, {kPngScene[0], kPngScene[1], "--image-format"}), 2,
       "tavrik-batch: l'option --image-format demande une valeur (voir tavrik-batch --help)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1] + " " + c.args[2]);
    TempFolder out;
    const ToolRun run = runTool(with({"--output-dir", out.str()}, c.args));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.err);
    EXPECT_TRUE(out.entries().empty());
  }
}

// PNG images go through the output set: a write that fails names the file and is a failure,
// and no image is put in place.
TEST(ToolPng, AFailingPngWriteIsAFailureNamingTheImage) {
  TempFolder out, images;
  ScopedOutputFileFactory failing([&](const std::string& path) -> std::unique_ptr<OutputFile> {
    struct Refusing final : OutputFile {
      bool write(const void*, std::size_t) override { return false; }
      bool finish() override { return false; }
      bool install() override { return false; }
    };
    return path.ends_with(".png") ? std::make_unique<Refusing>() : openDiskFile(path);
  });
  std::ostringstream stdOut, stdErr;
  batch::Console console{stdOut, stdErr, false};
  const int status = batch::runCommandLine(
      with({"--output-dir", out.str(), "--save-images", images.str(), "--image-format", "png"}, kPngScene), console);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(stdErr.str(), "tavrik-batch: Erreur d'écriture du fichier " + (images / "sprite-plane.png") + ".\n");
  EXPECT_TRUE(images.entries().empty());
}

}  // namespace
}  // namespace tavrik::test
