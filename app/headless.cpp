#include "app/headless.h"

#include <iostream>

#include "app/start_up.h"
#include "service/service_errors.h"
#include "text/big5.h"

namespace pos {

namespace {

std::string shown(const std::string& big5) {
  try {
    return big5_to_utf8(big5);
  } catch (const TextError&) {
    return big5;  // not Big5 (e.g. a system message): as it is
  }
}

class StderrDialogs : public Dialogs {
 public:
  void show_message(const std::string& text) override { std::cerr << shown(text) << std::endl; }
  // An error answer is shown without its "<RESULT>" tag.
  void show_error(const std::string& text) override {
    const std::string_view tag = "<RESULT>";
    std::cerr << "error: " << shown(text.starts_with(tag) ? text.substr(tag.size()) : text) << std::endl;
  }
};

}  // namespace

int run_headless(const CommandLine& cl) {
  StderrDialogs dialogs;
  Program p = start_program(cl, dialogs);
  if (p.start_failed) return kStartupFailed;
  TFormTollmere& form = *p.form;
  form.Memo1.on_append = [](const std::string& line) { std::cout << shown(line) << std::endl; };
  try {
    form.SpeedButton1Click();
  } catch (const SilentAbort&) {
    return kRunEndedEarly;  // its message was shown already
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    return kRunEndedEarly;
  }
  return form.last_run_had_row_errors() ? kRunCompletedWithDataErrors : kRunCompleted;
}

}  // namespace pos
