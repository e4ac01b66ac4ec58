// The dependency file of a run: one rule of GNU make naming every output as a target and every
// file read as a prerequisite, so that a build reruns the conversion when one of them changes.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "files/output_set.h"
#include "formats/run_report.h"

namespace tavrik {

inline constexpr const char* kNotForMake =
    "le chemin %s ne peut pas figurer dans une règle make (--depfile)";

// Why `path` cannot be written into a make rule, if it cannot: GNU make has no quoting for line
// breaks, ';', '=', '|' or parentheses (archive members) in a file name, nor for a target holding
// '%' and a wildcard character (make expands the pattern, then reads the '%' of the file name).
std::optional<std::string> makePathProblem(const std::string& path, bool target);

// `path` as GNU make reads it back in a rule: blanks, '#' and ':' behind a backslash (with
// the backslashes just before them doubled, and those ending the name), '$' doubled, and in a
// target '%' behind a backslash too. A name holding '*', '?' or '[' is first quoted as the file
// pattern that make makes of it ('\', '*', '?', '[' and ']' behind a backslash). `path` must
// pass makePathProblem.
std::string makeEscaped(const std::string& path, bool target);

// "T1 T2 ...: P1 P2 ...\n" with every name escaped, long lines continued with " \"; the empty
// text when there is no target (make reads it as nothing).
std::string makeRule(const std::vector<std::string>& targets, const std::vector<std::string>& prerequisites);

// The rule of a run: the paths of report.files, then `moreTargets`, against report.inputs;
// staged into `set` as `path`.
void stageDepfile(const RunReport& report, const std::vector<std::string>& moreTargets,
                  const std::string& path, OutputSet& set);

}  // namespace tavrik
