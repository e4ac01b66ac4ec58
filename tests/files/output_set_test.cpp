// Output sets on a real disk: names that must not block or be followed, leftovers of earlier
// runs, signals before and during the renames, the created file's mode.
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "child_process.h"
#include "cli/run_tool.h"
#include "files/output_set.h"

using namespace tavrik;
namespace fs = std::filesystem;

namespace {

using Folder = test::TempFolder;

std::string contents(const std::string& path) { return test::readWholeFile(path); }

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void writeSet(const std::vector<std::string>& paths, const std::string& text) {
  OutputSet set;
  for (const std::string& path : paths) set.add(path).write(text.data(), text.size());
  set.commit();
}

// Passes the real disk file through, raising `signal` on the first rename.
class SignalAtInstall final : public OutputFile {
 public:
  SignalAtInstall(std::unique_ptr<OutputFile> real, int signal) : real_(std::move(real)), signal_(signal) {}
  bool write(const void* data, std::size_t size) override { return real_->write(data, size); }
  bool finish() override { return real_->finish(); }
  bool install() override {
    if (signal_) ::raise(std::exchange(signal_, 0));
    return real_->install();
  }

 private:
  std::unique_ptr<OutputFile> real_;
  int signal_;
};

}  // namespace

TEST(OutputSet, LeftoversAndLinksNamedLikeTheFileDoNotStopIt) {
  Folder folder;
  const std::string target = folder / "Demo1.lvl";
  // Leftovers of killed runs under every name an earlier version used, one a dangling link.
  for (int k = 0; k < 100; ++k) put(target + ".tmp" + std::to_string(k), "old");
  fs::remove(target + ".tmp0");
  fs::create_symlink(folder / "nowhere", target + ".tmp0");
  writeSet({target}, "new");
  EXPECT_EQ(contents(target), "new");
  EXPECT_EQ(folder.entries().size(), 101u);  // the leftovers are left alone

  // A link named like the file is replaced, and what it pointed to is kept.
  put(folder / "precious", "keep");
  fs::remove(target);
  fs::create_symlink(folder / "precious", target);
  writeSet({target}, "new");
  EXPECT_FALSE(fs::is_symlink(target));
  EXPECT_EQ(contents(target), "new");
  EXPECT_EQ(contents(folder / "precious"), "keep");
}

TEST(OutputSet, SpecialFilesNamedLikeTheFileAreRefusedWithoutBeingOpened) {
  Folder folder;
  const std::string pipe = folder / "Demo1.lvl", sub = folder / "Demo2.lvl";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  fs::create_directory(sub);
  for (const std::string& target : {pipe, sub}) {
    const test::ChildEnd end = test::runInChild([&] {
      try {
        writeSet({folder / "other", target}, "new");
      } catch (const Error& e) {
        return e.message() == "Impossible de créer le fichier " + target ? 0 : 1;
      }
      return 2;
    });
    EXPECT_FALSE(end.hung) << target;
    EXPECT_EQ(end.exitCode, 0) << target;
  }
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"Demo1.lvl", "Demo2.lvl"}));
}

TEST(OutputSet, ASignalBeforeTheRenamesRemovesTheTemporariesAndChangesNothing) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    Folder folder;
    put(folder / "a", "old");
    const test::ChildEnd end = test::runInChild([&] {
      OutputSet set;
      set.add(folder / "a").write("new", 3);
      set.add(folder / "b").write("new", 3);
      ::raise(signal);
      return 0;
    });
    EXPECT_EQ(end.signal, signal);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"a"}) << signal;
    EXPECT_EQ(contents(folder / "a"), "old");
  }
}

TEST(OutputSet, ASignalDuringTheRenamesWaitsUntilTheSetIsWhole) {
  Folder folder;
  for (const char* name : {"a", "b", "c"}) put(folder / name, "old");
  const test::ChildEnd end = test::runInChild([&] {
    ScopedOutputFileFactory factory([&](const std::string& path) -> std::unique_ptr<OutputFile> {
      return std::make_unique<SignalAtInstall>(openDiskFile(path), path == folder / "a" ? SIGTERM : 0);
    });
    writeSet({folder / "a", folder / "b", folder / "c"}, "new");
    return 0;
  });
  EXPECT_EQ(end.signal, SIGTERM);
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"a", "b", "c"}));
  for (const char* name : {"a", "b", "c"}) EXPECT_EQ(contents(folder / name), "new") << name;
}

TEST(OutputSet, NewFilesHaveTheModeThatTheMaskGives) {
  Folder folder;
  const mode_t previous = ::umask(027);
  writeSet({folder / "f"}, "x");
  ::umask(previous);
  struct stat st {};
  ASSERT_EQ(::stat((folder / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// The replacement rule of an existing file depends on its mode, not on who runs the tool: root
// may write every file, but one whose owner's write bit is off stays refused.
TEST(OutputSet, ReadOnlyFilesAreRefusedWhoeverRunsIt) {
  const struct {
    fs::perms mode;
    bool replaced;
  } cases[] = {
      {fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, false},    // 0444
      {fs::perms::owner_read | fs::perms::group_write | fs::perms::others_write, false},  // 0466
      {fs::perms::owner_read | fs::perms::owner_write, true},                             // 0600
      {fs::perms::owner_write, true},                                                     // 0200
  };
  for (const auto& c : cases) {
    Folder folder;
    put(folder / "a", "old");
    fs::permissions(folder / "a", c.mode);
    std::string error;
    try {
      writeSet({folder / "a"}, "new");
    } catch (const Error& e) {
      error = e.message();
    }
    EXPECT_EQ(error, c.replaced ? "" : "Impossible de créer le fichier " + (folder / "a")) << int(c.mode);
    fs::permissions(folder / "a", fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(contents(folder / "a"), c.replaced ? "new" : "old") << int(c.mode);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"a"});
  }
}

// Leftovers of killed runs: only those of our own pattern whose process is gone, and that this
// user could have made (a regular file of its own with one link), are removed by the next set
// written in the folder.
TEST(OutputSet, TheNextSetRemovesTheTemporariesOfProcessesThatAreGone) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const std::string gone = std::to_string(dead), alive = std::to_string(::getpid());
  const std::string hex = "-0123456789ab.tmp";
  Folder folder;
  const std::vector<std::string> removed = {".Demo1.lvl.tavrik-" + gone + hex, ".tavrik-" + gone + hex,
                                            ".a.b.tavrik-" + gone + hex};
  const std::vector<std::string> kept = {
      ".Demo1.lvl.tavrik-" + alive + hex,        // this process
      ".Demo1.lvl.tavrik-1" + hex,               // another live process
      "Demo1.lvl.tavrik-" + gone + hex,          // not hidden
      "..tavrik-" + gone + hex,                  // no final name before the dot
      ".Demo1.lvl.tavrik-0" + gone + hex,        // not a process id as written
      ".Demo1.lvl.tavrik-" + gone + "-0123456789AB.tmp",
      ".Demo1.lvl.tavrik-" + gone + "-0123456789a.tmp",
      ".Demo1.lvl." + gone + hex,                // another program's pattern
      ".Demo1.lvl.tavrik-99999999999" + hex,     // beyond any process id
      ".link.tavrik-" + gone + hex,              // a symbolic link
      ".dir.tavrik-" + gone + hex,               // a folder
      ".hard.tavrik-" + gone + hex,              // a file with a second name
      "hard",
  };
  for (const std::string& name : removed) put(folder / name, "x");
  put(folder / "hard", "x");
  for (const std::string& name : kept) {
    if (name.rfind(".link", 0) == 0) fs::create_symlink("nowhere", folder / name);
    else if (name.rfind(".dir", 0) == 0) fs::create_directory(folder / name);
    else if (name.rfind(".hard", 0) == 0) fs::create_hard_link(folder / "hard", folder / name);
    else if (name != "hard") put(folder / name, "x");
  }
  // Another user's file (only root can make one here).
  std::vector<std::string> expected = kept;
  const std::string foreign = ".foreign.tavrik-" + gone + hex;
  put(folder / foreign, "x");
  if (::geteuid() == 0 && ::chown((folder / foreign).c_str(), 65534, 65534) == 0) expected.push_back(foreign);
  else fs::remove(folder / foreign);
  writeSet({folder / "a"}, "new");
  expected.push_back("a");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(folder.entries(), expected);
}

// Two sets of one process share the lock of their folder instead of waiting for each other,
// whatever order they are committed in, and a set writing two folders takes both.
TEST(OutputSet, SetsOfOneProcessShareTheirFolders) {
  Folder one, two;
  const test::ChildEnd end = test::runInChild([&] {
    OutputSet first, second;
    first.lockFolders({two.str(), one.str(), one.str() + "/."});
    first.add(one / "a").write("1", 1);
    first.add(two / "b").write("1", 1);
    second.add(two / "c").write("2", 1);
    second.add(one / "d").write("2", 1);
    second.commit();
    first.commit();
    return 0;
  });
  EXPECT_FALSE(end.hung);
  EXPECT_EQ(end.exitCode, 0);
  EXPECT_EQ(one.entries(), (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(two.entries(), (std::vector<std::string>{"b", "c"}));
}

// The longest path that a file creates is its temporary file's, whose process id is counted
// at its widest; a final name that leaves no room for the temporary one beside it falls back to
// a shorter temporary name.
TEST(OutputSet, TheLongestPathCountsTheTemporaryFile) {
  const std::string folder(4000, 'd');
  const std::size_t extra = std::string("/.Demo1.lvl.tavrik-2147483647-0123456789ab.tmp").size();
  EXPECT_EQ(longestCreatedPath(folder + "/Demo1.lvl"), folder.size() + extra);
  EXPECT_EQ(longestCreatedPath("Demo1.lvl"), extra - 1);
  const std::string longName(250, 'n');
  EXPECT_EQ(longestCreatedPath("d/" + longName), std::max<std::size_t>(
      2 + longName.size(), std::string("d/.tavrik-2147483647-0123456789ab.tmp").size()));
  const std::string fits(PATH_MAX - 1 - extra, 'd'), over = fits + "d";
  EXPECT_TRUE(outputPathFits(fits + "/Demo1.lvl"));
  EXPECT_FALSE(outputPathFits(over + "/Demo1.lvl"));
  EXPECT_FALSE(outputPathFits("d/" + std::string(NAME_MAX + 1, 'n')));
}
