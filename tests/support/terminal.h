#pragma once
// A terminal for end-to-end tests: a terminal folder pointing at a reference service, the form
// with its data module, and messages recorded instead of shown.

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/form_tollmere.h"
#include "service/data_mod_http.h"
#include "tests/support/reference_service.h"

namespace pos::testing {

class RecordingDialogs : public Dialogs {
 public:
  void show_message(const std::string& t) override;
  void show_error(const std::string& t) override;
  std::vector<std::string> messages() const;
  std::vector<std::string> errors() const;

 private:
  mutable std::mutex mu_;
  std::vector<std::string> messages_, errors_;
};

class Terminal {
 public:
  // `port`: where the terminal reaches the service (0: the service's own port).
  explicit Terminal(const ReferenceService& service, const std::string& machine = "001", int port = 0);
  ~Terminal();

  // Starts the program's form and data module as the program does (arguments after the name).
  void start(const std::vector<std::string>& args);

  // One run with `jobs` ticked; returns the error text that ended it ("" when it completed;
  // "silent abort" when it ended silently).
  std::string run(int mode, const std::vector<int>& jobs = {});

  TFormTollmere& form() { return *form_; }
  RecordingDialogs& dialogs() { return dialogs_; }
  const std::filesystem::path& home() const { return home_; }
  std::string database() const { return (home_ / "Data" / "POS_LOC.GDB").string(); }

  // The log lines of the last run, in UTF-8.
  std::vector<std::string> log_lines() const;
  // Rows of a local query (values as text).
  std::vector<std::vector<std::string>> local_rows(const std::string& query);

 private:
  std::filesystem::path home_;
  RecordingDialogs dialogs_;
  std::unique_ptr<TFormTollmere> form_;
  std::unique_ptr<TDataModHttp> data_module_;
  std::size_t run_start_ = 0;
};

}  // namespace pos::testing
