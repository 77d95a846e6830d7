#pragma once
// Message boxes on the Qt window. Callable from the run's thread: the box is shown on the GUI
// thread and the caller waits until the operator closes it.

#include <QWidget>

#include "app/dialogs.h"

namespace pos {

class QtDialogs : public Dialogs {
 public:
  QWidget* parent = nullptr;  // the window, once it exists
  void show_message(const std::string& big5_text) override;
  void show_failure(const std::string& big5_text) override;  // as an error: the run ends on it
  void show_error(const std::string& big5_text) override;
  // Staff read what happened and what to do; the log files keep the raw text.
  void show_run_failure(const std::string&, const std::string& for_staff) override { show(for_staff, true); }

 private:
  void show(const std::string& big5_text, bool error);
};

}  // namespace pos
