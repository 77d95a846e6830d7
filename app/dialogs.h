#pragma once
// The boxes a run or start-up asks the front for: the plain message box of the data module and
// the standard error box for an error that ends a handler.

#include <string>

#include "service/message_box.h"

namespace pos {

class Dialogs : public MessageBoxes {
 public:
  // Shows an error's message (Big5) the way the framework's top-level handler does.
  virtual void show_error(const std::string& big5_text) = 0;
  // Shows the error that ended a run: `raw` as the error has it, `for_staff` as staff read it (both
  // Big5). A front for staff shows the latter.
  virtual void show_run_failure(const std::string& raw, const std::string& for_staff) {
    (void)for_staff;
    show_error(raw);
  }
};

}  // namespace pos
