// tavrik-batch: converts the three pictures of a level into the four output files without the
// window. See `tavrik-batch --help`.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/batch_run.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  tavrik::batch::Console console{std::cout, std::cerr, isatty(STDERR_FILENO) == 1};
  return tavrik::batch::runCommandLine(args, console);
}
