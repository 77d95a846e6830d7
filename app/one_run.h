#pragma once
// One run of the form as either front starts it, and what follows a run whatever its end: the
// error box, a closing log line for a run that ended early, the warnings, the run history.

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/form_tollmere.h"

namespace pos {

struct RunResult {
  int status = 0;  // app/exit_status.h
  bool stopped = false;
  std::string reason;                 // why it ended early (Big5); empty when it completed
  std::string for_staff;              // the same as staff read it (Big5)
  std::time_t failed_at = 0;          // when it ended early
  std::vector<std::string> warnings;  // UTF-8, for stderr: what the run must not keep to itself
};

struct RunOptions {
  std::string mode_given;  // the mode argument, recorded when it is not the mode as it stands
  // Told of each request sent again (UTF-8); counted for the history whether set or not.
  std::function<void(const std::string&)> on_retry;
};

// Runs SpeedButton1Click. An error that ends the run is shown with show_run_failure (a silent abort
// has shown its own); a run that ended early gets one closing log line with the time and why; a
// machine head office does not know and statements it did not confirm become warnings (the
// latter also a log line); the run is appended to the history.
RunResult run_once(TFormTollmere& form, Dialogs& dialogs, const RunOptions& options = {});

// Appends a run that did not start (headless exit status 2) to the history of `folder`.
void record_start_failure(const std::filesystem::path& folder, int mode, const std::string& mode_given,
                          const std::string& reason);

// Big5 text as UTF-8; text that is not Big5 (a system message) as it is when it is UTF-8.
std::string as_utf8(const std::string& text);

}  // namespace pos
