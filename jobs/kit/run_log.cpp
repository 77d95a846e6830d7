#include "jobs/kit/run_log.h"

#include <algorithm>

namespace pos {

void RunLog::append(std::string line) {
  {
    std::lock_guard lock(mu_);
    lines_.push_back(line);
  }
  if (on_append) on_append(line);
}

std::vector<std::string> RunLog::lines() const {
  std::lock_guard lock(mu_);
  return lines_;
}

std::size_t RunLog::size() const {
  std::lock_guard lock(mu_);
  return lines_.size();
}

// Like a progress control: the position stays within [min, max].
void ProgressBar::set_max(int v) {
  max_ = v;
  if (min_ > max_) min_ = max_;
  position_ = std::clamp(position_, min_, max_);
  changed();
}

void ProgressBar::set_min(int v) {
  min_ = v;
  if (max_ < min_) max_ = min_;
  position_ = std::clamp(position_, min_, max_);
  changed();
}

void ProgressBar::set_position(int v) {
  position_ = std::clamp(v, min_, max_);
  changed();
}

void ProgressBar::changed() {
  if (on_change) on_change(min_, max_, position_);
}

}  // namespace pos
