#pragma once
// The front's boxes for tests: every message box and error box text is recorded instead of shown.
// Safe to use from a run's worker thread.

#include <mutex>
#include <string>
#include <vector>

#include "app/dialogs.h"

namespace pos::testing {

class RecordingDialogs : public Dialogs {
 public:
  void show_message(const std::string& text) override {
    std::lock_guard lock(mu_);
    messages_.push_back(text);
  }
  void show_error(const std::string& text) override {
    std::lock_guard lock(mu_);
    errors_.push_back(text);
  }
  std::vector<std::string> messages() const {
    std::lock_guard lock(mu_);
    return messages_;
  }
  std::vector<std::string> errors() const {
    std::lock_guard lock(mu_);
    return errors_;
  }
  void clear() {
    std::lock_guard lock(mu_);
    messages_.clear();
    errors_.clear();
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::string> messages_, errors_;
};

}  // namespace pos::testing
