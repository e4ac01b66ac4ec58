// tavrik-batch --render: the files of an earlier conversion drawn back into a PNG picture.
#pragma once
#include "cli/batch_options.h"
#include "cli/batch_run.h"

namespace tavrik::batch {

// Reads the maps and tiles that the options name, draws them and writes the picture through an
// output set; prints what was read and written unless --quiet. Returns the exit status: 2 when
// the picture would replace one of the files read, 1 when a file cannot be read, is not what
// the options say, or the picture cannot be written (nothing is written then), 0 otherwise.
int runRender(const Options& options, Console& console);

}  // namespace tavrik::batch
