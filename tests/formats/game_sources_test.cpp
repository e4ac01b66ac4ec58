// A game's sources, checked by the tools that consume them: the game's tile tables and every
// level's map tables assembled and linked together (68000 GNU tools), or compiled into one C
// program, hold each tile table once and give back exactly the binary files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/game_fixtures.h"
#include "formats/format_fixtures.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

// A little-endian map file's records as big-endian words.
std::string swapped(std::string bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
  return bytes;
}

struct GameCase {
  int tileSize;
  bool flips;
  unsigned seed;
};

// Writes a random game of four levels and converts it with formats bin, asm and c.
RandomGame convertGame(const TempFolder& folder, const GameCase& c) {
  const RandomGame game = writeRandomGame(folder.str(), c.seed, 4, c.tileSize, c.flips, true, "Jeu",
                                          "formats = [\"asm\", \"bin\", \"c\"]\n");
  const ToolRun run = runTool({"--quiet", "--game", folder / "game.toml"});
  EXPECT_EQ(run.status, 0) << run.err;
  return game;
}

const GameCase kCases[] = {{16, false, 7}, {8, true, 8}, {16, true, 9}};

// Symbols of an object: name -> (type, value).
std::map<std::string, std::pair<std::string, long>> symbolsOf(const std::string& nm, const std::string& object) {
  const ToolRun run = runCommand({nm, object});
  EXPECT_EQ(run.status, 0) << run.err;
  std::map<std::string, std::pair<std::string, long>> symbols;
  for (const std::string& line : run.outLines()) {
    std::istringstream fields(line);
    std::string hex, type, symbol;
    fields >> hex >> type >> symbol;
    symbols[symbol] = {type, std::stol(hex, nullptr, 16)};
  }
  return symbols;
}

TEST(GameSources, AssembledAndLinkedTogetherHoldEachTileTableOnceAndTheBinaryFiles) {
  const std::string as = findProgram("m68k-linux-gnu-as"), ld = findProgram("m68k-linux-gnu-ld");
  const std::string objcopy = findProgram("m68k-linux-gnu-objcopy"), nm = findProgram("m68k-linux-gnu-nm");
  if (as.empty() || ld.empty() || objcopy.empty() || nm.empty())
    GTEST_SKIP() << "m68k-linux-gnu binutils missing (package binutils-m68k-linux-gnu)";
  for (const GameCase& c : kCases) {
    SCOPED_TRACE("tiles of " + std::to_string(c.tileSize) + (c.flips ? ", flips" : ""));
    TempFolder folder;
    const RandomGame game = convertGame(folder, c);
    std::vector<std::string> names{"Jeu"};
    for (const GameLevelFiles& level : game.levels) names.push_back(level.name);
    std::vector<std::string> link{ld, "-r", "-o", folder / "game.o"};
    for (const std::string& name : names) {
      const ToolRun run = runCommand({as, "--mri", "-o", folder / (name + ".o"), folder / (name + ".s")});
      ASSERT_EQ(run.status, 0) << name << ": " << run.err;
      EXPECT_EQ(run.err, "");
      link.push_back(folder / (name + ".o"));
    }
    ToolRun run = runCommand(link);
    ASSERT_EQ(run.status, 0) << run.err;
    run = runCommand({objcopy, "-O", "binary", "-j", ".data", folder / "game.o", folder / "data"});
    ASSERT_EQ(run.status, 0) << run.err;

    // In link order: the game's two tile tables, then each level's two maps, nothing else.
    std::string expected;
    std::map<std::string, std::pair<std::string, long>> labels;
    const auto table = [&](const std::string& label, const std::string& bytes) {
      labels[label] = {"D", static_cast<long>(expected.size())};
      expected += bytes;
    };
    table("Jeu1_bin", readWholeFile(folder / "Jeu1.bin"));
    table("Jeu2_bin", readWholeFile(folder / "Jeu2.bin"));
    for (const GameLevelFiles& level : game.levels) {
      table(level.name + "1_lvl", swapped(readWholeFile(folder / (level.name + "1.lvl"))));
      table(level.name + "2_lvl", swapped(readWholeFile(folder / (level.name + "2.lvl"))));
    }
    EXPECT_EQ(readWholeFile(folder / "data"), expected);
    std::map<std::string, std::pair<std::string, long>> symbols = symbolsOf(nm, folder / "game.o");
    std::map<std::string, std::pair<std::string, long>> data;
    for (const auto& [symbol, typed] : symbols)
      if (typed.first != "a") data[symbol] = typed;
    EXPECT_EQ(data, labels);
    // The constants: the tile size and counts once, each level's map sizes.
    EXPECT_EQ(symbols["Jeu_TILE_SIZE"].second, c.tileSize);
    EXPECT_EQ(symbols["Jeu1_bin_TILES"].second,
              static_cast<long>(fs::file_size(folder / "Jeu1.bin")) / (4 * c.tileSize));
    for (const GameLevelFiles& level : game.levels) {
      EXPECT_EQ(symbols[level.name + "2_lvl_LENGTH"].second,
                static_cast<long>(fs::file_size(folder / (level.name + "2.lvl"))) / 2);
      EXPECT_EQ(symbols.count(level.name + "_FLIP_H_BIT"), c.flips ? 1u : 0u);
      EXPECT_EQ(symbols.count(level.name + "_TILE_SIZE"), 0u);
    }
  }
}

// A program that includes every header and writes every table back in its file's byte order.
std::string writeBackProgram(const std::vector<std::string>& levels) {
  std::string text = "#include <stdio.h>\n#include \"Jeu.h\"\n";
  for (const std::string& level : levels) text += "#include \"" + level + ".h\"\n";
  text += kPutValuesC;
  text += R"(
int main(void) {
  int failed = put("Jeu1.bin", Jeu1_bin, Jeu1_bin_LENGTH, 1) | put("Jeu2.bin", Jeu2_bin, Jeu2_bin_LENGTH, 1);
)";
  for (const std::string& l : levels)
    for (const char* plane : {"1", "2"})
      text += "  failed |= put(\"" + l + plane + ".lvl\", " + l + plane + "_lvl, " + l + plane + "_lvl_LENGTH, 0);\n";
  return text + "  return failed;\n}\n";
}

TEST(GameSources, CompiledIntoOneProgramWriteBackTheBinaryFiles) {
  const std::string cc = findProgram("cc");
  if (cc.empty()) GTEST_SKIP() << "no C compiler (cc) on PATH";
  for (const GameCase& c : kCases) {
    SCOPED_TRACE("tiles of " + std::to_string(c.tileSize) + (c.flips ? ", flips" : ""));
    TempFolder folder, written;
    const RandomGame game = convertGame(folder, c);
    std::vector<std::string> levels;
    std::vector<std::string> compile{cc, "-std=c99", "-Wall", "-Wextra", "-pedantic", "-Werror", "-o",
                                     folder / "writeback", folder / "main.c", folder / "Jeu.c"};
    for (const GameLevelFiles& level : game.levels) {
      levels.push_back(level.name);
      compile.push_back(folder / (level.name + ".c"));
    }
    std::ofstream(folder / "main.c") << writeBackProgram(levels);
    ToolRun run = runCommand(compile);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    run = runCommand({folder / "writeback"}, written.str());
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> files{"Jeu1.bin", "Jeu2.bin"};
    for (const std::string& l : levels) files.insert(files.end(), {l + "1.lvl", l + "2.lvl"});
    for (const std::string& file : files) EXPECT_EQ(readWholeFile(written / file), readWholeFile(folder / file)) << file;
    // Only the game's source holds tiles.
    for (const std::string& l : levels) EXPECT_EQ(readWholeFile(folder / (l + ".c")).find("_bin"), std::string::npos) << l;
  }
}

}  // namespace
}  // namespace tavrik::test
