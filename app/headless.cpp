#include "app/headless.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>

#include "app/run_history.h"
#include "app/start_up.h"
#include "jobs/job_table.h"
#include "service/data_mod_http.h"
#include "service/run_stop.h"
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
  // An error answer is shown without its "<RESULT>" and "</RESULT>" tags.
  void show_error(const std::string& text) override {
    std::cerr << "error: " << shown(std::string(error_answer_message(text))) << std::endl;
  }
};

// One line per job that ran: its counters and time.
void print_summary(const TFormTollmere& form) {
  const auto& jobs = job_table();
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const JobCounters& n = form.last_run()[i];
    if (!n.ran) continue;
    char line[256];
    std::snprintf(line, sizeof line, "job %2zu: fetched %7zu  written %7zu  refused %4zu  failed %4zu  %7.2f s  ", i,
                  n.fetched, n.written, n.refused, n.failed, n.seconds);
    std::cerr << line << shown(jobs[i].caption) << "\n";
  }
}

void report_stop() {
  const int sig = run_stop_signal();
  std::cerr << "pos-updater: stopped by "
            << (sig == SIGINT    ? "SIGINT"
                : sig == SIGTERM ? "SIGTERM"
                                 : "request")
            << "; what was written is kept and nothing more was acknowledged" << std::endl;
}

}  // namespace

int run_headless(const CommandLine& cl) {
  StderrDialogs dialogs;
  Program p = start_program(cl, dialogs);
  if (p.start_failed) return kStartupFailed;
  TFormTollmere& form = *p.form;
  form.Memo1.on_append = [](const std::string& line) { std::cout << shown(line) << std::endl; };
  int status = form.last_run_had_row_errors() ? kRunCompletedWithDataErrors : kRunCompleted;
  const std::time_t start = std::time(nullptr);
  bool stopped = false;
  int retries = 0;
  if (form.DataModHttp)
    form.DataModHttp->IdHTTP1.on_retry = [&retries](const std::string& why) {
      ++retries;
      std::cerr << "pos-updater: " << shown(why) << std::endl;
    };
  try {
    form.SpeedButton1Click();
    status = form.last_run_had_row_errors() ? kRunCompletedWithDataErrors : kRunCompleted;
  } catch (const RunStopped&) {
    report_stop();
    stopped = true;
    status = kRunEndedEarly;
  } catch (const SilentAbort&) {
    status = kRunEndedEarly;  // its message was shown already
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    status = kRunEndedEarly;
  }
  record_run(form, start, status, stopped, retries);
  if (cl.summary) print_summary(form);
  return status;
}

}  // namespace pos
