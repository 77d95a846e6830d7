#include "app/start_up.h"

#include <iostream>

namespace pos {

Program start_program(const CommandLine& cl, Dialogs& dialogs) {
  for (const auto& a : cl.ignored) std::cerr << "pos-updater: ignoring the argument '" << a << "'\n";
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
  return p;
}

}  // namespace pos
