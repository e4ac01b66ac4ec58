// tavrik-batch as a program: exit statuses, messages and files, through a child process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "cli/batch_run.h"
#include "imaging/bitmap_file.h"
#include "imaging/picture_file.h"
#include "run_tool.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kDemo = TAVRIK_SOURCE_DIR "/resources/demo/";
const std::string kClosing = "Les fichiers ont été enregistrés avec l'image : ";
const std::vector<std::string> kDemoOutputs = {"Demo1.bin", "Demo1.lvl", "Demo2.bin", "Demo2.lvl"};

std::vector<std::string> demoFiles() {
  return {kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"};
}

std::vector<std::string> withDemo(std::vector<std::string> options) {
  for (const std::string& f : demoFiles()) options.push_back(f);
  return options;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

Surface loadBitmap(const std::string& path) {
  const std::string bytes = readWholeFile(path);
  return decodeBitmap(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// The number after "label : " in the summary.
int summaryCount(const ToolRun& run, const std::string& label) {
  for (const std::string& line : run.outLines())
    if (line.rfind(label + " : ", 0) == 0) return std::stoi(line.substr(label.size() + 3));
  ADD_FAILURE() << "no line " << label << " in\n" << run.out;
  return -1;
}

// A failed run: the documented status, nothing on standard output, exactly one line on standard
// error, prefixed with the program name.
void expectOneLineFailure(const ToolRun& run, int status, const std::string& context) {
  EXPECT_EQ(run.status, status) << context << "\n" << run.err;
  EXPECT_EQ(run.out, "") << context;
  ASSERT_EQ(run.errLines().size(), 1u) << context << "\n" << run.err;
  EXPECT_EQ(run.err.rfind("tavrik-batch: ", 0), 0u) << context << "\n" << run.err;
}

// "tavrik-batch X.Y.Z" and a line break.
bool isVersionLine(const std::string& text) {
  const std::string head = "tavrik-batch ";
  if (text.rfind(head, 0) != 0 || text.back() != '\n') return false;
  const std::string version = text.substr(head.size(), text.size() - head.size() - 1);
  int dots = 0;
  bool digitBefore = false;
  for (const char c : version) {
    if (c == '.') {
      if (!digitBefore) return false;
      ++dots;
      digitBefore = false;
    } else if (c >= '0' && c <= '9') {
      digitBefore = true;
    } else {
      return false;
    }
  }
  return dots == 2 && digitBefore;
}

TEST(Tool, HelpAndVersion) {
  const ToolRun help = runTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.err, "");
  EXPECT_EQ(help.out.rfind("Usage : tavrik-batch [OPTIONS] SPRITES", 0), 0u) << help.out;
  for (const char* word : {"--name", "--thresholds", "--tile-size", "--steps", "--output-dir",
                           "--save-images", "--quiet", "Codes de sortie"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;

  const ToolRun version = runTool({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(isVersionLine(version.out)) << version.out;
}

TEST(Tool, BadUsageExitsTwoWithOneLineAndWritesNothing) {
  TempFolder cwd;
  writeFile(cwd / "plain-file", "x");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"a.bmp"},
      {"--frobnicate", "a.bmp", "b.bmp", "c.bmp"},
      withDemo({"--name", "Niveau12"}),
      withDemo({"--name", "ééééééééé"}),
      withDemo({"--name", "../x"}),
      withDemo({"--thresholds", "un,deux,trois"}),
      withDemo({"--thresholds", "100,170,2000"}),
      withDemo({"--thresholds", "100,170"}),
      withDemo({"--tile-size", "32"}),
      withDemo({"--steps", "cutout,magic"}),
      withDemo({"--output-dir", cwd / "absent"}),
      withDemo({"--output-dir", cwd / "plain-file"}),
      withDemo({"--save-images", cwd / "absent"}),
  };
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += " " + a;
    expectOneLineFailure(runTool(args, cwd.str()), 2, joined);
  }
  EXPECT_EQ(cwd.entries(), std::vector<std::string>{"plain-file"});
  // The messages say what was wrong, in French.
  EXPECT_NE(runTool(withDemo({"--steps", "zoom"})).err.find("étape inconnue : « zoom »"),
            std::string::npos);
  EXPECT_NE(runTool({"a.bmp"}).err.find("(voir tavrik-batch --help)"), std::string::npos);
}

TEST(Tool, DemoSceneDefaultRun) {
  TempFolder cwd;
  const ToolRun run = runTool(demoFiles(), cwd.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no progress bars; every cell found its tile
  EXPECT_EQ(cwd.entries(), kDemoOutputs);
  ASSERT_FALSE(run.outLines().empty());
  EXPECT_EQ(run.outLines().back(), kClosing + kDemo + "1-sprites.bmp");

  // 512 x 224 pixels: 32 x 14 cells of 2 bytes; 64 bytes per unique tile.
  const int sprites = summaryCount(run, "Nombre de sprites (plan de sprites)");
  const int background = summaryCount(run, "Nombre de sprites (arrière-plan)");
  EXPECT_EQ(fs::file_size(cwd / "Demo1.lvl"), 896u);
  EXPECT_EQ(fs::file_size(cwd / "Demo2.lvl"), 896u);
  EXPECT_EQ(fs::file_size(cwd / "Demo1.bin"), 64u * static_cast<unsigned>(sprites));
  EXPECT_EQ(fs::file_size(cwd / "Demo2.bin"), 64u * static_cast<unsigned>(background));
  // The scene repeats its tiles: far fewer unique tiles than the 448 cells, but more than one.
  EXPECT_GT(sprites, 5);
  EXPECT_LT(sprites, 40);
  EXPECT_GT(background, 20);
  EXPECT_LT(background, 200);
  // The summary lists the files with their sizes.
  EXPECT_NE(run.out.find("Demo1.lvl (896 octets)"), std::string::npos) << run.out;

  // Every map index names a tile of its list.
  for (const auto& [lvl, count] : {std::pair{"Demo1.lvl", sprites}, std::pair{"Demo2.lvl", background}}) {
    const std::string bytes = readWholeFile(cwd / lvl);
    std::set<int> used;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      used.insert(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    EXPECT_LT(*used.rbegin(), count) << lvl;
    EXPECT_EQ(static_cast<int>(used.size()), count) << lvl << ": every unique tile is used";
  }
}

TEST(Tool, StepsRunInTheWindowOrderWhateverTheOrderGiven) {
  TempFolder reference, shuffled;
  ASSERT_EQ(runTool(withDemo({"--quiet"}), reference.str()).status, 0);
  const ToolRun run = runTool(
      withDemo({"--quiet", "--steps", "maps,optimise,lists,overlay,mask,grey,cutout,maps"}),
      shuffled.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");  // --quiet
  ASSERT_EQ(shuffled.entries(), kDemoOutputs);
  for (const std::string& name : kDemoOutputs)
    EXPECT_EQ(readWholeFile(shuffled / name), readWholeFile(reference / name)) << name;
}

TEST(Tool, EightPixelTilesNameAndOutputFolder) {
  TempFolder cwd;
  fs::create_directory(cwd / "sortie é");
  const ToolRun run = runTool(withDemo({"--tile-size", "8", "--name", "Niv é", "--output-dir",
                                        cwd / "sortie é"}),
                              cwd.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(cwd.entries(), std::vector<std::string>{"sortie é"});
  const fs::path out = cwd.path() / "sortie é";
  // 64 x 28 cells; 8 rows of 4 bytes per tile.
  EXPECT_EQ(fs::file_size(out / "Niv é1.lvl"), 3584u);
  EXPECT_EQ(fs::file_size(out / "Niv é2.lvl"), 3584u);
  EXPECT_EQ(fs::file_size(out / "Niv é1.bin"),
            32u * static_cast<unsigned>(summaryCount(run, "Nombre de sprites (plan de sprites)")));
  EXPECT_EQ(fs::file_size(out / "Niv é2.bin"),
            32u * static_cast<unsigned>(summaryCount(run, "Nombre de sprites (arrière-plan)")));
}

TEST(Tool, ThresholdsReachTheGreyPass) {
  // With every threshold at 0, every pixel is white; the sprite plane after the virtual mask is
  // silver or white, the background plane one white tile.
  TempFolder cwd;
  const ToolRun run = runTool(withDemo({"--thresholds", "0,0,0"}), cwd.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(summaryCount(run, "Nombre de sprites (arrière-plan)"), 1);
  EXPECT_EQ(fs::file_size(cwd / "Demo2.bin"), 64u);
}

TEST(Tool, LoadOnlyWritesNoFiles) {
  TempFolder cwd;
  const ToolRun run = runTool(withDemo({"--steps", "none"}), cwd.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(cwd.entries().empty());
  EXPECT_EQ(run.out.find(kClosing), std::string::npos);
  EXPECT_NE(run.out.find("Plan de sprites : " + kDemo + "1-sprites.bmp (512 x 224)"),
            std::string::npos)
      << run.out;
}

TEST(Tool, SaveImagesAfterAWholeRun) {
  TempFolder cwd, images;
  const ToolRun run = runTool(withDemo({"--save-images", images.str()}), cwd.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(cwd.entries(), kDemoOutputs);
  const std::vector<std::string> expected = {
      "background-list.bmp", "background-map.bmp", "background-plane.bmp", "full-plane.bmp",
      "scratch-strip.bmp",   "sprite-list.bmp",    "sprite-map.bmp",       "sprite-plane.bmp"};
  EXPECT_EQ(images.entries(), expected);
  EXPECT_EQ(run.outLines().back(), kClosing + kDemo + "1-sprites.bmp");

  // After the virtual mask the sprite plane holds only the output's four greys, and white
  // (transparent) dominates.
  const Surface plane = loadBitmap(images / "sprite-plane.bmp");
  ASSERT_EQ(plane.width(), 512);
  ASSERT_EQ(plane.height(), 224);
  std::map<Colour, int> histogram;
  for (const Colour c : plane.pixels()) ++histogram[c];
  for (const auto& [colour, count] : histogram)
    EXPECT_TRUE(colour == clWhite || colour == clSilver || colour == clGray || colour == clBlack)
        << std::hex << colour;
  EXPECT_GT(histogram[clWhite], 512 * 224 * 9 / 10);
  EXPECT_GT(histogram[clBlack], 0);
  // The sprite list is one tile high and holds the unique tiles side by side.
  const Surface list = loadBitmap(images / "sprite-list.bmp");
  EXPECT_GE(list.width(), 16 * summaryCount(run, "Nombre de sprites (plan de sprites)"));
}

TEST(Tool, StepsNoneWritesBackTheLoadedPixelsOfEveryGoodSuiteFile) {
  const fs::path suite = fs::path(TAVRIK_SHARED_DIR) / "testdata" / "bmpsuite";
  std::ifstream table(suite / "expected.tsv");
  if (!table) GTEST_SKIP() << "shared BMP suite not found in " << suite;
  std::string line;
  std::getline(table, line);  // header
  int checked = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string path, outcome, width, height;
    std::getline(fields, path, '\t');
    std::getline(fields, outcome, '\t');
    std::getline(fields, width, '\t');
    std::getline(fields, height, '\t');
    if (outcome != "load") continue;
    SCOPED_TRACE(path);
    const std::string file = (suite / path).string();
    TempFolder images;
    const ToolRun run = runTool({"--steps", "none", "--quiet", "--save-images", images.str(), file,
                                 file, file});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const Picture loaded = loadPictureFile(file);
    ASSERT_TRUE(loaded.surface);
    EXPECT_EQ(loaded.surface->width(), std::stoi(width));
    EXPECT_EQ(loaded.surface->height(), std::stoi(height));
    EXPECT_EQ(images.entries(),
              (std::vector<std::string>{"background-plane.bmp", "full-plane.bmp", "sprite-plane.bmp"}));
    for (const char* name : {"sprite-plane.bmp", "background-plane.bmp", "full-plane.bmp"}) {
      const Surface saved = loadBitmap(images / name);
      ASSERT_EQ(saved.width(), loaded.surface->width()) << name;
      ASSERT_EQ(saved.height(), loaded.surface->height()) << name;
      EXPECT_TRUE(saved.pixels() == loaded.surface->pixels()) << name;
    }
    ++checked;
  }
  EXPECT_GT(checked, 30);
}

// --- Bad input: one French line, the documented status, never a crash, never files. ---

TEST(ToolBadInput, MissingFolderAndForeignFiles) {
  TempFolder cwd;
  fs::create_directory(cwd / "dossier.bmp");
  writeFile(cwd / "photo.jpg", "not read");
  writeFile(cwd / "garbage.bmp", std::string(64, 'x'));
  writeFile(cwd / "short.bmp", "BM");
  const std::string demoSprites = kDemo + "1-sprites.bmp", demoBack = kDemo + "2-background.bmp";
  const struct {
    std::string file;
    std::string message;  // empty: any one line
  } cases[] = {
      {cwd / "absent.bmp", "Impossible d'ouvrir le fichier " + (cwd / "absent.bmp") + "."},
      {cwd / "dossier.bmp", ""},
      {cwd / "photo.jpg", "Extension de fichier graphique inconnue (.jpg)"},
      {cwd / "garbage.bmp", "Image bitmap incorrecte."},
      {cwd / "short.bmp", "Erreur de lecture du flux."},
  };
  for (const auto& c : cases) {
    // The bad file in each of the three places.
    for (int place = 0; place < 3; ++place) {
      std::vector<std::string> files = demoFiles();
      files[static_cast<size_t>(place)] = c.file;
      const ToolRun run = runTool(files, cwd.str());
      expectOneLineFailure(run, 1, c.file);
      if (!c.message.empty()) {
        EXPECT_EQ(run.err, "tavrik-batch: " + c.message + "\n");
      }
    }
  }
  EXPECT_EQ(cwd.entries(),
            (std::vector<std::string>{"dossier.bmp", "garbage.bmp", "photo.jpg", "short.bmp"}));
}

TEST(ToolBadInput, UnreadableFile) {
  // Root reads any file: then the tool runs as an ordinary user.
  const bool asRoot = geteuid() == 0;
  if (asRoot && !fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "root without setpriv";
  TempFolder cwd;
  fs::permissions(cwd.path(), fs::perms::others_read | fs::perms::others_exec,
                  fs::perm_options::add);
  fs::copy_file(kDemo + "1-sprites.bmp", cwd / "locked.bmp");
  fs::permissions(cwd / "locked.bmp", fs::perms::none);
  std::vector<std::string> files = demoFiles();
  files[0] = cwd / "locked.bmp";
  std::vector<std::string> command;
  if (asRoot) command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  command.push_back(toolPath());
  command.insert(command.end(), files.begin(), files.end());
  const ToolRun run = runCommand(command, cwd.str());
  if (asRoot && run.err.rfind("setpriv", 0) == 0)
    GTEST_SKIP() << "the tool is not reachable by an ordinary user: " << run.err;
  expectOneLineFailure(run, 1, "locked");
  EXPECT_EQ(run.err, "tavrik-batch: Impossible d'ouvrir le fichier " + (cwd / "locked.bmp") + ".\n");
}

TEST(ToolBadInput, PathsWithSpacesAndNonAsciiCharacters) {
  TempFolder cwd;
  fs::create_directories(cwd / "niveau à tester/plans");
  const std::string folder = cwd / "niveau à tester/plans";
  const std::vector<std::string> names = {"sprites été.bmp", "arrière plan.bmp", "plan complet.BMP"};
  for (size_t i = 0; i < 3; ++i) fs::copy_file(demoFiles()[i], folder + "/" + names[i]);
  // Relative paths, as typed in the folder.
  const ToolRun run = runTool({"--name", "Été 1", "niveau à tester/plans/" + names[0],
                               "niveau à tester/plans/" + names[1],
                               "niveau à tester/plans/" + names[2]},
                              cwd.str());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.outLines().back(), kClosing + "niveau à tester/plans/sprites été.bmp");
  for (const char* f : {"Été 11.lvl", "Été 12.lvl", "Été 11.bin", "Été 12.bin"})
    EXPECT_TRUE(fs::exists(cwd.path() / f)) << f;
}

TEST(ToolBadInput, IconFailsAtTheFirstStepThatTouchesItsPixels) {
  TempFolder cwd;
  writeFile(cwd / "icone.ico", std::string("\0\0\1\0\0\0", 6));
  std::vector<std::string> files = demoFiles();
  files[2] = cwd / "icone.ico";
  // Loading only: an icon loads.
  EXPECT_EQ(runTool({"--steps", "none", files[0], files[1], files[2]}, cwd.str()).status, 0);
  const ToolRun run = runTool(files, cwd.str());
  expectOneLineFailure(run, 1, "icon");
  EXPECT_EQ(run.err,
            "tavrik-batch: Impossible de modifier que les images comportant un bitmap.\n");
  EXPECT_EQ(cwd.entries(), std::vector<std::string>{"icone.ico"});
}

TEST(ToolBadInput, FailedStepStopsTheRoadButTheImagesAreSaved) {
  TempFolder cwd, images;
  // Optimising before the lists exist divides by the tile size, still 0.
  const ToolRun run =
      runTool(withDemo({"--steps", "cutout,optimise,maps", "--save-images", images.str()}),
              cwd.str());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "tavrik-batch: Division par zéro.\n");
  EXPECT_TRUE(cwd.entries().empty());  // maps never ran
  // Standard output lists what was written all the same.
  EXPECT_EQ(run.out, "Images enregistrées :\n  " + (images / "sprite-plane.bmp") +
                         " (344118 octets)\n  " + (images / "background-plane.bmp") +
                         " (344118 octets)\n  " + (images / "full-plane.bmp") + " (344118 octets)\n");
  // The planes show how far the conversion went: the cut-out ran.
  EXPECT_EQ(images.entries(),
            (std::vector<std::string>{"background-plane.bmp", "full-plane.bmp", "sprite-plane.bmp"}));
  const Surface plane = loadBitmap(images / "sprite-plane.bmp");
  EXPECT_EQ(plane.read(0, 0), clFuchsia);
}

TEST(ToolBadInput, OutputThatCannotBeCreatedIsAFailure) {
  TempFolder cwd;
  // A folder where the first map file should go: it cannot be opened for writing, even by root.
  fs::create_directory(cwd / "Demo1.lvl");
  const ToolRun run = runTool(demoFiles(), cwd.str());
  expectOneLineFailure(run, 1, "Demo1.lvl is a folder");
  EXPECT_EQ(run.out.find(kClosing), std::string::npos);
}

TEST(ToolWarnings, UnmatchedCellsAndPlanesOfDifferentSizes) {
  // Without the virtual mask the transparent tiles are left out of the sprite list, so the cells
  // whose top-left pixel is transparent match nothing: a warning, and the files all the same.
  TempFolder cwd;
  ToolRun run = runTool(withDemo({"--quiet", "--steps", "cutout,grey,lists,optimise,maps"}),
                        cwd.str());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(cwd.entries(), kDemoOutputs);
  ASSERT_EQ(run.errLines().size(), 1u) << run.err;
  const std::string warning = run.errLines()[0];
  const std::string head = "tavrik-batch: attention : ";
  const std::string tail = " cases de la carte des sprites sans tuile correspondante dans la liste";
  ASSERT_GT(warning.size(), head.size() + tail.size()) << warning;
  EXPECT_EQ(warning.substr(0, head.size()), head);
  EXPECT_EQ(warning.substr(warning.size() - tail.size()), tail);
  const std::string count = warning.substr(head.size(), warning.size() - head.size() - tail.size());
  EXPECT_EQ(count.find_first_not_of("0123456789"), std::string::npos) << warning;
  EXPECT_GT(std::stoi(count), 100) << "the sky alone is over 100 transparent cells";

  // Planes of different sizes are processed as the window would, with a warning.
  const fs::path small = fs::path(TAVRIK_SHARED_DIR) / "testdata/bmpsuite/g/rgb24.bmp";
  if (!fs::exists(small)) GTEST_SKIP() << "shared BMP suite not found";
  std::vector<std::string> files = demoFiles();
  files[1] = small.string();
  run = runTool({"--quiet", "--steps", "cutout,grey", files[0], files[1], files[2]}, cwd.str());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "tavrik-batch: attention : les trois images n'ont pas la même taille (512 x 224, "
            "127 x 64, 512 x 224)\n");
}

TEST(ToolInProcess, AnOutputThatCannotBeWrittenIsAFailure) {
  for (const std::vector<std::string>& args :
       {withDemo({"--steps", "none"}), std::vector<std::string>{"--help"}}) {
    std::ostringstream out, err;
    out.setstate(std::ios::badbit);
    batch::Console console{out, err, false};
    EXPECT_EQ(batch::runCommandLine(args, console), 1) << args[0];
    EXPECT_EQ(err.str(), "tavrik-batch: écriture impossible sur la sortie standard\n");
  }
}

// In-process: the options reach the window's controls in the workspace.
TEST(ToolInProcess, OptionsSetTheWindowControls) {
  const batch::ParseResult parsed = batch::parseOptions(
      withDemo({"--steps", "none", "--name", "Lv é", "--thresholds", "7,8,9", "--tile-size", "8"}));
  ASSERT_EQ(parsed.action, batch::ParseResult::Action::Run) << parsed.error;
  Workspace ws;
  std::ostringstream out, err;
  batch::Console console{out, err, false};
  ASSERT_EQ(batch::runBatch(parsed.options, ws, console), 0) << err.str();
  EXPECT_EQ(ws.CSpinEdit1, 7);
  EXPECT_EQ(ws.CSpinEdit2, 8);
  EXPECT_EQ(ws.CSpinEdit3, 9);
  EXPECT_TRUE(ws.RadioButton1);
  EXPECT_FALSE(ws.RadioButton2);
  EXPECT_EQ(ws.Edit6, "Lv é");
  EXPECT_EQ(ws.OpenPictureDialog1FileName, kDemo + "1-sprites.bmp");
  EXPECT_EQ(ws.Label4, "512");
  EXPECT_EQ(ws.Label16, "224");
}

// In-process: the progress bars of a terminal, fed by the workspace's gauge.
TEST(ToolInProcess, ProgressBarsNameEveryStep) {
  std::ostringstream out, err;
  batch::Console console{out, err, true};
  ASSERT_EQ(batch::runCommandLine(withDemo({"--steps", "cutout,grey,lists,optimise"}), console), 0)
      << err.str();
  const std::string bars = err.str();
  for (const char* caption : {"Détourage des sprites", "Couleur -> NG4",
                              "Création des listes de sprites", "Optimisation des listes"})
    EXPECT_NE(bars.find(caption), std::string::npos) << caption;
  EXPECT_EQ(bars.find("Application du masque virtuel"), std::string::npos);
  // Each bar ends at 100 % on its own line; the grey pass moves through the percentages.
  EXPECT_EQ(ToolRun::lines(bars).size(), 4u);
  EXPECT_NE(bars.find("Couleur -> NG4                 [###############---------------]  50 %"),
            std::string::npos);
  for (const std::string& line : ToolRun::lines(bars))
    EXPECT_EQ(line.substr(line.size() - 5), "100 %") << line;
  // A failing step: its bar stops where the gauge stood and the error has a line of its own.
  std::ostringstream failOut, failErr;
  batch::Console failing{failOut, failErr, true};
  ASSERT_EQ(batch::runCommandLine(withDemo({"--steps", "cutout,optimise"}), failing), 1);
  const std::vector<std::string> failLines = ToolRun::lines(failErr.str());
  ASSERT_EQ(failLines.size(), 3u) << failErr.str();
  EXPECT_EQ(failLines[1].substr(failLines[1].size() - 5), "  0 %") << failLines[1];
  EXPECT_EQ(failLines[2], "tavrik-batch: Division par zéro.");
  // Quiet: no bars even on a terminal.
  std::ostringstream quietOut, quietErr;
  batch::Console quiet{quietOut, quietErr, true};
  ASSERT_EQ(batch::runCommandLine(withDemo({"--quiet", "--steps", "grey"}), quiet), 0);
  EXPECT_EQ(quietErr.str(), "");
  EXPECT_EQ(quietOut.str(), "");
}

// In-process: on the lean road, reading the pictures gets a bar of its own once it has lasted
// the console's delay (none here): it ends at 100 % before the steps' bars, or where the reading
// stood, followed by the error on its own line. Without the delay passing, only the steps' bars.
TEST(ToolInProcess, TheLeanRoadsReadingShowsABarOnceItLasts) {
  const std::vector<std::string> args = withDemo({"--output-dir", std::filesystem::temp_directory_path().string()});
  std::ostringstream out, err;
  batch::Console console{out, err, true, std::chrono::milliseconds(0)};
  ASSERT_EQ(batch::runCommandLine(args, console), 0) << err.str();
  std::vector<std::string> lines = ToolRun::lines(err.str());
  ASSERT_EQ(lines.size(), 8u) << err.str();
  EXPECT_EQ(lines[0].substr(0, 19), "\rLecture des images");
  EXPECT_NE(err.str().find("Lecture des images             [###############---------------]  50 %"), std::string::npos);
  for (const std::string& line : lines) EXPECT_EQ(line.substr(line.size() - 5), "100 %") << line;

  std::ostringstream slowOut, slowErr;
  batch::Console slow{slowOut, slowErr, true, std::chrono::milliseconds(60000)};
  ASSERT_EQ(batch::runCommandLine(args, slow), 0) << slowErr.str();
  EXPECT_EQ(slowErr.str().find("Lecture des images"), std::string::npos);
  EXPECT_EQ(ToolRun::lines(slowErr.str()).size(), 7u);

  // A picture cut short: no bar ends at 100 %, and the error has the last line.
  const std::filesystem::path cut = std::filesystem::temp_directory_path() / "tavrik-cut-full.png";
  std::filesystem::copy_file(kDemo + "3-full.png", cut, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 20);
  std::ostringstream failOut, failErr;
  batch::Console failing{failOut, failErr, true, std::chrono::milliseconds(0)};
  ASSERT_EQ(batch::runCommandLine({"--output-dir", std::filesystem::temp_directory_path().string(),
                                   kDemo + "1-sprites.png", kDemo + "2-background.png", cut.string()},
                                  failing),
            1);
  lines = ToolRun::lines(failErr.str());
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "tavrik-batch: Erreur de lecture du flux.");
  for (size_t k = 0; k + 1 < lines.size(); ++k) {
    EXPECT_EQ(lines[k].substr(0, 19), "\rLecture des images");
    EXPECT_NE(lines[k].substr(lines[k].size() - 5), "100 %");
  }

  // Quiet: no bar.
  std::ostringstream quietOut, quietErr;
  batch::Console quiet{quietOut, quietErr, true, std::chrono::milliseconds(0)};
  std::vector<std::string> quietArgs = args;
  quietArgs.insert(quietArgs.begin(), "--quiet");
  ASSERT_EQ(batch::runCommandLine(quietArgs, quiet), 0);
  EXPECT_EQ(quietErr.str(), "");
  std::filesystem::remove(cut);
}

}  // namespace
}  // namespace tavrik::test
