#include "app/one_run.h"

#include <csignal>

#include "app/exit_status.h"
#include "app/run_history.h"
#include "service/data_mod_http.h"
#include "service/run_stop.h"
#include "service/service_errors.h"
#include "text/big5.h"
#include "text/date_format.h"

namespace pos {

namespace {

std::string first_line(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

bool valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = utf8_sequence(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string stop_reason() {
  const int sig = run_stop_signal();
  return std::string("stopped by ") + (sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "request");
}

// Warnings of a run that got to its end, and the log line for unconfirmed statements, whose
// number it returns.
std::size_t warn_about_run(TFormTollmere& form, RunResult& result) {
  if (form.machine_unknown())
    result.warnings.push_back("head office does not know this machine: MCH_ITEM has no row for MCH_NO '" +
                              as_utf8(form.MachineNo) + "' (MCH_NO.TXT), so no job gets anything for this terminal");
  std::size_t unconfirmed = 0;
  std::string jobs;
  for (std::size_t i = 0; i < form.last_run().size(); ++i) {
    const std::size_t n = form.last_run()[i].unconfirmed;
    if (n == 0) continue;
    unconfirmed += n;
    jobs += (jobs.empty() ? "job " : ", job ") + std::to_string(i) + ": " + std::to_string(n);
  }
  if (unconfirmed == 0) return 0;
  form.Memo1.append(big5(" 總部未確認 ") + std::to_string(unconfirmed) +
                    big5(" 筆異動記錄的處理 (請看 message.txt)..!"));
  std::string last = form.DataModHttp ? first_line(form.DataModHttp->LastServiceMessage()) : "";
  result.warnings.push_back("head office did not confirm " + std::to_string(unconfirmed) +
                            " change-log statement(s) (" + jobs +
                            "); what they remove or mark may still stand in its change logs. Its last answer: " +
                            (last.empty() ? "(empty)" : as_utf8(last)));
  return unconfirmed;
}

std::string outcome_of(const RunResult& r, const TFormTollmere& form) {
  if (r.stopped) return "stopped";
  if (r.status == kRunEndedEarly) return "ended early";
  if (r.status == kRunCompletedWithDataErrors)
    return form.last_run_had_row_errors() ? "completed with row errors" : "completed with unconfirmed statements";
  return "completed";
}

}  // namespace

RunResult run_once(TFormTollmere& form, Dialogs& dialogs, const RunOptions& options) {
  const std::time_t start = std::time(nullptr);
  RunResult result;
  int retries = 0;
  HttpClient* http = form.DataModHttp ? &form.DataModHttp->http() : nullptr;
  if (http)
    http->on_retry = [&](const std::string& why) {
      ++retries;
      if (options.on_retry) options.on_retry(as_utf8(why));
    };
  try {
    form.SpeedButton1Click();
    const bool unconfirmed = warn_about_run(form, result) > 0;
    result.status = form.last_run_had_row_errors() || unconfirmed ? kRunCompletedWithDataErrors : kRunCompleted;
  } catch (const RunStopped&) {
    result.stopped = true;
    result.reason = stop_reason();
  } catch (const SilentAbort& e) {
    result.reason = e.shown().empty() ? std::string(e.what()) : e.shown();  // shown already
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    result.reason = e.what();
  }
  if (http) http->on_retry = nullptr;
  if (!result.reason.empty()) {
    result.status = kRunEndedEarly;
    const std::string why = first_line(result.reason);  // a long answer's start is enough for the log
    form.Memo1.append(format_run_timestamp(form.options().now()) + big5(" 資料更新中斷: ") +
                      why.substr(0, big5_fit(why, 300)));
  }

  RunRecord run;
  run.start = start;
  run.end = std::time(nullptr);
  run.mode = form.RadioGroup1;
  run.mode_given = options.mode_given;
  run.jobs = form.last_run();
  run.exit_status = result.status;
  run.retries = retries;
  run.outcome = outcome_of(result, form);
  run.note = !result.reason.empty()     ? as_utf8(first_line(result.reason))
             : !result.warnings.empty() ? result.warnings.front()
                                        : "";
  if (!form.folder_warning().empty()) run.note += (run.note.empty() ? "" : "; ") + form.folder_warning();
  append_run(form.home(), run);
  return result;
}

void record_start_failure(const std::filesystem::path& folder, int mode, const std::string& mode_given,
                          const std::string& reason) {
  RunRecord run;
  run.start = run.end = std::time(nullptr);
  run.mode = mode;
  run.mode_given = mode_given;
  run.outcome = "did not start";
  run.exit_status = kStartupFailed;
  run.note = as_utf8(first_line(reason));
  append_run(folder, run);
}

std::string as_utf8(const std::string& text) {
  try {
    return big5_to_utf8(text);
  } catch (const TextError&) {
    return valid_utf8(text) ? text : big5_to_utf8_lossy(text);  // e.g. a system message already in UTF-8
  }
}

std::string mode_as_given(const std::vector<std::string>& args) {
  if (args.empty() || args[0].rfind("--", 0) == 0) return "";
  const std::string& a = args[0];
  return a == "0" || a == "1" || a == "-1" ? "" : a;
}

}  // namespace pos
