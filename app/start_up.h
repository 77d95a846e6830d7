#pragma once
// The program's start, shared by the window and the headless front: the form and its creation
// handler, then the data module and its creation handler, then the --jobs ticks.

#include <memory>

#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/form_tollmere.h"
#include "service/data_mod_http.h"

namespace pos {

struct Program {
  std::unique_ptr<TFormTollmere> form;
  std::unique_ptr<TDataModHttp> data_module;
  bool start_failed = false;  // a creation handler ended by an error, which was shown
  std::string start_error;    // the first such error, as shown
  // The embedded engine of another process has the database open; nothing was shown.
  bool database_in_use = false;
};

// The program's form, not yet created (a window can draw it while start-up waits).
Program new_program(const CommandLine& cl, Dialogs& dialogs);

// The creation handlers of `p`. As the framework does, an error in a creation handler is shown
// with show_error and the rest of that handler is skipped; start-up goes on. A local database that
// cannot be opened gets a word on what to check. Ignored arguments and unlikely choices are named
// on stderr. Can be called again after database_in_use.
void start_program(Program& p, const CommandLine& cl, Dialogs& dialogs);

// For stderr: another process has the terminal's database open, so this run does not start.
std::string database_in_use_message(const TFormTollmere& form);

}  // namespace pos
