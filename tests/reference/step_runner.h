// Runs one step on a workspace and records what the user would see besides the images: the
// values that reach the gauge and the error message, if any.
#pragma once
#include <string>
#include <vector>

#include "base/error.h"
#include "reference/random_workspace.h"
#include "workspace/workspace.h"

namespace tavrik::testing {

struct StepOutcome {
  std::vector<int> progress;
  std::string error;  // empty when the step ended normally
};

// `step` is called with the workspace: a step function or a lambda binding its options.
template <class Step>
StepOutcome runStep(Workspace& ws, const Step& step) {
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
