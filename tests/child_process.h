// Runs a piece of a test in a child process, for what may hang (named pipes) or must end the
// process (signals).
#pragma once
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

namespace tavrik::test {

struct ChildEnd {
  bool hung = false;   // killed after the time limit
  int exitCode = -1;   // when it exited
  int signal = 0;      // when a signal ended it
};

// Runs `action` in a forked child, which exits with its result; kills the child when it has not
// ended within `seconds`.
inline ChildEnd runInChild(const std::function<int()>& action, int seconds = 10) {
  const pid_t pid = fork();
  if (pid == 0) _exit(action());
  ChildEnd end;
  if (pid < 0) return end;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      end.hung = true;
      return end;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

}  // namespace tavrik::test
