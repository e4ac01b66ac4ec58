#include "cli/progress_bar.h"

#include <algorithm>
#include <ostream>

#include "cli/batch_options.h"

namespace tavrik::batch {

namespace {
constexpr int kCaptionWidth = 31;  // longest caption ("Création des listes de sprites") + 1
constexpr int kBarCells = 30;
}  // namespace

std::string progressLine(const std::string& caption, int percent) {
  percent = std::clamp(percent, 0, 100);
  std::string line = caption;
  for (int n = countCharacters(caption); n < kCaptionWidth; ++n) line += ' ';
  const int filled = percent * kBarCells / 100;
  line += '[';
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(kBarCells - filled), '-');
  line += "] ";
  const std::string number = std::to_string(percent);
  line.append(3 - number.size(), ' ');
  line += number + " %";
  return line;
}

void ProgressBar::begin(const std::string& caption) {
  if (!enabled_) return;
  if (active_) end(false);
  caption_ = caption;
  active_ = true;
  shown_ = -1;
  draw(0);
}

void ProgressBar::update(int percent) {
  if (!enabled_ || !active_) return;
  // Steps set the gauge back to 0 as they end; the bar shows the end as 100 % instead.
  if (percent == 0 && shown_ > 0) return;
  draw(percent);
}

void ProgressBar::end(bool succeeded) {
  if (!enabled_ || !active_) return;
  if (succeeded) draw(100);
  out_ << '\n' << std::flush;
  active_ = false;
}

void ProgressBar::draw(int percent) {
  if (percent == shown_) return;
  shown_ = percent;
  out_ << '\r' << progressLine(caption_, percent) << std::flush;
}

}  // namespace tavrik::batch
