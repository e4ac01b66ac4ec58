// tavrik-batch --game: reads the game file, runs the game, prints its progress and summary.
#pragma once
#include "cli/batch_options.h"
#include "cli/batch_run.h"

namespace tavrik::batch {

// Returns the exit status: 2 for a bad game file (nothing read or written), 1 for a failed
// level or write (no output changed), 0 otherwise.
int runGameCommand(const Options& options, Console& console);

}  // namespace tavrik::batch
