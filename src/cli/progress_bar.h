// A one-line text progress bar for a terminal, fed with the gauge's percentages.
#pragma once
#include <iosfwd>
#include <string>

namespace tavrik::batch {

class ProgressBar {
 public:
  // A disabled bar writes nothing.
  ProgressBar(std::ostream& out, bool enabled) : out_(out), enabled_(enabled) {}

  // Starts a new line for the step `caption` at 0 %.
  void begin(const std::string& caption);
  // Redraws the current line at `percent` (0..100).
  void update(int percent);
  // Ends the line: at 100 % when the step succeeded, where it stood otherwise.
  void end(bool succeeded);

 private:
  void draw(int percent);

  std::ostream& out_;
  bool enabled_;
  bool active_ = false;
  std::string caption_;
  int shown_ = -1;
};

// The line drawn for `caption` at `percent`: the caption padded to a fixed number of
// characters, a bar of 30 cells and the percentage.
std::string progressLine(const std::string& caption, int percent);

}  // namespace tavrik::batch
