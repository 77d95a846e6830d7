#pragma once
// How the data module asks for a plain message box. The window shows a modal box and returns when
// the operator closes it; the headless front writes the text to stderr; tests record it.

#include <string>

namespace pos {

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // Shows `big5_text` and returns once the operator has seen it.
  virtual void show_message(const std::string& big5_text) = 0;
  // The same for a failure that ends the caller's work; a front that can shows it as an error.
  virtual void show_failure(const std::string& big5_text) { show_message(big5_text); }
};

}  // namespace pos
