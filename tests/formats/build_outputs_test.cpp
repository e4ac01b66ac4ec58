// --depfile and --summary-json, read back by the programs that consume them: GNU make and
// Python's json module.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "formats/format_fixtures.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

// A word of a make recipe as the shell must see it: single-quoted, with make's '$' doubled.
std::string recipeWord(const std::string& text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? "'\\''" : c == '$' ? "$$" : std::string(1, c);
  return word + "'";
}

void touch(const std::string& path) { fs::last_write_time(path, fs::file_time_type::clock::now()); }

// Two levels in one Makefile, each run writing its own dependency file, which the Makefile
// includes; the second level starts from the first one's bank. The first level's pictures sit
// in a folder whose name holds every character that make needs escaped. (Plain rules of
// several targets: make 4.3 -n does not pass a grouped rule's update on to what depends on its
// other targets.)
TEST(BuildOutputs, MakeRebuildsWhatDependsOnATouchedPictureAndNothingElse) {
  const std::string make = findProgram("make");
  if (make.empty()) GTEST_SKIP() << "make missing (package make)";
  const TempFolder build;
  const std::string odd = "pics A $#\\x:%[1]* \\";
  fs::create_directories(build / odd);
  fs::create_directories(build / "out");
  const std::vector<std::string> demo = demoPictures();
  std::vector<std::string> levelA, levelB;
  for (size_t k = 0; k < 3; ++k) {
    levelA.push_back(odd + "/" + fs::path(demo[k]).filename().string());
    fs::copy_file(demo[k], build / levelA.back());
    levelB.push_back("pics-b/" + fs::path(demo[k]).replace_extension(".png").filename().string());
  }
  fs::create_directories(build / "pics-b");
  for (const std::string& picture : levelB)
    fs::copy_file(TAVRIK_SOURCE_DIR "/resources/demo/" + fs::path(picture).filename().string(), build / picture);

  std::string makefile = "TOOL := " + toolPath() + "\n" +
                         "all: out/LvA.s out/LvB1.lvl\n"
                         "out/LvA.s out/LvA1.lvl out/LvA2.lvl out/LvA1.bin out/LvA2.bin:\n"
                         "\t$(TOOL) --quiet --format asm,bin --name LvA --output-dir out --depfile out/LvA.d";
  for (const std::string& picture : levelA) makefile += " " + recipeWord(picture);
  makefile += "\nout/LvB1.lvl out/LvB2.lvl out/LvB1.bin out/LvB2.bin: out/LvA1.bin out/LvA2.bin\n"
              "\t$(TOOL) --quiet --flips --bank out/LvA --name LvB --output-dir out --depfile out/LvB.d"
              " --summary-json out/LvB.json";
  for (const std::string& picture : levelB) makefile += " " + picture;
  makefile += "\n-include out/LvA.d out/LvB.d\n";
  std::ofstream(build / "Makefile") << makefile;

  const auto runMake = [&](const std::vector<std::string>& args) {
    std::vector<std::string> command{make, "--no-print-directory"};
    command.insert(command.end(), args.begin(), args.end());
    return runCommand(command, build.str());
  };
  // What `make -n` would run: the levels by name.
  const auto wouldRun = [&] {
    const ToolRun dry = runMake({"-n"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    std::string levels;
    for (const char* level : {"LvA", "LvB"})
      if (dry.out.find(std::string("--name ") + level) != std::string::npos) levels += level;
    return levels;
  };

  ToolRun first = runMake({});
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  ASSERT_TRUE(fs::exists(build / "out/LvA.d") && fs::exists(build / "out/LvB.d"));
  // Every prerequisite that the rules name exists under the name make reads back.
  EXPECT_EQ(runMake({"-q"}).status, 0);
  EXPECT_EQ(wouldRun(), "");

  const struct {
    std::string touched;
    std::string rebuilt;
  } cases[] = {{levelB[1], "LvB"}, {levelA[2], "LvALvB"}, {levelA[0], "LvALvB"}, {"out/LvA2.bin", "LvB"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.touched);
    touch(build / c.touched);
    EXPECT_EQ(wouldRun(), c.rebuilt);
    const ToolRun again = runMake({});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(runMake({"-q"}).status, 0);
  }
  // A file that no run reads changes nothing.
  std::ofstream(build / (odd + "/notes.txt")) << "x";
  EXPECT_EQ(wouldRun(), "");

  // Targets under awkward names: given the rule alone (and a recipe for any file), make knows
  // each file written as a target, out of date once a picture changes; a file that it knew no
  // rule for would stay up to date.
  std::ofstream(build / "c.mk") << "-include c.d\n%::\n\t@echo remade\n";
  for (const std::string oddOut : {"out C %$#:\\ x \\", "out D [x]*? #\\"}) {
    fs::create_directory(build / oddOut);
    std::vector<std::string> args{"--quiet", "--format", "bin,c", "--output-dir", oddOut, "--tiled", oddOut,
                                  "--depfile", "c.d"};
    args.insert(args.end(), levelB.begin(), levelB.end());
    ASSERT_EQ(runTool(args, build.str()).status, 0);
    const std::vector<std::string> written = TempFolder::entriesOf(build / oddOut);
    ASSERT_EQ(written.size(), 9u);
    for (const bool touched : {false, true}) {
      if (touched) touch(build / levelB[2]);
      for (const std::string& name : written) {
        const ToolRun r = runMake({"-f", "c.mk", oddOut + "/" + name});
        EXPECT_EQ(r.out == "remade\n", touched) << oddOut << "/" << name << ": " << r.out << r.err;
      }
    }
  }
}

// The summary flattened by Python's json module: "levels.0.sprite.new_tiles" -> "12".
std::map<std::string, std::string> readSummary(const std::string& path) {
  const std::string python = findProgram("python3");
  const ToolRun run = runCommand({python, "-c",
                                  "import json, sys\n"
                                  "def walk(value, key):\n"
                                  "    if isinstance(value, dict):\n"
                                  "        for name, item in value.items(): walk(item, key + '.' + name if key else name)\n"
                                  "    elif isinstance(value, list):\n"
                                  "        for i, item in enumerate(value): walk(item, key + '.' + str(i))\n"
                                  "    else:\n"
                                  "        print(key, json.dumps(value, ensure_ascii=False))\n"
                                  "walk(json.load(open(sys.argv[1], encoding='utf-8')), '')\n",
                                  path});
  EXPECT_EQ(run.status, 0) << run.err;
  std::map<std::string, std::string> values;
  for (const std::string& line : run.outLines()) values[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
  return values;
}

TEST(BuildOutputs, SummaryCountsAgreeWithTheFilesWritten) {
  if (findProgram("python3").empty()) GTEST_SKIP() << "python3 missing";
  const std::vector<std::string> demo = demoPictures();
  const std::string version = runTool({"--version"}).out;  // "tavrik-batch X.Y.Z\n"
  const TempFolder work;
  // The bank: the demo with other thresholds, so that the level adds tiles of its own.
  fs::create_directory(work / "bank");
  std::vector<std::string> bankArgs{"--quiet", "--thresholds", "1,2,3", "--name", "Bank", "--output-dir",
                                    work / "bank"};
  bankArgs.insert(bankArgs.end(), demo.begin(), demo.end());
  ASSERT_EQ(runTool(bankArgs).status, 0);
  const std::string bank = work / "bank/Bank";

  const struct Case {
    std::string name;
    int tileSize;
    std::vector<std::string> options;
    bool flips = false, banked = false;
    std::string budgets = "nullnull";
    std::string thresholds = "100,170,300";
  } cases[] = {
      {"Plain", 16, {}},
      {"Flips", 16, {"--flips"}, true},
      {"Banked", 16, {"--bank", bank, "--max-tiles", "900,1000", "--thresholds", "90,180,290"}, false, true, "9001000",
       "90,180,290"},
      {"Small", 8, {"--tile-size", "8", "--flips", "--format", "c,bin", "--max-tiles", "4000,4000"}, true, false,
       "40004000"},
  };
  std::map<std::string, std::map<std::string, std::string>> summaries;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directory(work / c.name);
    const std::string out = work / c.name, json = work / (c.name + ".json");
    std::vector<std::string> args{"--quiet", "--name", c.name, "--output-dir", out, "--summary-json", json};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), demo.begin(), demo.end());
    const ToolRun run = runTool(args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> s = readSummary(json);
    summaries[c.name] = s;
    const long S = c.tileSize;
    EXPECT_EQ("tavrik-batch " + s["version"].substr(1, s["version"].size() - 2) + "\n", version);
    EXPECT_EQ(s["tile_size"], std::to_string(S));
    EXPECT_EQ(s["thresholds.0"] + "," + s["thresholds.1"] + "," + s["thresholds.2"], c.thresholds);
    EXPECT_EQ(s["levels.0.name"], "\"" + c.name + "\"");
    EXPECT_EQ(s["levels.0.width"] + "x" + s["levels.0.height"], "512x224");
    EXPECT_EQ(s["lists.sprite.budget"] + s["lists.background.budget"], c.budgets);
    EXPECT_EQ(s.count("levels.1.name"), 0u);
    for (const std::string plane : {"sprite", "background"}) {
      SCOPED_TRACE(plane);
      const std::string n = plane == "sprite" ? "1" : "2";
      const std::string level = "levels.0." + plane + ".";
      EXPECT_EQ(s[level + "map_width"] + "x" + s[level + "map_height"],
                std::to_string(512 / S) + "x" + std::to_string(224 / S));
      const long tiles = std::stol(s["lists." + plane + ".tiles"]);
      EXPECT_EQ(tiles * 4 * S, static_cast<long>(fs::file_size(out + "/" + c.name + n + ".bin")));
      const long bankTiles = std::stol(s[level + "bank_tiles"]);
      EXPECT_EQ(bankTiles * 4 * S, c.banked ? static_cast<long>(fs::file_size(bank + n + ".bin")) : 0L);
      EXPECT_EQ(bankTiles + std::stol(s[level + "new_tiles"]), tiles);
      if (c.banked) {
        EXPECT_GT(std::stol(s[level + "new_tiles"]), 0);
      }
      if (!c.flips) {
        EXPECT_EQ(s[level + "saved_by_mirroring"], "0");
      }
    }
    // Every file of the output folder, with its size, and nothing else.
    std::vector<std::string> listed;
    for (size_t k = 0; s.count("files." + std::to_string(k) + ".path"); ++k) {
      const std::string path = s["files." + std::to_string(k) + ".path"];
      listed.push_back(fs::path(path.substr(1, path.size() - 2)).filename().string());
      EXPECT_EQ(std::stoul(s["files." + std::to_string(k) + ".bytes"]), fs::file_size(out + "/" + listed.back()));
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, TempFolder::entriesOf(out));
  }
  // Mirroring saves exactly the tiles that the run without it keeps in addition.
  for (const std::string plane : {"sprite", "background"})
    EXPECT_EQ(std::stol(summaries["Plain"]["lists." + plane + ".tiles"]),
              std::stol(summaries["Flips"]["lists." + plane + ".tiles"]) +
                  std::stol(summaries["Flips"]["levels.0." + plane + ".saved_by_mirroring"]));
}


TEST(BuildOutputs, ReportFilesAreCheckedFirstAndWrittenOnlyAfterASuccess) {
  const TempFolder folder, out;
  std::vector<std::string> pictures;
  for (const std::string& picture : demoPictures()) {
    pictures.push_back(folder / fs::path(picture).filename().string());
    fs::copy_file(picture, pictures.back());
  }
  fs::create_directory(folder / "bank");
  std::vector<std::string> bankArgs{"--quiet", "--output-dir", folder / "bank"};
  bankArgs.insert(bankArgs.end(), pictures.begin(), pictures.end());
  ASSERT_EQ(runTool(bankArgs).status, 0);
  fs::create_directory(folder / "a;b");
  fs::create_directory(folder / "a|b");
  const std::string dep = folder / "run.d", json = folder / "run.json";
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.end(), pictures.begin(), pictures.end());
    return runTool(args);
  };

  const struct {
    std::vector<std::string> args;
    std::string message;
  } refused[] = {
      {{"--depfile", pictures[1]}, "le fichier « " + pictures[1] + " » (--depfile) est une des images d'entrée"},
      {{"--summary-json", out / "Demo1.bin"},
       "le fichier « " + (out / "Demo1.bin") + " » (--summary-json) est aussi un fichier de sortie (--output-dir)"},
      {{"--format", "bin,asm", "--depfile", out / "./Demo.s"},
       "le fichier « " + (out / "./Demo.s") + " » (--depfile) est aussi un fichier de sortie (--output-dir)"},
      {{"--tiled", out.str(), "--depfile", out / "Demo.tmx"},
       "le fichier « " + (out / "Demo.tmx") + " » (--depfile) est aussi un fichier de sortie (--tiled)"},
      {{"--bank", folder / "bank/Demo", "--summary-json", folder / "bank/Demo2.bin"},
       "le fichier « " + (folder / "bank/Demo2.bin") + " » (--summary-json) est un fichier de la banque (--bank)"},
      {{"--depfile", dep, "--summary-json", folder / "./run.d"},
       "le fichier « " + (folder / "./run.d") + " » (--summary-json) est aussi celui de --depfile"},
      {{"--depfile", folder / "none/run.d"}, "dossier introuvable pour --depfile : « " + (folder / "none") + " »"},
      {{"--summary-json", folder / "bank/"}, "le fichier « " + (folder / "bank/") + " » (--summary-json) est un dossier"},
      {{"--depfile", dep, "--tiled", folder / "a;b"},
       "le chemin « " + (folder / "a;b/Demo.tmx") + " » ne peut pas figurer dans une règle make (--depfile)"},
      {{"--depfile", dep, "--save-images", folder / "a|b"},
       "le chemin « " + (folder / "a|b/sprite-plane.bmp") + " » ne peut pas figurer dans une règle make (--depfile)"},
      {{"--depfile", dep, "--summary-json", folder / "%*.json"},
       "le chemin « " + (folder / "%*.json") + " » ne peut pas figurer dans une règle make (--depfile)"},
      {{"--depfile", dep, "--depfile", dep}, "l'option --depfile est donnée deux fois"},
      {{"--summary-json="}, "l'option --summary-json demande un nom de fichier"},
  };
  for (const auto& r : refused) {
    std::vector<std::string> args{"--output-dir", out.str()};
    args.insert(args.end(), r.args.begin(), r.args.end());
    const ToolRun result = run(args);
    EXPECT_EQ(result.status, 2) << r.message;
    EXPECT_EQ(result.err, "tavrik-batch: " + r.message + " (voir tavrik-batch --help)\n");
  }
  // Beside --render, and beside --game (whose runner does not report to them yet).
  EXPECT_EQ(runTool({"--depfile", dep, "--render", folder / "r.png", "--maps", folder / "bank/Demo"}).err,
            "tavrik-batch: l'option --depfile ne sert pas avec --render (voir tavrik-batch --help)\n");
  EXPECT_EQ(runTool({"--game", folder / "g.toml", "--summary-json", json}).err,
            "tavrik-batch: l'option --summary-json ne se combine pas encore avec --game (voir tavrik-batch --help)\n");
  EXPECT_TRUE(out.entries().empty());
  EXPECT_FALSE(fs::exists(dep) || fs::exists(json));

  // A failed run leaves the dependency file of the last success alone, and writes no summary.
  std::ofstream(dep) << "old rule\n";
  const ToolRun failed = run({"--output-dir", out.str(), "--max-tiles", "1,1", "--depfile", dep, "--summary-json", json});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(readWholeFile(dep), "old rule\n");
  EXPECT_FALSE(fs::exists(json));

  // A success names both among the files written, after the conversion's.
  const ToolRun done = run({"--output-dir", out.str(), "--depfile", dep, "--summary-json", json});
  ASSERT_EQ(done.status, 0) << done.err;
  std::string listed;
  for (const std::string& line : done.outLines())
    if (line.rfind("  /", 0) == 0) listed += line.substr(2, line.find(" (") - 2) + " ";
  std::string outputs;
  for (const char* name : {"Demo1.lvl", "Demo2.lvl", "Demo1.bin", "Demo2.bin"}) outputs += out / name + " ";
  EXPECT_EQ(listed, outputs + json + " " + dep + " ");
  std::string rule = readWholeFile(dep);
  for (size_t at; (at = rule.find(" \\\n")) != std::string::npos;) rule.replace(at, 3, "");
  EXPECT_EQ(rule, outputs + json + ": " + pictures[0] + " " + pictures[1] + " " + pictures[2] + "\n");
}

}  // namespace
}  // namespace tavrik::test
