#include "app/program.h"

#include <QApplication>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string_view>

#include "app/command_line.h"
#include "app/headless.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_dialogs.h"
#include "app/run_history.h"
#include "app/start_up.h"
#include "app/stop_signals.h"
#include "app/terminal_folder_check.h"
#include "app/terminal_lock.h"
#include "text/big5.h"

namespace pos {

namespace {

// Message boxes and the window in one face that has Chinese and Latin letters of one size (the
// fallback for Chinese in a Latin face draws it smaller).
void use_one_font_for_every_script(QApplication& app) {
  QFont font = app.font();
  font.setFamilies({"Noto Sans CJK TC", "AR PL UKai TW", "AR PL UKai TW MBE", "Noto Serif CJK TC"});
  font.setPixelSize(16);
  app.setFont(font);
}

std::filesystem::path exe_folder(const char* argv0) {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) self = std::filesystem::absolute(argv0);
  return self.parent_path();
}

// True when the window can be shown: an X or Wayland display, or a platform named for Qt.
bool display_available(const CommandLine& cl) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v && *v) return true;
  }
  return std::find(cl.toolkit.begin(), cl.toolkit.end(), "-platform") != cl.toolkit.end();
}

// Qt's own lines about its platform while the window starts, for the reason if it cannot.
std::string& platform_lines() {
  static std::string lines;
  return lines;
}

// Qt aborts (status 134, "Reinstalling the application may fix this problem") when its platform
// cannot start, e.g. on a DISPLAY whose X server is gone. Its fatal message is taken here instead:
// what happened, what to do, and the start-up status.
void on_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    const char* display = std::getenv("DISPLAY");
    const std::string lines = platform_lines();
    std::cerr << "pos-updater: the window cannot open"
              << (display && *display ? std::string(" on display ") + display : std::string()) << " ("
              << (lines.empty() ? text.toStdString() : lines.substr(0, lines.find('\n')))
              << "); run it with --headless, or with DISPLAY naming a running X server" << std::endl;
    std::_Exit(kStartupFailed);
  }
  if (context.category && std::string_view(context.category).starts_with("qt.qpa")) {
    platform_lines() += text.toStdString() + "\n";
    return;
  }
  std::cerr << qFormatLogMessage(type, context, text).toStdString() << std::endl;
}

}  // namespace

int run_program(int argc, char** argv) {
  CommandLine cl;
  try {
    cl = parse_command_line(std::vector<std::string>(argv + 1, argv + argc), exe_folder(argv[0]));
  } catch (const UsageError& e) {
    std::cerr << "pos-updater: " << e.what() << "\n" << kUsage;
    return kStartupFailed;
  }
  if (cl.help) {
    std::cout << kUsage;
    return 0;
  }
  if (cl.version) {
    std::cout << kVersion << "\n";
    return 0;
  }
  if (cl.history) {  // no window, no database, nothing written
    try {
      std::cout << history_table(cl.home);
      return 0;
    } catch (const std::exception& e) {
      std::cerr << "pos-updater: " << e.what() << "\n";
      return kStartupFailed;
    }
  }

  watch_stop_signals();  // before the window's and the database engine's threads start
  if (cl.headless) return run_headless(cl);

  if (!display_available(cl)) {
    std::cerr << "pos-updater: there is no display for the window (DISPLAY is not set); run it with --headless\n";
    return kStartupFailed;
  }
  qInstallMessageHandler(on_qt_message);
  QApplication app(argc, argv);  // takes its own options (cl.toolkit) out of argv
  qInstallMessageHandler(nullptr);
  std::cerr << platform_lines();

  QtDialogs dialogs;
  use_one_font_for_every_script(app);
  // With the display open, before anything is written in the folder.
  try {
    check_terminal_folder(cl.home, cl.home_named);
    become_folder_owner(cl.home);
    check_run_history(cl.home);
  } catch (const FolderRefused& e) {
    dialogs.show_error(big5("此終端機資料夾不能使用，資料更新沒有開始。") + "\n" + e.what());
    return kStartupFailed;
  }
  Program p = new_program(cl, dialogs);
  // Start-up opens the database and upgrades it: only while this process holds the folder. Each run
  // of the window takes it again. "" once started, else who holds the folder (or the database).
  TerminalLock lock(cl.home);
  const std::string what = run_description(cl.mode, false);
  auto start_up = [&]() -> std::string {
    if (!lock.take(what)) return lock.holder();
    start_program(p, cl, dialogs);  // a failed step was shown; the window opens all the same
    lock.release();
    return p.database_in_use ? database_in_use_message(*p.form) : "";
  };
  std::string holder;
  try {
    holder = start_up();
  } catch (const std::exception& e) {
    dialogs.show_error(big5("此終端機資料夾不能使用，資料更新沒有開始。") + "\ncannot lock the terminal folder " +
                       cl.home.string() + ": " + e.what());
    return kStartupFailed;
  }

  MainWindow window(*p.form, dialogs);
  dialogs.parent = &window;
  window.refresh();
  on_stop_signal([&window] { window.stop_and_close(); });
  window.show();
  if (holder.empty()) {
    window.start_timer();
  } else {
    // Staff who open the window during another run see who holds the folder; it starts when free.
    p.form->Memo1.append(folder_busy_wait_line(holder));
    window.wait_for_start_up([&]() -> std::string {
      try {
        return start_up();
      } catch (const std::exception& e) {
        return e.what();
      }
    });
  }
  const int status = app.exec();
  on_stop_signal(nullptr);
  return status;
}

}  // namespace pos
