#pragma once
// The run's log panel and progress bar as plain models. Writes come from the run's thread;
// listeners are called on that thread and must hand work to their own thread themselves.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pos {

// The lines of the log panel (Big5). Lines are only ever appended.
class RunLog {
 public:
  void append(std::string line);
  std::vector<std::string> lines() const;
  std::size_t size() const;

  std::function<void(const std::string&)> on_append;

 private:
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
};

class ProgressBar {
 public:
  void set_max(int v);
  void set_min(int v);
  void set_position(int v);
  int min() const { return min_; }
  int max() const { return max_; }
  int position() const { return position_; }

  std::function<void(int min, int max, int position)> on_change;

 private:
  void changed();
  int min_ = 0, max_ = 100, position_ = 0;
};

}  // namespace pos
