// tavrik-batch --render, and the map layouts that it reads back (--tile-base, --map-order):
// each run's own files drawn back must be the pictures that the run saved, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>

#include "render_check.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kDemo = TAVRIK_SOURCE_DIR "/resources/demo/";

std::vector<std::string> demoFiles() {
  return {kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"};
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Render, ARunsOwnFilesDrawBackItsSavedPlanesOverlayAndTileSets) {
  struct Case {
    std::string context;
    std::vector<std::string> layout;  // how the files are written, told to the render as well
    int tileSize;
  };
  const std::vector<Case> cases = {
      {"16-pixel tiles", {}, 16},
      {"8-pixel tiles", {"--tile-size", "8"}, 8},
      {"flips", {"--flips"}, 16},
      {"flips at bits 9,12, 8-pixel tiles", {"--flips", "--flip-bits", "9,12", "--tile-size", "8"}, 8},
      {"tile bases", {"--tile-base", "1000,60000"}, 16},
      {"columns", {"--map-order", "columns"}, 16},
      {"everything", {"--flips", "--tile-base", "16000,7", "--map-order=columns", "--tile-size", "8"}, 8},
  };
  for (const Case& c : cases) {
    TempFolder out, images, tiled;
    const ToolRun run = runTool(concat(concat({"--quiet", "--name", "L", "--output-dir", out.str(), "--save-images",
                                               images.str(), "--tiled", tiled.str()},
                                              c.layout),
                                       demoFiles()));
    ASSERT_EQ(run.status, 0) << c.context << "\n" << run.err;
    const std::vector<std::string> args =
        concat({"--maps", out / "L", "--width", std::to_string(512 / c.tileSize)}, c.layout);
    expectRenderedPlanes(args, images.str(), c.context);
    // The tile sheets are the Tiled tile sets, which the base and the order do not touch.
    expectRendering(args, "sprite-tiles", tiled / "L1.png", c.context);
    expectRendering(args, "background-tiles", tiled / "L2.png", c.context);
  }
}

TEST(Render, AGamesLevelsDrawBackAgainstTheGamesTileSets) {
  // The three levels of resources/levels as one game, its maps by columns over tile bases; each
  // level's maps with the game's tile sets are the level's planes and overlay.
  TempFolder game;
  const std::string levels = TAVRIK_SOURCE_DIR "/resources/levels/";
  std::string file = "name = \"Jeu\"\nflips = true\ntile-base = [5, 40]\nmap-order = \"columns\"\n";
  for (const char* n : {"1", "2", "3"})
    file += std::string("\n[[level]]\nname = \"Niv") + n + "\"\nsprites = \"" + levels + n +
            "/1-sprites.bmp\"\nbackground = \"" + levels + n + "/2-background.bmp\"\nfull = \"" + levels + n +
            "/3-full.bmp\"\n";
  std::ofstream(game / "jeu.toml") << file;
  const ToolRun run = runTool({"--quiet", "--game", game / "jeu.toml"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* n : {"1", "2", "3"}) {
    TempFolder images;
    ASSERT_EQ(runTool({"--steps", "cutout,grey,mask,overlay", "--save-images", images.str(), levels + n + "/1-sprites.bmp",
                       levels + n + "/2-background.bmp", levels + n + "/3-full.bmp"})
                  .status,
              0);
    expectRenderedPlanes({"--maps", game / (std::string("Niv") + n), "--tiles", game / "Jeu", "--width", "12", "--flips",
                          "--tile-base", "5,40", "--map-order", "columns"},
                         images.str(), std::string("level ") + n);
  }
}

// The shell block after "<!-- `marker` -->" in the document `file` of the checkout.
std::string documentedBlock(const std::string& file, const std::string& marker) {
  const std::string text = readWholeFile(TAVRIK_SOURCE_DIR "/" + file);
  std::smatch m;
  const std::regex pattern("<!-- " + marker + " -->\\s*```sh\\n([\\s\\S]*?)```");
  if (!std::regex_search(text, m, pattern)) {
    ADD_FAILURE() << "no " << marker << " in " << file;
    return "false";
  }
  return m[1].str();
}

TEST(Render, TheDocumentedExamplesRunAsWrittenAndDrawTheSavedOverlays) {
  TempFolder cwd, level1, demo;
  fs::create_directory_symlink(TAVRIK_SOURCE_DIR "/resources", cwd / "resources");
  const std::pair<const char*, const char*> blocks[] = {{"docs/tavrik-batch.md", "bank example"},
                                                        {"docs/render.md", "render example"},
                                                        {"docs/render.md", "layout example"},
                                                        {"docs/render.md", "layout render example"}};
  for (const auto& [file, marker] : blocks) {
    const ToolRun run = runCommand(
        {"/usr/bin/env", "PATH=" TAVRIK_BINARY_DIR ":/usr/bin:/bin", "bash", "-euc", documentedBlock(file, marker)},
        cwd.str());
    ASSERT_EQ(run.status, 0) << marker << "\n" << run.err << run.out;
  }
  const std::string overlay = "--steps=cutout,grey,mask,overlay";
  ASSERT_EQ(runTool({overlay, "--save-images", level1.str(), "resources/levels/1/1-sprites.bmp",
                     "resources/levels/1/2-background.bmp", "resources/levels/1/3-full.bmp"},
                    cwd.str())
                .status,
            0);
  ASSERT_EQ(runTool(concat({overlay, "--save-images", demo.str()}, demoFiles())).status, 0);
  EXPECT_EQ(pictureDifference(loadSavedPicture(cwd / "niv1.png"), loadSavedPicture(level1 / "full-plane.bmp")), "");
  EXPECT_EQ(pictureDifference(loadSavedPicture(cwd / "hw.png"), loadSavedPicture(demo / "full-plane.bmp")), "");
  EXPECT_EQ(loadSavedPicture(cwd / "tiles.png").width(), 256);  // 30 tiles: two rows of 16
  EXPECT_EQ(loadSavedPicture(cwd / "tiles.png").height(), 32);
}

TEST(Render, TheSummaryNamesWhatWasReadAndWritten) {
  TempFolder out;
  ASSERT_EQ(runTool(concat({"--quiet", "--output-dir", out.str()}, demoFiles())).status, 0);
  const std::string picture = out / "level.png";
  const ToolRun run = runTool({"--render", picture, "--maps", out / "Demo", "--width", "32"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.outLines(), (std::vector<std::string>{
                                "Tuiles des sprites : " + out / "Demo1.bin" + " (18 tuiles)",
                                "Carte des sprites : " + out / "Demo1.lvl" + " (32 x 14 cases)",
                                "Tuiles de l'arrière-plan : " + out / "Demo2.bin" + " (38 tuiles)",
                                "Carte de l'arrière-plan : " + out / "Demo2.lvl" + " (32 x 14 cases)",
                                "Dessin : level (512 x 224)",
                                "Fichiers écrits :",
                                "  " + picture + " (" + std::to_string(fs::file_size(picture)) + " octets)",
                            }));
}

// Files of 16-pixel tiles: `tiles` all-white tiles and a map of the given records.
void writeFiles(const std::string& prefix, int tiles, const std::vector<std::uint16_t>& records) {
  for (const char* n : {"1", "2"}) {
    std::ofstream(prefix + n + ".bin", std::ios::binary) << std::string(static_cast<size_t>(tiles) * 64, '\0');
    std::ofstream map(prefix + n + ".lvl", std::ios::binary);
    for (const std::uint16_t r : records) map << static_cast<char>(r & 0xFF) << static_cast<char>(r >> 8);
  }
}

TEST(Render, BadFilesFailWithOneLineAndWriteNothing) {
  TempFolder work;
  const std::string p = work / "p";
  writeFiles(p, 2, {0, 1, 1, 0, 1, 1});                 // 3 x 2 cells
  writeFiles(work / "far", 2, {0, 1, 2, 0, 1, 1});      // tile 2 of 2
  writeFiles(work / "flip", 2, {0, 0x0101, 0x0400, 0, 0, 0});  // with bits 8,9: tile 1 mirrored, then bit 10
  writeFiles(work / "empty", 2, {});
  std::ofstream(work / "odd1.lvl", std::ios::binary) << std::string(5, '\0');
  std::ofstream(work / "odd1.bin", std::ios::binary) << std::string(64, '\0');
  std::ofstream(work / "short1.bin", std::ios::binary) << std::string(63, '\0');
  fs::copy_file(p + "1.lvl", work / "short1.lvl");
  // 16-pixel cells of tile 0: one more than a picture of 2^28 pixels holds, and two maps each
  // within it, one a column and the other a row, whose level would not be.
  writeFiles(work / "big", 1, {});
  fs::resize_file(work / "big1.lvl", 2 * ((1u << 20) + 1));
  writeFiles(work / "long", 1, {});
  fs::resize_file(work / "long1.lvl", 2u << 20);
  fs::resize_file(work / "long2.lvl", 2u << 20);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--maps", work / "absent", "--width", "3"}, "Impossible d'ouvrir le fichier " + work / "absent1.bin"},
      {{"--maps", p, "--tiles", work / "absent", "--width", "3"}, "Impossible d'ouvrir le fichier " + work / "absent1.bin"},
      {{"--maps", work / "odd", "--width", "1", "--plane", "sprite"}, "Fichier de carte incorrect : " + work / "odd1.lvl"},
      {{"--maps", work / "short", "--width", "3", "--plane", "sprite"},
       "Fichier de tuiles incorrect : " + work / "short1.bin"},
      {{"--maps", p, "--width", "4"},
       "La largeur 4 ne convient pas à la carte " + p + "1.lvl : ses 6 cases ne font pas des lignes entières"},
      {{"--maps", p, "--width", "3,4"},
       "La largeur 4 ne convient pas à la carte " + p + "2.lvl : ses 6 cases ne font pas des lignes entières"},
      {{"--maps", work / "far", "--width", "3"},
       "La case (2, 0) de la carte " + work / "far1.lvl" + " vaut 2 et ne désigne aucune des 2 tuiles de " +
           work / "far1.bin"},
      {{"--maps", work / "far", "--width", "2", "--map-order", "columns"},
       "La case (0, 2) de la carte " + work / "far1.lvl" + " vaut 2 et ne désigne aucune des 2 tuiles de " +
           work / "far1.bin"},
      {{"--maps", p, "--width", "3", "--tile-base", "1,0"},
       "La case (0, 0) de la carte " + p + "1.lvl vaut 0 et ne désigne aucune des 2 tuiles de " + p +
           "1.bin à partir de l'indice 1"},
      {{"--maps", p, "--width", "3", "--tile-base", "0,1", "--plane", "background"},
       "La case (0, 0) de la carte " + p + "2.lvl vaut 0 et ne désigne aucune des 2 tuiles de " + p +
           "2.bin à partir de l'indice 1"},
      {{"--maps", work / "flip", "--width", "3", "--flips", "--flip-bits", "8,9"},
       "La case (2, 0) de la carte " + work / "flip1.lvl" + " vaut 1024 et ne désigne aucune des 2 tuiles de " +
           work / "flip1.bin"},
      {{"--maps", work / "flip", "--width", "3"},
       "La case (1, 0) de la carte " + work / "flip1.lvl" + " vaut 257 et ne désigne aucune des 2 tuiles de " +
           work / "flip1.bin"},
      {{"--maps", work / "big", "--width", "1", "--plane", "sprite"},
       "Carte trop grande pour une image : " + work / "big1.lvl" + " (1048577 cases, 1048576 au plus)"},
      {{"--maps", work / "long", "--width", "1,1048576"},
       "Image trop grande : 16777216 x 16777216 pixels (268435456 au plus)"},
      {{"--maps", work / "empty", "--width", "3"},
       "Rien à dessiner : " + work / "empty1.lvl" + " et " + work / "empty2.lvl" + " n'ont aucune case"},
      {{"--maps", p, "--width", "3", "--render", work / "nowhere/x.png"},
       "Impossible de créer le fichier " + work / "nowhere/x.png"},
  };
  const std::vector<std::string> before = work.entries();
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (std::find(args.begin(), args.end(), "--render") == args.end()) args.insert(args.end(), {"--render", work / "x.png"});
    const ToolRun run = runTool(args);
    EXPECT_EQ(run.status, 1) << c.message << "\n" << run.err;
    // The error box's full stop, unless the message ends in a character at or below it.
    EXPECT_EQ(run.err, "tavrik-batch: " + c.message + (c.message.back() <= '.' ? "" : ".") + "\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(work.entries(), before) << c.message;
  }
}

TEST(Render, UsageErrorsAreStatusTwoBeforeAnyWork) {
  TempFolder work;
  writeFiles(work / "p", 2, {0, 1});
  const std::string p = work / "p", out = work / "x.png";
  const std::vector<std::vector<std::string>> cases = {
      {"--render", out, "--maps", p, "--width", "2", kDemo + "1-sprites.bmp"},
      {"--render", out, "--width", "2"},
      {"--render", out, "--maps", p},
      {"--render", out, "--plane", "sprite-tiles"},
      {"--render", out, "--maps", p, "--width", "0"},
      {"--render", out, "--maps", p, "--width", "1,2,3"},
      {"--render", out, "--maps", p, "--width", "2", "--plane", "full"},
      {"--render", out, "--maps", p, "--width", "2", "--steps", "maps"},
      {"--render", out, "--maps", p, "--width", "2", "--full-strips"},
      {"--render", out, "--maps", p, "--width", "2", "--map-order", "diagonal"},
      {"--render", out, "--maps", p, "--width", "2", "--tile-base", "65536,0"},
      {"--render", out, "--maps", p, "--width", "2", "--flips", "--flip-bits", "8,9", "--tile-base", "0,256"},
      {"--render", p + "1.lvl", "--maps", p, "--width", "2"},
      {"--render", p + "2.bin", "--maps", p, "--width", "2"},
      {"--render", "", "--maps", p, "--width", "2"},
      {"--maps", p, "--width", "2", kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"},
      {"--plane", "sprite", kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"},
      {"--tile-base", "65536,0", kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"},
      {"--tile-base", "5", kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"},
      {"--flips", "--tile-base", "0,16384", kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"},
  };
  const std::vector<std::string> before = work.entries();
  for (const auto& args : cases) {
    std::string context;
    for (const std::string& a : args) context += a + " ";
    const ToolRun run = runTool(args, work.str());
    EXPECT_EQ(run.status, 2) << context << "\n" << run.err;
    EXPECT_EQ(run.errLines().size(), 1u) << context << "\n" << run.err;
    EXPECT_NE(run.err.find("(voir tavrik-batch --help)"), std::string::npos) << context << "\n" << run.err;
    EXPECT_EQ(work.entries(), before) << context;
  }
}

TEST(TileBase, AListThatDoesNotFitUnderItsBaseStopsTheRunBeforeAnyFile) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  // The demo keeps 18 sprite tiles and 38 background tiles (37 with --flips).
  const std::vector<Case> cases = {
      {{"--tile-base", "65519,0"}, "Trop de tuiles dans la liste pour la base 65519 : 18 (17 au plus)"},
      {{"--tile-base", "0,65500"}, "Trop de tuiles dans la liste pour la base 65500 : 38 (36 au plus)"},
      {{"--flips", "--tile-base", "0,16350"}, "Trop de tuiles dans la liste pour la base 16350 : 37 (34 au plus)"},
      {{"--flips", "--flip-bits", "9,8", "--tile-base", "239,0"},
       "Trop de tuiles dans la liste pour la base 239 : 18 (17 au plus)"},
      {{"--tile-base", "65518,65498"}, ""},
      {{"--flips", "--flip-bits", "9,8", "--tile-base", "238,219"}, ""},
  };
  for (const Case& c : cases) {
    for (const bool lean : {true, false}) {
      TempFolder out, images;
      std::vector<std::string> args = concat({"--quiet", "--output-dir", out.str()}, c.args);
      if (!lean) args.insert(args.end(), {"--save-images", images.str()});
      const ToolRun run = runTool(concat(args, demoFiles()));
      const std::string context = (c.message.empty() ? "fits" : c.message) + (lean ? " (lean road)" : "");
      if (c.message.empty()) {
        EXPECT_EQ(run.status, 0) << context << "\n" << run.err;
        EXPECT_EQ(out.entries().size(), 4u) << context;
        continue;
      }
      EXPECT_EQ(run.status, 1) << context;
      EXPECT_EQ(run.err, "tavrik-batch: " + c.message + "\n") << context;  // no full stop after ")"
      EXPECT_TRUE(out.entries().empty()) << context;
    }
  }
}

}  // namespace
}  // namespace tavrik::test
