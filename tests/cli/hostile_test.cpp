// tavrik-batch against hostile inputs and targets: special files in place of pictures or
// outputs, links, outputs that are inputs, names the system refuses, empty pictures. Every run
// that could block or eat memory runs under a time limit (and, outside the sanitizers, a memory
// limit).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "run_tool.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kDemo = TAVRIK_SOURCE_DIR "/resources/demo/";

std::vector<std::string> demoFiles() {
  return {kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"};
}

// Runs the tool with at most 20 seconds and, where possible, 2 GiB of address space.
ToolRun runLimited(const std::vector<std::string>& args, const std::string& cwd = {}) {
  std::vector<std::string> command = {"/usr/bin/timeout", "-s", "KILL", "20"};
#if !defined(__SANITIZE_ADDRESS__)
  if (fs::exists("/usr/bin/prlimit")) command.insert(command.end(), {"/usr/bin/prlimit", "--as=2147483648"});
#endif
  command.push_back(toolPath());
  command.insert(command.end(), args.begin(), args.end());
  return runCommand(command, cwd);
}

}  // namespace

// A named pipe without a writer, a device without end, a folder: refused at once as files that
// cannot be opened, in each of the three places.
TEST(ToolHostile, PicturesMustBeRegularFiles) {
  TempFolder cwd;
  ASSERT_EQ(mkfifo((cwd / "tube.bmp").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", cwd / "zero.bmp");
  fs::create_directory(cwd / "dossier.bmp");
  for (const std::string name : {"tube.bmp", "zero.bmp", "dossier.bmp"}) {
    for (size_t place = 0; place < 3; ++place) {
      std::vector<std::string> files = demoFiles();
      files[place] = cwd / name;
      const ToolRun run = runLimited(files, cwd.str());
      EXPECT_EQ(run.status, 1) << name << " " << place << ": " << run.err;
      EXPECT_EQ(run.err, "tavrik-batch: Impossible d'ouvrir le fichier " + (cwd / name) + ".\n");
      EXPECT_EQ(run.out, "");
    }
  }
  EXPECT_EQ(cwd.entries(), (std::vector<std::string>{"dossier.bmp", "tube.bmp", "zero.bmp"}));
}

// An existing output name is never opened: a pipe there is refused without blocking (and none
// of the four files changes), a link there is replaced and what it points to is kept.
TEST(ToolHostile, OutputNamesAreNeverOpened) {
  TempFolder out, keep;
  ASSERT_EQ(mkfifo((out / "Demo1.lvl").c_str(), 0600), 0);
  ToolRun run = runLimited({"--output-dir", out.str(), demoFiles()[0], demoFiles()[1], demoFiles()[2]});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err, "tavrik-batch: Impossible de créer le fichier " + (out / "Demo1.lvl") + ".\n");
  EXPECT_EQ(out.entries(), std::vector<std::string>{"Demo1.lvl"});
  EXPECT_TRUE(fs::is_fifo(out / "Demo1.lvl"));

  TempFolder images;
  std::ofstream(keep / "précieux.bmp") << "keep";
  fs::create_symlink(keep / "précieux.bmp", images / "sprite-plane.bmp");
  run = runLimited({"--steps", "none", "--save-images", images.str(), demoFiles()[0], demoFiles()[1],
                    demoFiles()[2]});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::is_symlink(images / "sprite-plane.bmp"));
  EXPECT_EQ(fs::file_size(images / "sprite-plane.bmp"), 344118u);
  EXPECT_EQ(readWholeFile(keep / "précieux.bmp"), "keep");
  EXPECT_EQ(images.entries(),
            (std::vector<std::string>{"background-plane.bmp", "full-plane.bmp", "sprite-plane.bmp"}));
}

// A run whose outputs would replace one of its pictures is refused before any work.
TEST(ToolHostile, AnOutputThatIsAnInputIsRefused) {
  TempFolder cwd;
  for (const char* name : {"sprite-plane.bmp", "background-plane.bmp", "full-plane.bmp"})
    fs::copy_file(demoFiles()[0], cwd / name);
  const std::string original = readWholeFile(cwd / "full-plane.bmp");
  // The same file under another spelling, and through a link named like a map file.
  fs::create_directory(cwd / "sous");
  fs::create_symlink(cwd / "full-plane.bmp", cwd / "Demo1.lvl");
  const struct {
    std::vector<std::string> args;
    std::string target, option;
  } cases[] = {
      {{"--save-images", ".", "sprite-plane.bmp", demoFiles()[1], demoFiles()[2]},
       "./sprite-plane.bmp", "--save-images"},
      {{"--steps", "grey", "--save-images", "sous/..", demoFiles()[0], demoFiles()[1], cwd / "full-plane.bmp"},
       "sous/../full-plane.bmp", "--save-images"},
      {{demoFiles()[0], demoFiles()[1], "full-plane.bmp"}, "Demo1.lvl", "--output-dir"},
  };
  for (const auto& c : cases) {
    const ToolRun run = runLimited(c.args, cwd.str());
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err, "tavrik-batch: le fichier de sortie « " + c.target + " » (" + c.option +
                           ") est une des images d'entrée (voir tavrik-batch --help)\n");
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(readWholeFile(cwd / "full-plane.bmp"), original);
  EXPECT_EQ(cwd.entries(), (std::vector<std::string>{"Demo1.lvl", "background-plane.bmp",
                                                     "full-plane.bmp", "sous", "sprite-plane.bmp"}));
  // Without maps, the map files' names do not matter.
  EXPECT_EQ(runLimited({"--steps", "grey", demoFiles()[0], demoFiles()[1], "full-plane.bmp"}, cwd.str()).status, 0);
}

// Every file that a format or --tiled writes is checked against the pictures, the last one too.
TEST(ToolHostile, EveryOutputOfTheFormatsIsCheckedAgainstThePictures) {
  const struct {
    std::vector<std::string> args;
    std::string link, target, option;
  } cases[] = {
      {{"--format", "asm"}, "Demo.s", "Demo.s", "--output-dir"},
      {{"--format", "c"}, "Demo.c", "Demo.c", "--output-dir"},
      {{}, "Demo2.bin", "Demo2.bin", "--output-dir"},
      {{"--format", "c", "--tiled", "."}, "Demo2.png", "./Demo2.png", "--tiled"},
  };
  for (const auto& c : cases) {
    TempFolder cwd;
    fs::copy_file(demoFiles()[2], cwd / "full-plane.bmp");
    fs::create_symlink(cwd / "full-plane.bmp", cwd / c.link);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {demoFiles()[0], demoFiles()[1], "full-plane.bmp"});
    const ToolRun run = runLimited(args, cwd.str());
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err, "tavrik-batch: le fichier de sortie « " + c.target + " » (" + c.option +
                           ") est une des images d'entrée (voir tavrik-batch --help)\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(cwd.entries(), (std::vector<std::string>{c.link, "full-plane.bmp"}));
  }
}

// Folder problems are usage errors that point to --help; a name too long for the system says so.
TEST(ToolHostile, FolderProblemsSayWhatIsWrong) {
  TempFolder cwd;
  const std::string longName(300, 'n'), longPath = std::string(5000, '/') + "x";
  std::ofstream(cwd / "fichier") << "x";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--output-dir", "absent"}, "dossier introuvable pour --output-dir : « absent »"},
      {{"--save-images", "fichier"}, "ce n'est pas un dossier (--save-images) : « fichier »"},
      {{"--output-dir", longName}, "Nom de fichier trop long : " + longName},
      {{"--save-images", longPath}, "Nom de fichier trop long : " + longPath},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    for (const std::string& f : demoFiles()) args.push_back(f);
    const ToolRun run = runLimited(args, cwd.str());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "tavrik-batch: " + c.message + " (voir tavrik-batch --help)\n");
  }
  EXPECT_EQ(cwd.entries(), std::vector<std::string>{"fichier"});
}

// A 0-byte picture loads without pixels, as in the window, whose labels keep the slot's size:
// the summary and the warning give that same size.
TEST(ToolHostile, AnEmptyPictureIsReportedAsTheWindowShowsIt) {
  TempFolder cwd;
  std::ofstream(cwd / "vide.bmp").close();
  const ToolRun run = runLimited({"--steps", "none", "vide.bmp", demoFiles()[1], demoFiles()[2]}, cwd.str());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "tavrik-batch: attention : l'image « vide.bmp » est vide (aucun pixel ; la fenêtre "
            "affiche 105 x 105)\n"
            "tavrik-batch: attention : les trois images n'ont pas la même taille (0 x 0, 512 x 224, 512 x 224)\n");
  ASSERT_FALSE(run.outLines().empty());
  EXPECT_EQ(run.outLines()[0], "Plan de sprites : vide.bmp (105 x 105)");
}

}  // namespace tavrik::test
