// Runs the tavrik-batch binary as a child process and captures what it says.
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tavrik::test {

struct ToolRun {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;

  std::vector<std::string> outLines() const { return lines(out); }
  std::vector<std::string> errLines() const { return lines(err); }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

inline std::string toolPath() { return TAVRIK_BINARY_DIR "/tavrik-batch"; }

inline std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `command` (program path first, then its arguments) in the folder `cwd` (the test's own
// when empty).
inline ToolRun runCommand(const std::vector<std::string>& command, const std::string& cwd = {}) {
  char outName[] = "/tmp/tavrik-cli-out-XXXXXX";
  char errName[] = "/tmp/tavrik-cli-err-XXXXXX";
  const int outFd = mkstemp(outName);
  const int errFd = mkstemp(errName);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

  const std::string program = command.at(0);
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ToolRun run;
  if (spawned == 0) {
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0) {
    }
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  }
  close(outFd);
  close(errFd);
  run.out = readWholeFile(outName);
  run.err = readWholeFile(errName);
  unlink(outName);
  unlink(errName);
  if (spawned != 0) throw std::runtime_error("cannot start " + program);
  return run;
}

// Runs tavrik-batch with `args` in the folder `cwd` (the test's own when empty).
inline ToolRun runTool(const std::vector<std::string>& args, const std::string& cwd = {}) {
  std::vector<std::string> command{toolPath()};
  command.insert(command.end(), args.begin(), args.end());
  return runCommand(command, cwd);
}

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/tavrik-cli-test-XXXXXX";
    if (!mkdtemp(name)) throw std::runtime_error("mkdtemp failed");
    path_ = name;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  // Names of the files in the folder, sorted.
  std::vector<std::string> entries() const { return entriesOf(path_); }
  static std::vector<std::string> entriesOf(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace tavrik::test
