// The road of one conversion on a workspace, driven by the command line's options.
#pragma once
#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch_options.h"
#include "formats/run_report.h"
#include "workspace/workspace.h"

namespace tavrik::batch {

// Exit statuses of the tool.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // a load, a step or a write failed
inline constexpr int kExitUsage = 2;    // bad options or arguments

struct Console {
  std::ostream& out;         // summary and closing message
  std::ostream& err;         // errors, warnings, progress bars
  bool progressBar = false;  // draw the bars (stderr is a terminal)
  // With the bars: reading the pictures on the lean road gets a bar of its own once it has
  // lasted this long.
  std::chrono::milliseconds readingBarDelay{1000};
};

// Copies the options into the workspace, loads the three planes, runs the chosen steps in the
// window's order, saves the images when asked, and reports. Returns the exit status; never
// throws for a load, step or write failure.
int runBatch(const Options& options, Workspace& ws, Console& console);

// The whole tool from its arguments (after the program name): parse, then run.
int runCommandLine(const std::vector<std::string>& args, Console& console);

// A file that a run writes, and the option that names its folder (for the messages).
struct OutputTarget {
  std::string path;
  const char* option;
};

// The checks of a run's outputs before any work (the folders being known to exist): a path
// too long for the system once its temporary file is counted ("Nom de fichier trop long"), or
// an output that is one of the `inputs` under any spelling or link. Returns the first problem.
std::optional<std::string> outputsProblem(const std::vector<OutputTarget>& targets,
                                          const std::vector<std::string>& inputs);

// The files of --depfile and --summary-json, with the files read and written that they may not
// be (each read file with the words that say what it is, for the message).
struct ReportFiles {
  std::optional<std::string> depfile, summaryJson;
  struct Input {
    std::string path;
    const char* role;  // "est une des images d'entrée", ...
  };
  std::vector<Input> inputs;
  std::vector<OutputTarget> targets;
};

// The problem with the report files, if any, before any work: a folder that is not there, a
// file that is a folder, an input, an output or the other report file; with --depfile, a path
// that no make rule can hold.
std::optional<std::string> reportFilesProblem(const ReportFiles& files);

// Stages the JSON summary and the make rule of a run that succeeded (its outputs in place).
void stageReportFiles(const RunReport& report, const ReportFiles& files, OutputSet& set);

// Flushes the standard output: a summary that could not be written (a full disk, a closed
// output) is no success. Returns the exit status.
int flushOutput(Console& console);

// One line for the console: the error box's text of a message, line breaks turned into blanks.
std::string errorLine(const std::string& message);
// The usage-error line: message and a pointer to --help.
std::string usageErrorLine(const std::string& message);

}  // namespace tavrik::batch
