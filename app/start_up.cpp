#include "app/start_up.h"

#include <iostream>

#include "app/folder_exposure.h"
#include "jobs/job_table.h"
#include "localdb/errors.h"
#include "service/service_settings.h"
#include "text/number_format.h"

namespace pos {

namespace {

void warn(const std::string& text) { std::cerr << "pos-updater: " << text << "\n"; }

// What the operator or cron most likely did not mean, said on stderr; the log panel stays as it is.
void warn_about(const CommandLine& cl, const TFormTollmere& form) {
  for (const auto& a : cl.ignored) warn("ignoring the argument '" + a + "'");
  if (const std::string& a = cl.mode_given; !a.empty()) {
    const int n = parse_integer_or(a, 0);
    if (n == 0 && parse_integer_or(a, 1) == 1)
      warn("the mode '" + a + "' is not a number: mode 0 (changes update)");
    else if (n < -1 || n > 1)
      warn("there is no mode '" + a + "' (0 changes update, 1 full update, -1 none): it is read as mode " +
           std::to_string(cl.mode) + ", as the window's mode selector takes it");
  }
  if (const std::string exposed = exposed_folder_warning(cl.home); !exposed.empty()) warn("warning: " + exposed);
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

// What to check when the local database could not be opened: a server that does not answer, or a
// sign-in it refused.
std::string what_to_check(const std::exception& e, const TFormTollmere& form) {
  const ConnectionParams& db = form.SQLCon_Loc.params();
  const auto ini = form.home() / "httpset.ini";
  if (dynamic_cast<const LocalLoginRefused*>(&e))
    return "\npos-updater signs in to the terminal's database as " + db.user + " with the password of [localdb] in " +
           ini.string() +
           " (user= and password=; absent: the fixed ones); they must be the Firebird server's, e.g. ISC_PASSWORD "
           "in /etc/firebird/3.0/SYSDBA.password";
  if (dynamic_cast<const LocalConnectionLost*>(&e) && !form.SQLCon_Loc.connected() && !is_embedded_path(db.database))
    return "\nthe terminal's Firebird server is not running or does not answer (start it: service firebird3.0 start); "
           "without a server, open the file with the embedded engine: --local-db " +
           (form.home() / "Data" / "POS_LOC.GDB").string();
  return "";
}

}  // namespace

std::string database_in_use_message(const TFormTollmere& form) {
  return "another process has the terminal's database " + form.SQLCon_Loc.params().database +
         " open, and the embedded engine lets one process at a time open it; this run does not start";
}

Program new_program(const CommandLine& cl, Dialogs& dialogs) {
  Program p;
  p.form = std::make_unique<TFormTollmere>(FormOptions{cl.home, cl.local_db}, dialogs);
  return p;
}

void start_program(Program& p, const CommandLine& cl, Dialogs& dialogs) {
  p.database_in_use = false;
  auto failed = [&](const std::string& text) {
    dialogs.show_error(text);
    if (!p.start_failed) p.start_error = text;
    p.start_failed = true;
  };
  try {
    p.form->FormCreate(cl.mode);
  } catch (const LocalDatabaseInUse&) {
    p.database_in_use = true;
    return;
  } catch (const std::exception& e) {
    failed(e.what() + what_to_check(e, *p.form));
  }
  for (int j : cl.jobs)
    if (static_cast<std::size_t>(j) < p.form->CheckListBox1.size())
      p.form->CheckListBox1[static_cast<std::size_t>(j)].checked = true;
  p.data_module = std::make_unique<TDataModHttp>(cl.home, dialogs);
  try {
    p.data_module->DataModuleCreate();
  } catch (const std::exception& e) {
    failed(e.what());
  }
  p.form->DataModHttp = p.data_module.get();
  warn_about(cl, *p.form);
}

}  // namespace pos
