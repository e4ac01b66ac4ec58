// What a new user meets: --thresholds auto on scenes of four colour groups, and the warning on
// pictures given in the wrong order, through the tool itself on both roads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "imaging/bitmap_file.h"
#include "imaging/png_file.h"
#include "imaging/surface.h"
#include "run_tool.h"

namespace fs = std::filesystem;

namespace tavrik::test {
namespace {

constexpr int kTile = 16;
using Design = std::array<int, kTile * kTile>;  // per pixel: a colour group 0..3, or -1 (transparent)

// Up to three different colours whose bytes add up to `sum` (never fuchsia).
std::vector<Colour> coloursOfSum(int sum) {
  std::vector<Colour> colours;
  for (const int r : {std::min(sum, 255), sum / 3, 0}) {
    const int g = std::min(sum - r, 255), b = sum - r - g;
    const Colour c = rgb(static_cast<unsigned>(r), static_cast<unsigned>(g), static_cast<unsigned>(b));
    if (b >= 0 && b <= 255 && c != clFuchsia && std::find(colours.begin(), colours.end(), c) == colours.end())
      colours.push_back(c);
  }
  return colours;
}

// Designs in pairs that differ in one pixel, of group g against g + 1 for every g in `groups`
// but the last, plus random ones: reducing two neighbouring groups to one grey would merge a
// pair. `transparent`: some pixels of every design are transparent.
std::vector<Design> makeDesigns(std::mt19937& rng, const std::vector<int>& groups, bool transparent) {
  std::vector<Design> designs;
  auto random = [&] {
    Design d;
    for (int& p : d) {
      p = groups[rng() % groups.size()];
      if (transparent && rng() % 3 == 0) p = -1;
    }
    d[17] = groups[0];  // never all transparent
    return d;
  };
  for (size_t k = 0; k + 1 < groups.size(); ++k) {
    Design a = random();
    a[0] = groups[k];
    Design b = a;
    b[0] = groups[k + 1];
    designs.push_back(a);
    designs.push_back(b);
  }
  for (int k = 0; k < 4; ++k) designs.push_back(random());
  return designs;
}

struct Scene {
  int spriteTiles = 0, backgroundTiles = 0;  // distinct tiles that the lists must hold
};

// A level of 8 x 6 cells: background cells from the background designs, some cells with a sprite
// over them, each pixel of a group drawn in any colour of the group's sum. Writes 1-sprites,
// 2-background and 3-full in `extension` ("bmp" or "png") into `folder`.
Scene writeScene(const std::array<int, 4>& sums, std::uint32_t seed, const fs::path& folder,
                 const std::string& extension) {
  std::mt19937 rng(seed);
  const std::vector<Design> backgrounds = makeDesigns(rng, {0, 1, 2, 3}, false);
  // Sprites use the three greys that the virtual mask keeps apart.
  const std::vector<Design> sprites = makeDesigns(rng, {1, 2, 3}, true);
  std::array<std::vector<Colour>, 4> colours;
  for (int g = 0; g < 4; ++g) colours[static_cast<size_t>(g)] = coloursOfSum(sums[static_cast<size_t>(g)]);
  const auto colourOf = [&](int group) {
    const std::vector<Colour>& c = colours[static_cast<size_t>(group)];
    return c[rng() % c.size()];
  };

  const int columns = 8, rows = 6;
  Surface sprite(columns * kTile, rows * kTile, clFuchsia), background(columns * kTile, rows * kTile),
      full(columns * kTile, rows * kTile);
  std::set<size_t> usedBackgrounds, usedSprites;
  bool blank = false;
  for (int cell = 0; cell < columns * rows; ++cell) {
    // Every design at least once, then any.
    const size_t b = cell < static_cast<int>(backgrounds.size()) ? static_cast<size_t>(cell) : rng() % backgrounds.size();
    const size_t s = cell < static_cast<int>(sprites.size()) ? static_cast<size_t>(cell) : rng() % (sprites.size() * 2);
    usedBackgrounds.insert(b);
    if (s < sprites.size()) usedSprites.insert(s);
    else blank = true;
    for (int y = 0; y < kTile; ++y)
      for (int x = 0; x < kTile; ++x) {
        const int px = (cell % columns) * kTile + x, py = (cell / columns) * kTile + y;
        const Colour back = colourOf(backgrounds[b][static_cast<size_t>(y * kTile + x)]);
        background.write(px, py, back);
        full.write(px, py, back);
        if (s >= sprites.size()) continue;
        const int group = sprites[s][static_cast<size_t>(y * kTile + x)];
        if (group < 0) continue;
        const Colour c = colourOf(group);
        sprite.write(px, py, c);
        full.write(px, py, c);
      }
  }
  const Surface* planes[] = {&sprite, &background, &full};
  const char* names[] = {"1-sprites.", "2-background.", "3-full."};
  for (int k = 0; k < 3; ++k) {
    const std::string path = (folder / (names[k] + extension)).string();
    if (extension == "png") writePngFile(*planes[k], path);
    else writeBitmapFile(*planes[k], path);
  }
  // A cell without a sprite is all white after the mask: one more sprite tile.
  return {static_cast<int>(usedSprites.size()) + (blank ? 1 : 0), static_cast<int>(usedBackgrounds.size())};
}

std::vector<std::string> planesIn(const fs::path& folder, const std::string& extension) {
  return {(folder / ("1-sprites." + extension)).string(), (folder / ("2-background." + extension)).string(),
          (folder / ("3-full." + extension)).string()};
}

std::string lineStarting(const ToolRun& run, const std::string& start) {
  for (const std::string& line : run.outLines())
    if (line.rfind(start, 0) == 0) return line.substr(start.size());
  return "";
}

TEST(FirstUse, AutoThresholdsGiveEachColourGroupItsOwnGreyAtAnyBrightness) {
  const std::array<int, 4> cases[] = {
      {0, 1, 2, 3}, {20, 120, 220, 320}, {380, 390, 400, 410}, {600, 700, 740, 765}, {0, 300, 301, 765},
  };
  std::uint32_t seed = 1;
  for (const auto& sums : cases) {
    const std::string context = "sums " + std::to_string(sums[0]) + "," + std::to_string(sums[1]) + "," +
                                std::to_string(sums[2]) + "," + std::to_string(sums[3]);
    TempFolder folder;
    const Scene scene = writeScene(sums, seed, folder.path(), "bmp");
    writeScene(sums, seed++, folder.path(), "png");
    // The lean road on bitmaps, on PNG files (rows in order only), and the window's road.
    std::vector<ToolRun> runs;
    std::vector<std::string> outputs;
    const std::vector<std::vector<std::string>> ways = {
        planesIn(folder.path(), "bmp"), planesIn(folder.path(), "png"), planesIn(folder.path(), "bmp")};
    for (size_t w = 0; w < ways.size(); ++w) {
      const std::string out = folder / ("out" + std::to_string(w));
      fs::create_directory(out);
      std::vector<std::string> args = {"--thresholds", "auto", "--output-dir", out};
      if (w == 2) args.push_back("--full-strips");
      args.insert(args.end(), ways[w].begin(), ways[w].end());
      runs.push_back(runTool(args));
      outputs.push_back(out);
      ASSERT_EQ(runs.back().status, 0) << context << "\n" << runs.back().err;
      EXPECT_EQ(runs.back().err, "") << context;
    }
    // Midway between the group sums: each group has a grey of its own.
    const std::string chosen = lineStarting(runs[0], "Seuils choisis : ");
    std::string expected;
    for (int k = 0; k < 3; ++k) {
      if (k) expected += ',';
      expected += std::to_string(sums[k] + 1 + (sums[k + 1] - sums[k] - 1) / 2);
    }
    EXPECT_EQ(chosen, expected) << context;
    EXPECT_EQ(lineStarting(runs[0], "Nombre de sprites (plan de sprites) : "), std::to_string(scene.spriteTiles))
        << context;
    EXPECT_EQ(lineStarting(runs[0], "Nombre de sprites (arrière-plan) : "), std::to_string(scene.backgroundTiles))
        << context;
    for (size_t w = 1; w < runs.size(); ++w) {
      for (const char* line : {"Seuils choisis : ", "Nombre de sprites (plan de sprites) : ",
                               "Nombre de sprites (arrière-plan) : "})
        EXPECT_EQ(lineStarting(runs[w], line), lineStarting(runs[0], line)) << context << ", way " << w;
      for (const char* file : {"Demo1.lvl", "Demo2.lvl", "Demo1.bin", "Demo2.bin"})
        EXPECT_EQ(readWholeFile(fs::path(outputs[w]) / file), readWholeFile(fs::path(outputs[0]) / file))
            << context << ", way " << w << ", " << file;
    }
    // The fixed default thresholds, for comparison, lose groups on most of these scenes; without
    // the option the summary has no thresholds line.
    const ToolRun fixed = runTool({"--output-dir", outputs[0], folder / "1-sprites.bmp", folder / "2-background.bmp",
                                   folder / "3-full.bmp"});
    EXPECT_EQ(fixed.status, 0);
    EXPECT_EQ(lineStarting(fixed, "Seuils choisis : "), "");
  }
}

TEST(FirstUse, AutoThresholdsWithoutTheGreyStepChooseNothing) {
  TempFolder folder;
  writeScene({0, 300, 500, 765}, 9, folder.path(), "bmp");
  std::vector<std::string> args = {"--thresholds", "auto", "--steps", "cutout,lists,optimise,maps",
                                   "--output-dir", folder.str()};
  const std::vector<std::string> planes = planesIn(folder.path(), "bmp");
  args.insert(args.end(), planes.begin(), planes.end());
  const ToolRun run = runTool(args);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(lineStarting(run, "Seuils choisis : "), "");
}

// The warning on pictures given in the wrong order: never on the scenes of the project in their
// order, on both roads; on a wrong order, the same outputs and status as without it.
TEST(FirstUse, WarnsOfPicturesInTheWrongOrderAndOnlyThen) {
  TempFolder folder;
  struct Level {
    std::string name;
    std::vector<std::string> planes;
  };
  std::vector<Level> levels;
  const std::string resources = TAVRIK_SOURCE_DIR "/resources/";
  for (const char* ext : {"bmp", "png"}) levels.push_back({std::string("demo ") + ext, planesIn(resources + "demo", ext)});
  for (const char* level : {"1", "2", "3", "halves"})
    levels.push_back({std::string("level ") + level, planesIn(resources + "levels/" + level, "bmp")});
  // Scenes of the benchmark's generator: sprites on a key colour, not on fuchsia.
  const std::string generator = TAVRIK_BINARY_DIR "/bench/tavrik-scene";
  if (fs::exists(generator)) {
    for (const char* freeSprites : {"", "--free-sprites"}) {
      const std::string dir = folder / ("scene" + std::string(freeSprites));
      fs::create_directory(dir);
      std::vector<std::string> command = {generator, "--seed", "5"};
      if (*freeSprites) command.push_back(freeSprites);
      command.insert(command.end(), {"256x512", dir});
      ASSERT_EQ(runCommand(command).status, 0);
      levels.push_back({std::string("bench scene ") + freeSprites,
                        {dir + "/sprites.bmp", dir + "/background.bmp", dir + "/full.bmp"}});
    }
  } else {
    ADD_FAILURE() << "no " << generator;
  }

  const std::string warning = "les images semblent données dans le désordre";
  const std::string out = folder / "out";
  fs::create_directory(out);
  for (const Level& level : levels) {
    std::array<int, 3> order{0, 1, 2};
    do {
      const bool right = order == std::array<int, 3>{0, 1, 2};
      std::vector<std::string> args = {"--output-dir", out};
      for (const int k : order) args.push_back(level.planes[static_cast<size_t>(k)]);
      const ToolRun lean = runTool(args);
      const std::string context = level.name + " in order " + std::to_string(order[0]) +
                                  std::to_string(order[1]) + std::to_string(order[2]);
      EXPECT_EQ(lean.status, 0) << context << "\n" << lean.err;
      const bool warned = lean.err.find(warning) != std::string::npos;
      // Wrong orders: those that put the sprite plane elsewhere, and the shell's sorted order of
      // background, full, sprites above all, are all seen.
      if (right) EXPECT_FALSE(warned) << context << "\n" << lean.err;
      else EXPECT_TRUE(warned) << context;
      if (!right && level.name != "demo bmp") continue;
      // The window's road says the same and writes the same.
      std::vector<std::string> files;
      for (const char* f : {"Demo1.lvl", "Demo2.lvl", "Demo1.bin", "Demo2.bin"}) files.push_back(readWholeFile(fs::path(out) / f));
      args.push_back("--full-strips");
      const ToolRun window = runTool(args);
      EXPECT_EQ(window.status, lean.status) << context;
      EXPECT_EQ(window.out, lean.out) << context;
      EXPECT_EQ(window.err, lean.err) << context;
      size_t i = 0;
      for (const char* f : {"Demo1.lvl", "Demo2.lvl", "Demo1.bin", "Demo2.bin"})
        EXPECT_EQ(readWholeFile(fs::path(out) / f), files[i++]) << context << " " << f;
    } while (std::next_permutation(order.begin(), order.end()));
  }
}

}  // namespace
}  // namespace tavrik::test

namespace tavrik::test {
namespace {

// thresholds = "auto" in a game file: one set from every level, here two brightnesses in each
// level, four in the game; the same files as the game with those thresholds written out.
TEST(FirstUse, GameThresholdsAutoChooseOneSetFromEveryLevel) {
  TempFolder folder;
  for (const char* level : {"a", "b"}) fs::create_directory(folder / level);
  writeScene({10, 20, 10, 20}, 3, folder / "a", "bmp");
  writeScene({300, 310, 300, 310}, 4, folder / "b", "png");
  std::string outputs[2];
  const char* thresholds[2] = {"\"auto\"", "[15, 160, 305]"};
  ToolRun runs[2];
  for (int k = 0; k < 2; ++k) {
    const std::string out = folder / ("out" + std::to_string(k));
    fs::create_directory(out);
    std::ofstream(folder / "jeu.toml") << "name = \"Jeu\"\noutput-dir = \"" << out << "\"\nthresholds = " << thresholds[k]
                                       << "\n[[level]]\nname = \"A\"\nsprites = \"a/1-sprites.bmp\"\n"
                                          "background = \"a/2-background.bmp\"\nfull = \"a/3-full.bmp\"\n"
                                          "[[level]]\nname = \"B\"\nsprites = \"b/1-sprites.png\"\n"
                                          "background = \"b/2-background.png\"\nfull = \"b/3-full.png\"\n";
    runs[k] = runTool({"--game", folder / "jeu.toml"});
    ASSERT_EQ(runs[k].status, 0) << runs[k].err;
    outputs[k] = out;
  }
  // Midway between 10, 20, 300 and 310.
  EXPECT_EQ(lineStarting(runs[0], "Seuils choisis : "), "15,160,305");
  EXPECT_EQ(lineStarting(runs[1], "Seuils choisis : "), "");
  for (const char* file : {"Jeu1.bin", "Jeu2.bin", "A1.lvl", "A2.lvl", "B1.lvl", "B2.lvl"}) {
    const std::string bytes = readWholeFile(fs::path(outputs[0]) / file);
    EXPECT_FALSE(bytes.empty()) << file;
    EXPECT_EQ(bytes, readWholeFile(fs::path(outputs[1]) / file)) << file;
  }
}

}  // namespace
}  // namespace tavrik::test
