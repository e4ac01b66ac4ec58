// Runs one step on a workspace and records what the user would see besides the images: the
// values that reach the gauge and the error message, if any.
#pragma once
#include <string>
#include <vector>

#include "imaging/error.h"
#include "reference/random_workspace.h"
#include "workspace/workspace.h"

namespace tavrik::testing {

struct StepOutcome {
  std::vector<int> progress;
  std::string error;  // empty when the step ended normally
};

inline StepOutcome runStep(Workspace& ws, void (*step)(Workspace&)) {
  StepOutcome out;
  recordProgress(ws, out.progress);
  try {
    step(ws);
  } catch (const Error& e) {
    out.error = e.message();
  }
  ws.setProgressSink(nullptr);
  return out;
}

}  // namespace tavrik::testing
