#include "app/headless.h"

#include <cstdio>
#include <iostream>

#include "app/one_run.h"
#include "app/start_up.h"
#include "app/terminal_folder_check.h"
#include "app/terminal_lock.h"
#include "jobs/job_table.h"

namespace pos {

namespace {

class StderrDialogs : public Dialogs {
 public:
  void show_message(const std::string& text) override { std::cerr << as_utf8(text) << std::endl; }
  // An error answer is shown without its "<RESULT>" and "</RESULT>" tags.
  void show_error(const std::string& text) override {
    std::cerr << "error: " << as_utf8(std::string(error_answer_message(text))) << std::endl;
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
    std::cerr << line;
    if (n.unconfirmed > 0) std::cerr << "unconfirmed " << n.unconfirmed << "  ";
    std::cerr << as_utf8(jobs[i].caption) << "\n";
  }
}

void say(const std::string& text) { std::cerr << "pos-updater: " << text << std::endl; }

}  // namespace

int run_headless(const CommandLine& cl) {
  StderrDialogs dialogs;
  try {
    check_terminal_folder(cl.home, cl.home_named);
    become_folder_owner(cl.home);
    check_run_history(cl.home);
  } catch (const FolderRefused& e) {
    say(e.what());  // nothing was written in the folder
    return kStartupFailed;
  }
  // The folder is this run's before the database or head office is touched.
  TerminalLock lock(cl.home);
  try {
    if (!lock.take(run_description(cl.mode, true))) {
      say(folder_busy_message(cl.home, lock.holder()));
      return kFolderBusy;
    }
  } catch (const std::exception& e) {
    say("cannot lock the terminal folder " + cl.home.string() + ": " + e.what());
    return kStartupFailed;
  }
  Program p = new_program(cl, dialogs);
  start_program(p, cl, dialogs);
  if (p.database_in_use) {
    say(database_in_use_message(*p.form));
    return kFolderBusy;
  }
  if (p.start_failed) {
    record_start_failure(cl.home, cl.mode, cl.mode_given, p.start_error);
    return kStartupFailed;
  }
  TFormTollmere& form = *p.form;
  form.Memo1.on_append = [](const std::string& line) { std::cout << as_utf8(line) << std::endl; };
  const RunResult r = run_once(form, dialogs, {cl.mode_given, [](const std::string& why) { say(why); }});
  if (r.stopped) say(r.reason + "; what was written is kept and nothing more was acknowledged");
  for (const auto& w : r.warnings) say("warning: " + w);
  if (cl.summary) print_summary(form);
  return r.status;
}

}  // namespace pos
