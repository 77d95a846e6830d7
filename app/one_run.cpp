#include "app/one_run.h"

#include <csignal>

#include "app/exit_status.h"
#include "app/run_history.h"
#include "app/staff_text.h"
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

// Warnings of a run that got to its end; the number of statements head office did not confirm.
std::size_t warn_about_run(TFormTollmere& form, RunResult& result) {
  if (form.machine_unknown())
    result.warnings.push_back(
        "head office does not know this machine: MCH_ITEM has no row for MCH_NO '" + as_utf8(form.MachineNo) +
        "' (MCH_NO.TXT), so no job gets anything for this terminal; head office registers it (with "
        "the reference service: headoffice-service terminals add " +
        as_utf8(form.MachineNo) + " --name NAME --store STORE)");
  const std::size_t unconfirmed = form.unconfirmed_statements();
  if (unconfirmed == 0) return 0;
  std::string jobs;
  for (std::size_t i = 0; i < form.last_run().size(); ++i) {
    const std::size_t n = form.last_run()[i].unconfirmed;
    if (n > 0) jobs += (jobs.empty() ? "job " : ", job ") + std::to_string(i) + ": " + std::to_string(n);
  }
  const UnconfirmedStatement& last = form.last_unconfirmed();
  const std::string answer = first_line(last.answer);
  result.warnings.push_back("head office did not confirm " + std::to_string(unconfirmed) +
                            " change-log statement(s) (" + jobs +
                            "); what they remove or mark may still stand in its change logs. The last one's answer" +
                            (last.file.empty() ? "" : " (in " + (form.home() / last.file).string() + ")") + ": " +
                            (answer.empty() ? "(empty)" : as_utf8(answer)));
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
    result.for_staff = big5("資料更新被停止，已寫入的資料都保留。");
    result.failed_at = form.options().now();
  } catch (const SilentAbort& e) {
    result.reason = e.shown().empty() ? std::string(e.what()) : e.shown();  // shown already
    result.for_staff = staff_text_connection_lost();
    result.failed_at = e.at() != 0 ? e.at() : form.options().now();
  } catch (const std::exception& e) {
    result.failed_at = form.options().now();
    result.reason = e.what();
    result.for_staff = staff_text(e);
    dialogs.show_run_failure(result.reason, result.for_staff);
  }
  if (http) http->on_retry = nullptr;
  if (!result.reason.empty()) {
    result.status = kRunEndedEarly;
    // One line that no reader takes for a run's closing timestamp: it begins with a blank, as job
    // lines do. A long answer's start is enough for the log.
    const std::string why(error_answer_message(first_line(result.reason)));
    form.Memo1.append(big5(" 資料更新中斷 ") + format_run_timestamp(result.failed_at) + ": " +
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
  // A run whose history could not be kept does not pass for a clean one (stderr says why).
  if (!append_run(form.home(), run) && result.status == kRunCompleted) result.status = kRunCompletedWithDataErrors;
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

}  // namespace pos
