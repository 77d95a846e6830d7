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
};

// As the framework does, an error in a creation handler is shown with show_error and the rest of
// that handler is skipped; start-up goes on. Ignored arguments are named on stderr.
Program start_program(const CommandLine& cl, Dialogs& dialogs);

}  // namespace pos
