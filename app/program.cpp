#include "app/program.h"

#include <QApplication>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_dialogs.h"
#include "app/start_up.h"

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
  Program p = start_program(cl, dialogs);  // a failed step was shown; the window opens all the same
  TFormTollmere& form = *p.form;

  MainWindow window(form, dialogs);
  dialogs.parent = &window;
  window.refresh();
  window.show();
  window.start_timer();
  return app.exec();
}

}  // namespace pos
