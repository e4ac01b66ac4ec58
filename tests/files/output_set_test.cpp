// Output sets on a real disk: names that must not block or be followed, leftovers of earlier
// runs, signals before and during the renames, the created file's mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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
