#include "app/headless.h"

#include <iostream>

#include "app/form_tollmere.h"
#include "service/data_mod_http.h"
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
  void show_error(const std::string& text) override { std::cerr << "error: " << shown(text) << std::endl; }
};

}  // namespace

int run_headless(const CommandLine& cl) {
  StderrDialogs dialogs;
  TFormTollmere form(FormOptions{cl.home, cl.local_db}, dialogs);
  form.Memo1.on_append = [](const std::string& line) { std::cout << shown(line) << std::endl; };

  try {
    form.FormCreate(cl.args);
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    return kStartupFailed;
  }
  TDataModHttp data_module(cl.home, dialogs);
  try {
    data_module.DataModuleCreate();
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    return kStartupFailed;
  }
  form.DataModHttp = &data_module;

  if (form.RadioGroup1 != 0)
    for (int j : cl.jobs) form.CheckListBox1[static_cast<std::size_t>(j)].checked = true;
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
