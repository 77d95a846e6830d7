#include "app/program.h"

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_dialogs.h"
#include "app/run_history.h"
#include "app/start_up.h"
#include "app/stop_signals.h"

namespace pos {

namespace {

std::filesystem::path exe_folder(const char* argv0) {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) self = std::filesystem::absolute(argv0);
  return self.parent_path();
}

// True when the window can be shown: an X or Wayland display, or a platform named for Qt.
bool display_available(int argc, char** argv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0) return true;
  return false;
}

}  // namespace

int run_program(int argc, char** argv) {
  auto given = [&](const char* option) {
    for (int i = 1; i < argc; ++i)
      if (std::strcmp(argv[i], option) == 0) return true;
    return false;
  };
  if (given("--help") || given("-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (given("--version")) {
    std::cout << kVersion << "\n";
    return 0;
  }

  if (given("--history")) {  // no window, no database
    try {
      std::vector<std::string> args;
      for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--history") != 0) args.emplace_back(argv[i]);
      std::cout << history_table(parse_command_line(args, exe_folder(argv[0])).home);
      return 0;
    } catch (const UsageError& e) {
      std::cerr << "pos-updater: " << e.what() << "\n" << kUsage;
      return kStartupFailed;
    }
  }

  watch_stop_signals();  // before the window's and the database engine's threads start

  if (given("--headless")) {
    try {
      return run_headless(parse_command_line(std::vector<std::string>(argv + 1, argv + argc), exe_folder(argv[0])));
    } catch (const UsageError& e) {
      std::cerr << "pos-updater: " << e.what() << "\n" << kUsage;
      return kStartupFailed;
    }
  }

  if (!display_available(argc, argv)) {
    std::cerr << "pos-updater: there is no display for the window (DISPLAY is not set); run it with --headless\n";
    return kStartupFailed;
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
  on_stop_signal([&window] { window.stop_and_close(); });
  window.show();
  window.start_timer();
  const int status = app.exec();
  on_stop_signal(nullptr);
  return status;
}

}  // namespace pos
