// A game's Tiled maps: every level's map, drawn by Tiled's own renderer through the game's
// external tile sets, is the level's grey background plane, and with the sprites its overlay.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/game_fixtures.h"
#include "formats/format_fixtures.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

// Where `rendered` differs from the top-left part of `expected` of its size, or "".
std::string difference(const Surface& rendered, const Surface& expected) {
  if (rendered.width() > expected.width() || rendered.height() > expected.height())
    return "rendered larger than the plane";
  long long differing = 0;
  std::string first;
  for (int y = 0; y < rendered.height(); ++y)
    for (int x = 0; x < rendered.width(); ++x)
      if ((rendered.read(x, y) & 0xFFFFFF) != expected.read(x, y) && differing++ == 0)
        first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return differing ? std::to_string(differing) + " pixels differ, " + first : "";
}

TEST(GameTiled, EveryLevelRenderedThroughTheExternalTileSetsIsItsGreyPlanes) {
  const std::string rasterizer = findProgram("tmxrasterizer");
  if (rasterizer.empty()) GTEST_SKIP() << "tmxrasterizer missing (package tiled)";
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  struct Case {
    int size;
    bool flips;
    unsigned seed;
  };
  for (const Case& c : {Case{16, false, 21}, Case{8, true, 22}, Case{16, true, 23}}) {
    SCOPED_TRACE("tiles of " + std::to_string(c.size) + (c.flips ? ", flips" : ""));
    TempFolder folder;
    fs::create_directory(folder / "tiled");
    fs::create_directory(folder / "out");
    const RandomGame game = writeRandomGame(folder.str(), c.seed, 3, c.size, c.flips, false, "Jeu",
                                            "tiled = \"tiled\"\noutput-dir = \"out\"\n");
    const ToolRun run = runTool({"--quiet", "--game", folder / "game.toml"});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> expected{"Jeu1.png", "Jeu1.tsx", "Jeu2.png", "Jeu2.tsx"};
    for (const GameLevelFiles& level : game.levels) expected.push_back(level.name + ".tmx");
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(folder / "tiled")) written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected);

    // The grey planes of each level: the chain of single runs, saving the working images.
    std::string previous;
    for (const GameLevelFiles& level : game.levels) {
      SCOPED_TRACE(level.name);
      const std::string images = folder / ("images-" + level.name);
      fs::create_directory(images);
      std::vector<std::string> args{"--quiet", "--name", level.name, "--tile-size", std::to_string(c.size),
                                    "--output-dir", images, "--save-images", images};
      if (c.flips) args.push_back("--flips");
      if (!previous.empty()) args.insert(args.end(), {"--bank", previous});
      args.insert(args.end(), {folder / level.sprites, folder / level.background, folder / level.full});
      ASSERT_EQ(runTool(args).status, 0);
      previous = images + "/" + level.name;

      const std::string map = folder / ("tiled/" + level.name + ".tmx");
      for (const auto& [hide, plane] :
           {std::pair<std::string, std::string>{"sprites", "background-plane.bmp"}, {"", "full-plane.bmp"}}) {
        const std::string picture = images + "/rendered-" + plane;
        std::vector<std::string> command{rasterizer, "--no-smoothing", map, picture};
        if (!hide.empty()) command.insert(command.end(), {"--hide-layer", hide});
        const ToolRun rendered = runCommand(command);
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        EXPECT_EQ(difference(loadBitmap(picture), loadBitmap(images + "/" + plane)), "") << plane;
      }
    }
  }
}

}  // namespace
}  // namespace tavrik::test
