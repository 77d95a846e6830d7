#pragma once
// A terminal for end-to-end tests: a terminal folder pointing at a reference service, the form
// with its data module, and messages recorded instead of shown.

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/form_tollmere.h"
#include "service/data_mod_http.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/reference_service.h"
#include "tests/support/temp_folder.h"

namespace pos::testing {

class Terminal {
 public:
  // `port`: where the terminal reaches the service (0: the service's own port).
  explicit Terminal(const ReferenceService& service, const std::string& machine = "001", int port = 0);
  ~Terminal();

  // The run's date from now on: "YYYY/MM/DD" (noon of that day, local time). Call before start.
  void fix_date(const std::string& yyyy_mm_dd);

  // Starts the program's form and data module as the program does (arguments after the name).
  void start(const std::vector<std::string>& args);

  // One run with `jobs` ticked; returns the error text that ended it ("" when it completed;
  // "silent abort" when it ended silently).
  std::string run(int mode, const std::vector<int>& jobs = {});

  TFormTollmere& form() { return *form_; }
  RecordingDialogs& dialogs() { return dialogs_; }
  const std::filesystem::path& home() const { return home_.path(); }
  std::string database() const { return (home_ / "Data" / "POS_LOC.GDB").string(); }

  // The log lines of the last run, in UTF-8.
  std::vector<std::string> log_lines() const;
  // Rows of a local query (values as text).
  std::vector<std::vector<std::string>> local_rows(const std::string& query);
  // What job `index` did in the last run.
  const JobCounters& counters(std::size_t index) const { return form_->last_run().at(index); }

 private:
  TempFolder home_{"posterm"};
  RecordingDialogs dialogs_;
  std::function<std::time_t()> now_ = [] { return std::time(nullptr); };
  std::unique_ptr<TFormTollmere> form_;
  std::unique_ptr<TDataModHttp> data_module_;
  std::size_t run_start_ = 0;
};

}  // namespace pos::testing
