// Real file-system failures under tavrik-batch: a folder the user may not write to, and a full
// disk. Both need root here (to drop to another user, to mount a tiny file system); elsewhere
// they skip.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "run_tool.h"

using namespace tavrik::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> demoScene() {
  const std::string demo = TAVRIK_SOURCE_DIR "/resources/demo/";
  return {demo + "1-sprites.bmp", demo + "2-background.bmp", demo + "3-full.bmp"};
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// The closing message must never follow a failure.
void expectOneLineFailureNaming(const ToolRun& run, const std::string& fileName) {
  EXPECT_EQ(run.status, 1) << run.err;
  ASSERT_EQ(run.errLines().size(), 1u) << run.err;
  EXPECT_EQ(run.errLines()[0].rfind("tavrik-batch: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(fileName), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Les fichiers ont été enregistrés"), std::string::npos) << run.out;
}

// Runs the tool as an ordinary user (nobody) on its own copies of the tool and the pictures,
// writing into a folder of mode `mode` owned by root; nullopt when that cannot be arranged.
std::optional<ToolRun> runAsNobody(fs::perms mode, fs::path& out, TempFolder& folder) {
  if (geteuid() != 0 || !fs::exists("/usr/bin/setpriv")) return std::nullopt;
  fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  const fs::path tool = folder.path() / "tavrik-batch";
  fs::copy_file(toolPath(), tool);
  std::vector<std::string> pictures;
  for (const std::string& picture : demoScene()) {
    pictures.push_back((folder.path() / fs::path(picture).filename()).string());
    fs::copy_file(picture, pictures.back());
    fs::permissions(pictures.back(), fs::perms::others_read, fs::perm_options::add);
  }
  out = folder.path() / "sortie";
  fs::create_directory(out);
  fs::permissions(out, mode);
  ToolRun run = runCommand(with({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                 tool.string(), "--output-dir", out.string()},
                                pictures));
  if (run.err.rfind("setpriv", 0) == 0) return std::nullopt;
  return run;
}

}  // namespace

TEST(ToolDisk, FolderWithoutWriteAccessIsAFailureNamingTheFirstFile) {
  TempFolder folder;
  fs::path out;
  const std::optional<ToolRun> run = runAsNobody(
      fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec, out, folder);
  if (!run) GTEST_SKIP() << "needs root and setpriv to run the tool as an ordinary user";
  expectOneLineFailureNaming(*run, "Impossible de créer le fichier " + (out / "Demo1.lvl").string());
  EXPECT_TRUE(fs::is_empty(out));
}

// A folder that the user may write but not read cannot be opened to be locked: the run writes
// its files without the lock, as it did before there were locks.
TEST(ToolDisk, AFolderThatCannotBeLockedIsWrittenWithoutTheLock) {
  TempFolder folder;
  fs::path out;
  const std::optional<ToolRun> run =
      runAsNobody(fs::perms::owner_all | fs::perms::others_write | fs::perms::others_exec, out, folder);
  if (!run) GTEST_SKIP() << "needs root and setpriv to run the tool as an ordinary user";
  EXPECT_EQ(run->status, 0) << run->err;
  EXPECT_EQ(fs::file_size(out / "Demo2.bin"), 2432u);
}

TEST(ToolDisk, FullDiskChangesNoneOfTheFourFiles) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small file system";
  TempFolder folder;
  const fs::path disk = folder.path() / "disque";
  fs::create_directory(disk);
  // Two pages: room for the two small map files, not for the first tile file.
  if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=8k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{disk.string()};

  const ToolRun run = runTool(with({"--output-dir", disk.string()}, demoScene()));
  expectOneLineFailureNaming(run, "Erreur d'écriture du fichier " + (disk / "Demo1.bin").string());
  // The four files are one set: none is in place, and no temporary file is left behind.
  EXPECT_TRUE(fs::is_empty(disk));
  EXPECT_EQ(run.out, "");
}
