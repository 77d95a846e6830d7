#include "app/start_up.h"

#include <iostream>

#include "jobs/job_table.h"
#include "service/service_settings.h"
#include "text/number_format.h"

namespace pos {

namespace {

void warn(const std::string& text) { std::cerr << "pos-updater: " << text << "\n"; }

// What the operator or cron most likely did not mean, said on stderr; the log panel stays as it is.
void warn_about(const CommandLine& cl, const TFormTollmere& form) {
  for (const auto& a : cl.ignored) warn("ignoring the argument '" + a + "'");
  if (!cl.args.empty() && cl.args[0].rfind("--", 0) != 0 && parse_integer_or(cl.args[0], 0) == 0 &&
      parse_integer_or(cl.args[0], 1) == 1)
    warn("the mode '" + cl.args[0] + "' is not a number: mode 0 (changes update)");
  const auto ini = cl.home / "httpset.ini";
  const ServiceSettings settings = read_service_settings(ini);
  if (!settings.file_found)
    warn(ini.string() + " cannot be read: the service settings take their defaults");
  else if (!settings.section_found)
    warn(ini.string() + " has no [set] section: the service settings take their defaults");
  if (!cl.headless) return;
  if (form.RadioGroup1 == 0 && !cl.jobs.empty()) {
    warn("--jobs is ignored in mode 0: a changes update runs every job");
  } else if (form.RadioGroup1 != 0) {
    const auto& table = job_table();
    bool any = false;
    for (std::size_t i = 0; i < form.CheckListBox1.size(); ++i)
      any = any || (form.CheckListBox1[i].checked && table[i].run);
    if (!any) warn("no job is ticked (--jobs): the run only checks the service");
  }
}

}  // namespace

Program start_program(const CommandLine& cl, Dialogs& dialogs) {
  Program p;
  p.form = std::make_unique<TFormTollmere>(FormOptions{cl.home, cl.local_db}, dialogs);
  try {
    p.form->FormCreate(cl.args);
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    p.start_failed = true;
  }
  for (int j : cl.jobs)
    if (static_cast<std::size_t>(j) < p.form->CheckListBox1.size())
      p.form->CheckListBox1[static_cast<std::size_t>(j)].checked = true;
  p.data_module = std::make_unique<TDataModHttp>(cl.home, dialogs);
  try {
    p.data_module->DataModuleCreate();
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
    p.start_failed = true;
  }
  p.form->DataModHttp = p.data_module.get();
  warn_about(cl, *p.form);
  return p;
}

}  // namespace pos
