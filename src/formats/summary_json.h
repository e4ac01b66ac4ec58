// The JSON summary of a run, for build scripts: settings, per level its size, maps and the
// tiles it added, the final lists against their budgets, and the files written.
#pragma once
#include <string>

#include "files/output_set.h"
#include "formats/run_report.h"

namespace tavrik {

// The summary's text (UTF-8, two-space indents, ending with a line break). Keys: version,
// summary_version, tile_size, thresholds, levels (name, width, height, sprite and background
// with map_width, map_height, bank_tiles, new_tiles, saved_by_mirroring), lists (sprite and
// background with tiles and budget, null when none), files (path and bytes). A path that is
// not UTF-8 is written with U+FFFD in place of its bad bytes.
std::string summaryJson(const RunReport& report);

// Stages the summary into `set` as `path`.
void stageSummaryJson(const RunReport& report, const std::string& path, OutputSet& set);

}  // namespace tavrik
