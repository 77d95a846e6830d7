#include "app/program.h"

#include <QApplication>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/command_line.h"
#include "app/form_tollmere.h"
#include "app/headless.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_dialogs.h"
#include "service/data_mod_http.h"

namespace pos {

namespace {

std::filesystem::path exe_folder(const char* argv0) {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) self = std::filesystem::absolute(argv0);
  return self.parent_path();
}

}  // namespace

int run_program(int argc, char** argv) {
  bool headless = false;
  for (int i = 1; i < argc; ++i) headless = headless || std::strcmp(argv[i], "--headless") == 0;

  if (headless) {
    try {
      return run_headless(parse_command_line(std::vector<std::string>(argv + 1, argv + argc), exe_folder(argv[0])));
    } catch (const UsageError& e) {
      std::cerr << "pos-updater: " << e.what() << "\n" << kUsage;
      return kStartupFailed;
    }
  }

  QApplication app(argc, argv);  // takes its own options (-platform, ...) out of argv
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  CommandLine cl;
  try {
    cl = parse_command_line(args, exe_folder(argv[0]));
  } catch (const UsageError& e) {
    std::cerr << "pos-updater: " << e.what() << "\n" << kUsage;
    return kStartupFailed;
  }

  QtDialogs dialogs;
  TFormTollmere form(FormOptions{cl.home, cl.local_db}, dialogs);
  try {
    form.FormCreate(cl.args);
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());  // the rest of start-up goes on
  }
  for (int j : cl.jobs)
    if (static_cast<std::size_t>(j) < form.CheckListBox1.size())
      form.CheckListBox1[static_cast<std::size_t>(j)].checked = true;
  TDataModHttp data_module(cl.home, dialogs);
  try {
    data_module.DataModuleCreate();
  } catch (const std::exception& e) {
    dialogs.show_error(e.what());
  }
  form.DataModHttp = &data_module;

  MainWindow window(form, dialogs);
  dialogs.parent = &window;
  window.refresh();
  window.show();
  window.start_timer();
  return app.exec();
}

}  // namespace pos
