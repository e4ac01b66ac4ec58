// tavrik-batch --game: a game is, byte for byte, the chain of single runs that each take the files
// of the one before as --bank; and a bad game file is refused before anything is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "cli/batch_run.h"
#include "game_fixtures.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

struct InProcess {
  int status = -1;
  std::string out, err;
};

InProcess runInProcess(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  batch::Console console{out, err, false};
  InProcess run;
  run.status = batch::runCommandLine(args, console);
  run.out = out.str();
  run.err = err.str();
  return run;
}

std::map<std::string, std::string> filesIn(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().filename().string()] = readWholeFile(entry.path());
  return files;
}

TEST(Game, EqualsTheChainOfSingleRunsOnRandomGames) {
  const ScopedUnsyncedOutputs unsynced;
  std::mt19937 rng(2026);
  for (int round = 0; round < 40; ++round) {
    const int levels = 1 + static_cast<int>(rng() % 6), S = rng() % 2 ? 16 : 8;
    const bool flips = rng() % 2, bank = rng() % 2;
    SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(levels) + " levels, tiles of " +
                 std::to_string(S) + (flips ? ", flips" : "") + (bank ? ", bank" : ""));
    TempFolder folder;
    // Sometimes a map layout other than the default.
    std::vector<std::string> layout;
    std::string keys = "output-dir = \"game\"\n";
    if (rng() % 3 == 0) {
      const std::string a = std::to_string(rng() % 100), b = std::to_string(rng() % 100);
      layout.insert(layout.end(), {"--tile-base", a + "," + b});
      keys += "tile-base = [" + a + ", " + b + "]\n";
    }
    if (rng() % 3 == 0) {
      layout.insert(layout.end(), {"--map-order", "columns"});
      keys += "map-order = \"columns\"\n";
    }
    const RandomGame game =
        writeRandomGame(folder.str(), static_cast<unsigned>(rng()), levels, S, flips, bank, "Jeu", keys);
    fs::create_directory(folder / "game");
    fs::create_directory(folder / "chain");

    const InProcess whole = runInProcess({"--quiet", "--game", folder / "game.toml"});

    // The chain: each level with the files of the one before as its bank.
    InProcess single;
    std::optional<std::string> previous = game.bank ? std::optional(folder / *game.bank) : std::nullopt;
    for (const GameLevelFiles& level : game.levels) {
      std::vector<std::string> args{"--quiet", "--name", level.name, "--tile-size", std::to_string(S),
                                    "--output-dir", folder / "chain"};
      if (flips) args.push_back("--flips");
      args.insert(args.end(), layout.begin(), layout.end());
      if (previous) args.insert(args.end(), {"--bank", *previous});
      args.insert(args.end(), {folder / level.sprites, folder / level.background, folder / level.full});
      single = runInProcess(args);
      if (single.status != 0) break;
      previous = (folder.path() / "chain" / level.name).string();
    }
    ASSERT_EQ(whole.status, single.status) << whole.err << single.err;
    if (single.status != 0) continue;  // a list too large for its records: refused both ways

    std::map<std::string, std::string> expected;
    const std::map<std::string, std::string> chain = filesIn(folder / "chain");
    for (const GameLevelFiles& level : game.levels)
      for (const char* plane : {"1.lvl", "2.lvl"}) expected[level.name + plane] = chain.at(level.name + plane);
    for (const char* plane : {"1.bin", "2.bin"}) expected[std::string("Jeu") + plane] = chain.at(game.levels.back().name + plane);
    EXPECT_EQ(filesIn(folder / "game"), expected);
  }
}

TEST(Game, TheSummaryGivesEachLevelsCountsAndTheGamesAgreeWithTheFiles) {
  TempFolder folder;
  const RandomGame game = writeRandomGame(folder.str(), 11, 3, 8, true, true, "Jeu", "formats = [\"bin\", \"asm\"]\n");
  const InProcess run = runInProcess({"--game", folder / "game.toml"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = ToolRun::lines(run.out);
  // Per level: its sprite plane and size, its two lists; each list's count is the one before
  // plus what the level added.
  int sprites = static_cast<int>(fs::file_size(folder / "depart1.bin")) / 32;
  size_t at = 0;
  for (const GameLevelFiles& level : game.levels) {
    while (at < lines.size() && lines[at].rfind("Niveau " + level.name + " : ", 0) != 0) ++at;
    ASSERT_LT(at + 2, lines.size()) << run.out;
    EXPECT_NE(lines[at].find(level.sprites), std::string::npos) << lines[at];
    int count = 0, added = 0;
    ASSERT_EQ(std::sscanf(lines[at + 1].c_str(), "  Nombre de sprites (plan de sprites) : %d (%d", &count, &added), 2)
        << lines[at + 1];
    EXPECT_EQ(count, sprites + added) << level.name;
    sprites = count;
  }
  const auto has = [&](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has("Jeu Jeu : 3 niveaux")) << run.out;
  EXPECT_TRUE(has("Nombre de sprites (plan de sprites) : " + std::to_string(fs::file_size(folder / "Jeu1.bin") / 32)));
  EXPECT_EQ(sprites, static_cast<int>(fs::file_size(folder / "Jeu1.bin") / 32));
  EXPECT_TRUE(has("Nombre de sprites (arrière-plan) : " + std::to_string(fs::file_size(folder / "Jeu2.bin") / 32)));
  for (const std::string name : {"Niv11.lvl", "Niv3.s", "Jeu2.bin", "Jeu.s"})
    EXPECT_TRUE(has("  " + (folder / name) + " (" + std::to_string(fs::file_size(folder / name)) + " octets)")) << name;
}

TEST(Game, AFailureNamesTheLevelAndChangesNoOutput) {
  struct Case {
    const char* what;
    std::string extra;                        // keys of the game file
    std::function<void(const TempFolder&)> spoil;  // after the game is written
    std::string error;                        // the whole line on standard error
  };
  const Case cases[] = {
      {"bad picture in the third level", "",
       [](const TempFolder& f) { std::ofstream(f / "Niv3-b.bmp", std::ios::trunc) << "BM not a bitmap"; },
       "tavrik-batch: niveau « Niv3 » : "},
      {"budget", "max-tiles = [0, 1000]\n", [](const TempFolder&) {},
       "tavrik-batch: niveau « Niv1 » : Trop de tuiles dans la liste des sprites : "},
      {"file that cannot be created", "",
       [](const TempFolder& f) { fs::create_directory(f / "out/Niv42.lvl"); },
       "tavrik-batch: niveau « Niv4 » : Impossible de créer le fichier "},
      {"missing starting bank", "", [](const TempFolder& f) { fs::remove(f / "depart2.bin"); },
       "tavrik-batch: Impossible d'ouvrir le fichier "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    fs::create_directory(folder / "out");
    writeRandomGame(folder.str(), 5, 5, 16, false, true, "Jeu", "output-dir = \"out\"\n" + c.extra);
    // An earlier game's files stay as they were.
    std::ofstream(folder / "out/Jeu1.bin") << "old";
    std::ofstream(folder / "out/Niv11.lvl") << "old";
    c.spoil(folder);
    const std::map<std::string, std::string> before = filesIn(folder / "out");
    const InProcess run = runInProcess({"--game", folder / "game.toml"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ToolRun::lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind(c.error, 0), 0u) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(filesIn(folder / "out"), before);
  }
}

}  // namespace
}  // namespace tavrik::test
