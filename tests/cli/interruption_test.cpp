// tavrik-batch stopped at the worst instants and run twice at once: a signal as a temporary
// file is created (strace injects it at that very system call), a kill that leaves temporary
// files for the next run to remove, a second run that waits for the first one's folder; and
// the checks made before any work (paths too long once the temporary files are counted,
// pictures smaller than a tile).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "imaging/bitmap_file.h"
#include "imaging/surface.h"
#include "run_tool.h"

namespace tavrik::test {
namespace {

namespace fs = std::filesystem;

const std::string kDemo = TAVRIK_SOURCE_DIR "/resources/demo/";
const std::vector<std::string> kScene = {kDemo + "1-sprites.bmp", kDemo + "2-background.bmp", kDemo + "3-full.bmp"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more = kScene) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

bool straceWorks() {
  return fs::exists("/usr/bin/strace") && runCommand({"/usr/bin/strace", "-o", "/dev/null", "/bin/true"}).status == 0;
}

// Runs the tool under strace, which traces its main thread's openat calls (into `log` when
// given) and applies `inject` (an strace -e inject= value) to them.
ToolRun runTraced(const std::vector<std::string>& args, const std::string& log, const std::string& inject = {}) {
  std::vector<std::string> command{"/usr/bin/strace", "-o", log.empty() ? "/dev/null" : log, "-e", "trace=openat"};
  if (!inject.empty()) command.insert(command.end(), {"-e", "inject=openat:" + inject});
  command.push_back(toolPath());
  command.insert(command.end(), args.begin(), args.end());
  return runCommand(command);
}

// The numbers (counted from 1 among the main thread's openat calls, as strace's when= counts
// them) of the calls that create the run's temporary files.
std::vector<int> temporaryOpens(const std::vector<std::string>& args) {
  TempFolder logs;
  runTraced(args, logs / "log");
  std::vector<int> numbers;
  int number = 0;
  for (const std::string& line : ToolRun::lines(readWholeFile(logs / "log")))
    if (line.rfind("openat(", 0) == 0) {
      ++number;
      if (line.find(".tmp\", O_WRONLY|O_CREAT|O_EXCL") != std::string::npos) numbers.push_back(number);
    }
  return numbers;
}

std::vector<std::string> temporariesIn(const TempFolder& folder) {
  std::vector<std::string> found;
  for (const std::string& name : folder.entries())
    if (name[0] == '.' && name.ends_with(".tmp")) found.push_back(name);
  return found;
}

}  // namespace

// SIGINT, SIGTERM or SIGHUP delivered as any temporary file of the set is being created: the
// run dies of it, no temporary file is left, and the files of an earlier run are untouched.
TEST(ToolInterrupted, ASignalAsATemporaryFileIsCreatedLeavesNothing) {
  if (!straceWorks()) GTEST_SKIP() << "strace cannot trace here";
  TempFolder out;
  const std::vector<std::string> names = {"Demo1.bin", "Demo1.lvl", "Demo2.bin", "Demo2.lvl"};
  for (const std::string& name : names) std::ofstream(out / name) << "old";
  const std::vector<std::string> args = with({"--quiet", "--output-dir", out.str()});
  const std::vector<int> opens = temporaryOpens(args);
  ASSERT_EQ(opens.size(), 4u);
  for (const std::string& name : names) std::ofstream(out / name) << "old";  // the traced run wrote them
  const int signals[] = {SIGTERM, SIGINT, SIGHUP, SIGTERM};
  for (size_t k = 0; k < opens.size(); ++k) {
    const ToolRun run = runTraced(args, {}, "signal=" + std::to_string(signals[k]) + ":when=" + std::to_string(opens[k]));
    EXPECT_EQ(run.status, 128 + signals[k]) << k << ": " << run.err;
    EXPECT_EQ(out.entries(), names) << k;
    for (const std::string& name : names) EXPECT_EQ(readWholeFile(out / name), "old") << k << " " << name;
  }
}

// A run killed outright (here as it creates its third saved image's temporary file, the two
// others being written) leaves temporary files; the next run into the folder removes them.
TEST(ToolInterrupted, TheNextRunRemovesTheTemporaryFilesOfAKilledOne) {
  if (!straceWorks()) GTEST_SKIP() << "strace cannot trace here";
  TempFolder images;
  const std::vector<std::string> args = with({"--quiet", "--steps", "grey", "--save-images", images.str()});
  const std::vector<int> opens = temporaryOpens(args);
  ASSERT_EQ(opens.size(), 3u);
  fs::remove_all(images.path());
  fs::create_directory(images.path());
  const ToolRun killed = runTraced(args, {}, "signal=SIGKILL:when=" + std::to_string(opens[2]));
  EXPECT_EQ(killed.status, 128 + SIGKILL);
  ASSERT_EQ(temporariesIn(images).size(), 2u) << "the kill left no temporary file to remove";
  const ToolRun next = runTool(with({"--quiet", "--steps", "none", "--save-images", images.str()}));
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(images.entries(), (std::vector<std::string>{"background-plane.bmp", "full-plane.bmp", "sprite-plane.bmp"}));
}

// A run whose output folder is locked by another waits, without creating anything there, and
// goes on once the lock is let go.
TEST(ToolInterrupted, ASecondRunWaitsForTheFolderOfTheFirst) {
  TempFolder out, tiled;
  for (const std::string& folder : {out.str(), tiled.str()}) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    auto run = std::async(std::launch::async, [&] {
      return runTool(with({"--quiet", "--output-dir", out.str(), "--tiled", tiled.str()}));
    });
    EXPECT_EQ(run.wait_for(std::chrono::milliseconds(700)), std::future_status::timeout) << folder;
    EXPECT_TRUE(out.entries().empty()) << folder;
    EXPECT_TRUE(tiled.entries().empty()) << folder;
    ::close(fd);
    const ToolRun done = run.get();
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(out.entries(), (std::vector<std::string>{"Demo1.bin", "Demo1.lvl", "Demo2.bin", "Demo2.lvl"}));
    EXPECT_EQ(tiled.entries(), (std::vector<std::string>{"Demo.tmx", "Demo1.png", "Demo2.png"}));
    for (const std::string& name : out.entries()) fs::remove(out / name);
    for (const std::string& name : tiled.entries()) fs::remove(tiled / name);
  }
}

// An output folder whose path leaves no room for the temporary file names is refused before
// any work, as a path too long is; one byte less and the run writes its files.
TEST(ToolInterrupted, PathsTooLongForTheTemporaryFilesAreRefusedUpFront) {
  // ".Demo1.lvl.tavrik-PID-XXXXXXXXXXXX.tmp", the process id counted at its widest.
  const size_t temporary = std::string("/.Demo1.lvl.tavrik-2147483647-0123456789ab.tmp").size();
  TempFolder base;
  for (const size_t length : {size_t{4095} - temporary, size_t{4096} - temporary, size_t{4080}}) {
    std::string dir = base.str();
    while (length - dir.size() > 202) dir.append("/").append(200, 'd');
    const size_t last = length - dir.size() - 1;
    dir.append("/").append(last, 'd');
    fs::create_directories(dir);
    const ToolRun run = runTool(with({"--quiet", "--output-dir", dir}));
    if (length + temporary <= 4095) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(fs::file_size(dir + "/Demo2.bin"), 2432u);
    } else {
      EXPECT_EQ(run.status, 2) << length;
      EXPECT_EQ(run.err, "tavrik-batch: Nom de fichier trop long : " + dir +
                             "/Demo1.lvl (voir tavrik-batch --help)\n") << length;
      EXPECT_TRUE(fs::is_empty(dir)) << length;
    }
  }
}

// Pictures narrower or lower than a tile give empty files, and a warning says so, on both roads.
TEST(ToolInterrupted, PicturesSmallerThanATileAreReported) {
  TempFolder cwd;
  writeBitmapFile(Surface(40, 12, clGray), cwd / "s.bmp");
  writeBitmapFile(Surface(40, 12, clGray), cwd / "b.bmp");
  writeBitmapFile(Surface(40, 12, clGray), cwd / "f.bmp");
  const std::string warning = " (40 x 12) est plus petite qu'une tuile (16 x 16) : sa carte et ses tuiles sont vides\n";
  for (const std::vector<std::string>& road : {std::vector<std::string>{}, {"--full-strips"}}) {
    ToolRun run = runTool(with(road, {"--quiet", "s.bmp", "b.bmp", "f.bmp"}), cwd.str());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "tavrik-batch: attention : l'image « s.bmp »" + warning +
                           "tavrik-batch: attention : l'image « b.bmp »" + warning);
    EXPECT_EQ(fs::file_size(cwd / "Demo1.lvl"), 0u);
    // Tiles of 8 fit: nothing to say.
    run = runTool(with(road, {"--quiet", "--tile-size", "8", "s.bmp", "b.bmp", "f.bmp"}), cwd.str());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(fs::file_size(cwd / "Demo1.lvl"), 10u);
  }
}

}  // namespace tavrik::test
