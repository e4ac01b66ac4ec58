// tavrik-batch's tile-set options through the program: mirrored tiles, a shared bank, budgets.
// The written maps and tiles are decoded back into planes (literal decoder) and compared with
// the planes that the road left, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "imaging/bitmap_file.h"
#include "reference/literal_decode.h"
#include "render_check.h"
#include "run_tool.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kSource = TAVRIK_SOURCE_DIR;
const std::string kDemo = kSource + "/resources/demo/";

std::vector<std::string> planesOf(const std::string& folder) {
  return {folder + "/1-sprites.bmp", folder + "/2-background.bmp", folder + "/3-full.bmp"};
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> bytesOf(const std::string& path) {
  const std::string text = readWholeFile(path);
  return {text.begin(), text.end()};
}

Surface loadBitmap(const std::string& path) { return decodeBitmap(bytesOf(path)); }

// The number after "label : " in the summary, or -1.
int summaryCount(const ToolRun& run, const std::string& label) {
  for (const std::string& line : run.outLines())
    if (line.rfind(label + " : ", 0) == 0) return std::stoi(line.substr(label.size() + 3));
  return -1;
}

int tileCount(const ToolRun& run) {
  return summaryCount(run, "Nombre de sprites (plan de sprites)") +
         summaryCount(run, "Nombre de sprites (arrière-plan)");
}

// Decodes NAME1/NAME2 (.lvl against `bank`1/2 .bin) and expects the two planes that --save-images
// wrote into `images`.
void expectPlanesRebuilt(const std::string& lvlPrefix, const std::string& binPrefix,
                         const std::string& images, const literal::RecordLayout& layout,
                         const std::string& context) {
  const std::pair<const char*, const char*> planes[] = {{"1", "sprite-plane.bmp"}, {"2", "background-plane.bmp"}};
  for (const auto& [number, image] : planes) {
    const Surface expected = loadBitmap(images + "/" + image);
    const int columns = expected.width() / layout.tileSize;
    const Surface rebuilt = literal::decodePlane(bytesOf(lvlPrefix + number + ".lvl"),
                                                 bytesOf(binPrefix + number + ".bin"), columns, layout);
    ASSERT_EQ(rebuilt.width(), expected.width()) << context << " " << image;
    ASSERT_EQ(rebuilt.height(), expected.height()) << context << " " << image;
    EXPECT_TRUE(rebuilt.pixels() == expected.pixels()) << context << " " << image << " differs";
  }
}

// Whether any record of a map file has a bit of `mask` set.
bool anyRecordWith(const std::string& lvl, unsigned mask) {
  const std::vector<std::uint8_t> bytes = bytesOf(lvl);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    if ((bytes[i] | bytes[i + 1] << 8) & mask) return true;
  return false;
}

// Three identical planes of the four greys, written as bitmaps into `folder`.
void writeLevel(const std::string& folder, const Surface& plane) {
  fs::create_directories(folder);
  for (const std::string& file : planesOf(folder)) writeBitmapFile(plane, file);
}

// A plane of `columns` x `rows` tiles of random greys, whose second half (right or bottom)
// mirrors its first.
Surface halvesLevel(int columns, int rows, int S, bool leftRight, unsigned seed) {
  std::mt19937 rng(seed);
  const Colour greys[] = {clBlack, clGray, clSilver, clWhite};
  Surface s(columns * S, rows * S);
  const int w = leftRight ? s.width() / 2 : s.width(), h = leftRight ? s.height() : s.height() / 2;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Colour c = greys[rng() % 4];
      s.write(x, y, c);
      if (leftRight) s.write(s.width() - 1 - x, y, c);
      else s.write(x, s.height() - 1 - y, c);
    }
  return s;
}

TEST(ToolTileSets, FlipsOnTheDemoSceneStoreFewerTilesAndRebuildBothPlanes) {
  TempFolder plain;
  const ToolRun withoutFlips = runTool(concat({"--quiet", "--output-dir", plain.str()}, planesOf(kDemo)));
  ASSERT_EQ(withoutFlips.status, 0) << withoutFlips.err;
  const int plainTiles = static_cast<int>(fs::file_size(plain / "Demo1.bin") + fs::file_size(plain / "Demo2.bin")) / 64;

  struct Case {
    std::vector<std::string> bits;
    int horizontal, vertical;
  };
  for (const Case& c : {Case{{}, 14, 15}, Case{{"--flip-bits", "8,9"}, 8, 9}, Case{{"--flip-bits=15,12"}, 15, 12}}) {
    const std::string context = c.bits.empty() ? "default bits" : c.bits.back();
    TempFolder out, images;
    std::vector<std::string> args = {"--flips", "--output-dir", out.str(), "--save-images", images.str()};
    args.insert(args.end(), c.bits.begin(), c.bits.end());
    const ToolRun run = runTool(concat(args, planesOf(kDemo)));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_LT(tileCount(run), plainTiles) << context;
    EXPECT_EQ(summaryCount(run, "Tuiles économisées par symétrie (plan de sprites)") +
                  summaryCount(run, "Tuiles économisées par symétrie (arrière-plan)"),
              plainTiles - tileCount(run))
        << context;
    EXPECT_TRUE(anyRecordWith(out / "Demo2.lvl", 1u << c.horizontal | 1u << c.vertical)) << context;
    expectPlanesRebuilt(out / "Demo", out / "Demo", images.str(), {16, true, c.horizontal, c.vertical}, context);
  }
}

TEST(ToolTileSets, TiledMapsCarryTheFlipsAsGidFlags) {
  // Every cell of the .tmx layers: its GID's flags agree with the flip bits of its .lvl record.
  TempFolder out;
  const ToolRun run = runTool(concat({"--quiet", "--flips", "--output-dir", out.str(), "--tiled", out.str()},
                                     planesOf(kDemo)));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string tmx = readWholeFile(out / "Demo.tmx");
  int flagged = 0;
  for (const auto& [layer, lvl] : {std::pair{"background", "Demo2.lvl"}, std::pair{"sprites", "Demo1.lvl"}}) {
    const size_t begin = tmx.find("<data encoding=\"csv\">", tmx.find(std::string("name=\"") + layer + "\""));
    ASSERT_NE(begin, std::string::npos) << layer;
    std::istringstream csv(tmx.substr(begin + 22, tmx.find("</data>", begin) - begin - 22));
    const std::vector<std::uint8_t> records = bytesOf(out / lvl);
    size_t cell = 0;
    for (std::string gid; std::getline(csv, gid, ',');) {
      ASSERT_LT(2 * cell + 1, records.size()) << layer;
      const unsigned record = records[2 * cell] | records[2 * cell + 1] << 8;
      const unsigned long long value = std::stoull(gid);
      EXPECT_EQ((value >> 31) & 1, (record >> 14) & 1) << layer << " cell " << cell;
      EXPECT_EQ((value >> 30) & 1, (record >> 15) & 1) << layer << " cell " << cell;
      if (value >> 30) ++flagged;
      ++cell;
    }
    EXPECT_EQ(2 * cell, records.size()) << layer;
  }
  EXPECT_GT(flagged, 0);
}

TEST(ToolTileSets, ALevelWhoseHalvesMirrorEachOtherKeepsHalfItsTiles) {
  for (const bool leftRight : {true, false}) {
    const std::string context = leftRight ? "left-right" : "top-bottom";
    TempFolder level, plain, mirrored, images;
    writeLevel(level.str(), halvesLevel(8, 6, 16, leftRight, leftRight ? 1u : 2u));
    // No colour pass: the planes are already grey.
    const std::vector<std::string> steps = {"--steps", "lists,optimise,maps"};
    const ToolRun a = runTool(concat(concat(steps, {"--output-dir", plain.str()}), planesOf(level.str())));
    const ToolRun b = runTool(concat(concat(steps, {"--flips", "--output-dir", mirrored.str(), "--save-images",
                                                    images.str()}),
                                     planesOf(level.str())));
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(tileCount(a), 2 * 48) << context;  // random tiles: all distinct, none symmetric
    EXPECT_EQ(tileCount(b), 48) << context;
    EXPECT_EQ(summaryCount(b, "Tuiles économisées par symétrie (arrière-plan)"), 24) << context;
    expectPlanesRebuilt(mirrored / "Demo", mirrored / "Demo", images.str(), {16, true, 14, 15}, context);
  }
}

// The documented build loop over three levels that share one bank, run as written (tavrik-batch
// from this build, in a folder whose resources/ is the checkout's).
TEST(ToolTileSets, TheDocumentedBankExampleChainsThreeLevels) {
  const std::string readme = readWholeFile(kSource + "/docs/tavrik-batch.md");
  const std::smatch block = [&] {
    std::smatch m;
    const std::regex pattern("<!-- bank example -->\\s*```sh\\n([\\s\\S]*?)```");
    EXPECT_TRUE(std::regex_search(readme, m, pattern)) << "no bank example in docs/tavrik-batch.md";
    return m;
  }();
  if (block.empty()) return;
  TempFolder cwd;
  fs::create_directory_symlink(kSource + "/resources", cwd / "resources");
  const ToolRun loop = runCommand({"/usr/bin/env", "PATH=" TAVRIK_BINARY_DIR ":/usr/bin:/bin", "bash", "-euc",
                                   block[1].str()},
                                  cwd.str());
  ASSERT_EQ(loop.status, 0) << loop.err << loop.out;

  // Each level's tiles are a prefix of the next level's, and each level's maps decoded against
  // the last tiles give back its planes as the road left them.
  for (const char* list : {"1", "2"}) {
    std::string previous;
    for (int n = 1; n <= 3; ++n) {
      const std::string tiles = readWholeFile(cwd / ("game/Niv" + std::to_string(n) + list + ".bin"));
      EXPECT_EQ(tiles.compare(0, previous.size(), previous), 0) << "level " << n << " list " << list;
      if (n == 3) {
        EXPECT_EQ(tiles.size(), previous.size()) << "the mirrored level adds no tile";
      }
      previous = tiles;
    }
  }
  for (int n = 1; n <= 3; ++n) {
    const std::string level = std::to_string(n);
    TempFolder images;
    const ToolRun road = runTool(concat({"--steps", "cutout,grey,mask,overlay", "--save-images", images.str()},
                                        planesOf(kSource + "/resources/levels/" + level)));
    ASSERT_EQ(road.status, 0) << road.err;
    expectPlanesRebuilt(cwd / ("game/Niv" + level), cwd / "game/Niv3", images.str(), {16, true, 14, 15},
                        "level " + level);
    // tavrik-batch --render draws the same planes, and the overlay preview, from the same files.
    const int columns = loadBitmap(images / "sprite-plane.bmp").width() / 16;
    expectRenderedPlanes({"--flips", "--maps", cwd / ("game/Niv" + level), "--tiles", cwd / "game/Niv3", "--width",
                          std::to_string(columns)},
                         images.str(), "level " + level);
  }
}

TEST(ToolTileSets, ABankGrowsInPlaceAndKeepsItsTilesFirst) {
  TempFolder out, images, level;
  const std::string game = out / "Game";
  ASSERT_EQ(runTool(concat({"--quiet", "--name", "Game", "--output-dir", out.str()}, planesOf(kDemo))).status, 0);
  const std::string before1 = readWholeFile(game + "1.bin"), before2 = readWholeFile(game + "2.bin");
  // A level of new grey tiles, taken through the tile steps only.
  writeLevel(level.str(), halvesLevel(6, 4, 16, true, 5u));
  const ToolRun run = runTool(concat({"--steps", "lists,optimise,maps", "--bank", game, "--name", "Game",
                                      "--output-dir", out.str(), "--save-images", images.str()},
                                     planesOf(level.str())));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Banque de tuiles : " + game + " (18 + 38 tuiles)"), std::string::npos) << run.out;
  const std::string after1 = readWholeFile(game + "1.bin"), after2 = readWholeFile(game + "2.bin");
  EXPECT_EQ(after1.compare(0, before1.size(), before1), 0);
  EXPECT_EQ(after2.compare(0, before2.size(), before2), 0);
  EXPECT_EQ(after1.size(), before1.size() + 24 * 64);
  EXPECT_EQ(after2.size(), before2.size() + 24 * 64);
  EXPECT_EQ(static_cast<int>(after1.size() + after2.size()) / 64, tileCount(run));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Game1.bin", "Game1.lvl", "Game2.bin", "Game2.lvl"}));
  expectPlanesRebuilt(game, game, images.str(), {16, false, 14, 15}, "bank in place");
}

TEST(ToolTileSets, BankBudgetAndIndexFailuresWriteNothing) {
  TempFolder work;
  const std::string bank = work / "bank";
  std::ofstream(bank + "1.bin", std::ios::binary) << std::string(128, '\0');
  std::ofstream(bank + "2.bin", std::ios::binary) << std::string(65, '\0');
  std::ofstream(work / "eight1.bin", std::ios::binary) << std::string(32, '\0');
  std::ofstream(work / "eight2.bin", std::ios::binary) << std::string(31, '\0') + '\x01' << std::string("\x01", 1)
                                                     << std::string(31, '\0');
  // 400 distinct 8-pixel tiles: more than bits 8 and 9 leave room for.
  writeLevel(work / "noisy", halvesLevel(40, 20, 8, false, 3u));

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {concat({"--bank", work / "absent"}, planesOf(kDemo)), "Impossible d'ouvrir le fichier " + work / "absent1.bin"},
      {concat({"--bank", bank}, planesOf(kDemo)), "Fichier de tuiles incorrect : " + bank + "2.bin"},
      {concat({"--bank", bank, "--tile-size", "8"}, planesOf(kDemo)), "Fichier de tuiles incorrect : " + bank + "2.bin"},
      {concat({"--tile-size", "8", "--bank", work / "eight"}, planesOf(kDemo)),
       "Fichier de tuiles incorrect : " + work / "eight2.bin"},
      {concat({"--max-tiles", "17,100"}, planesOf(kDemo)), "Trop de tuiles dans la liste des sprites : 18 (budget de 17)"},
      {concat({"--max-tiles", "18,37", "--flips"}, planesOf(kDemo)), ""},
      {concat({"--max-tiles", "18,37"}, planesOf(kDemo)), "Trop de tuiles dans la liste de l'arrière-plan : 38 (budget de 37)"},
      {concat({"--steps", "lists,maps", "--max-tiles", "400,1000"}, planesOf(kDemo)),
       "Trop de tuiles dans la liste des sprites : 448 (budget de 400)"},
      {concat({"--tile-size", "8", "--steps", "lists,optimise,maps", "--flips", "--flip-bits", "8,9"}, planesOf(work / "noisy")),
       "Trop de tuiles dans la liste : 400 (256 au plus)"},
  };
  for (const Case& c : cases) {
    TempFolder out;
    const ToolRun run = runTool(concat({"--quiet", "--output-dir", out.str()}, c.args), work.str());
    const std::string context = c.message.empty() ? "within budget" : c.message;
    if (c.message.empty()) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(out.entries().size(), 4u) << context;
      continue;
    }
    EXPECT_EQ(run.status, 1) << context << "\n" << run.err;
    EXPECT_EQ(run.err.find("tavrik-batch: " + c.message), 0u) << context << "\n" << run.err;
    EXPECT_EQ(run.errLines().size(), 1u) << context << "\n" << run.err;
    EXPECT_TRUE(out.entries().empty()) << context;
  }
}

TEST(ToolTileSets, BadTileSetOptionsAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"--flips", "--flip-bits", "7,15"}, {"--flips", "--flip-bits", "9,9"}, {"--flips", "--flip-bits", "8,16"},
      {"--flips", "--flip-bits", "8"},    {"--flips", "--flip-bits", "a,b"}, {"--flip-bits", "14,15"},
      {"--max-tiles", "10"},              {"--max-tiles", "-1,2"},           {"--max-tiles", "1,2,3"},
      {"--bank", ""},                     {"--flips=yes"},
  };
  TempFolder cwd;
  for (const auto& args : cases) {
    const ToolRun run = runTool(concat(args, planesOf(kDemo)), cwd.str());
    EXPECT_EQ(run.status, 2) << args.back() << "\n" << run.err;
    EXPECT_EQ(run.errLines().size(), 1u) << run.err;
  }
  EXPECT_TRUE(cwd.entries().empty());
}

}  // namespace
}  // namespace tavrik::test
