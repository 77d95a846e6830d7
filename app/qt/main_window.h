#pragma once
// The Qt window that draws TFormTollmere: layout, captions and font of the form, and a worker
// thread for runs so that the window repaints while a run goes.

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <atomic>
#include <functional>
#include <thread>

#include "app/dialogs.h"
#include "app/form_tollmere.h"
#include "app/one_run.h"
#include "app/terminal_lock.h"

namespace pos {

// Threads: the window's members and widgets are the Qt thread's. The form belongs to the Qt thread
// while no run goes; from start_run until run_finished it belongs to the worker thread, and the Qt
// thread reads nothing of it but what the form's listeners (Memo1, ProgressBar1, on_checked) hand
// over through queued calls. running_ is the one member both threads read.
class MainWindow : public QWidget {
 public:
  // `form` and `dialogs` must outlive the window; the window sets the form's view hooks.
  MainWindow(TFormTollmere& form, Dialogs& dialogs);
  ~MainWindow() override;

  // Brings the widgets in line with the form (after start-up and after a run).
  void refresh();

  // Starts a run on the worker thread, as the start button does, once it holds the terminal
  // folder's lock (a run going elsewhere: a box says so and nothing runs). Ignored while a run goes.
  void start_run();
  bool running() const { return running_; }

  // A stop signal: a running run stops at its next safe point and the window then closes as F6
  // closes it; without a run it closes at once. Safe from any thread.
  void stop_and_close();

  // Starts the one-shot timer of the automatic start.
  void start_timer(int ms = 1000);

  // Starts the program once the terminal folder is free: "" when it did, else who holds the folder.
  using StartUp = std::function<std::string()>;
  // Start-up waits while another run holds the terminal folder: `try_start_up` is asked every
  // `poll_ms` and when the operator presses the start button. Once it has started the program,
  // the automatic start follows as after any start-up, or the operator's run at once; while the
  // folder is still held, the button's box says who holds it.
  void wait_for_start_up(StartUp try_start_up, int poll_ms = 1000);
  bool waiting_for_start_up() const { return static_cast<bool>(try_start_up_); }

  QListWidget* job_list() const { return list_; }
  QRadioButton* mode_button(int index) const { return index == 0 ? changes_ : full_; }
  QToolButton* start_button() const { return start_; }
  QToolButton* exit_button() const { return exit_; }
  QPlainTextEdit* log_view() const { return memo_; }
  QProgressBar* progress() const { return progress_; }
  QLabel* label() const { return label_; }
  // Under the log: why the last run ended early, in red with the time, until the next run starts.
  QLabel* status_line() const { return status_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void run_finished();
  void sync_ticks_to_form();
  std::string start_up_now();

  TFormTollmere& form_;
  Dialogs& dialogs_;
  QLabel* label_;
  QRadioButton* changes_;
  QRadioButton* full_;
  QToolButton* start_;
  QToolButton* exit_;
  QListWidget* list_;
  QPlainTextEdit* memo_;
  QProgressBar* progress_;
  QLabel* status_;
  std::thread worker_;
  std::atomic<bool> running_{false};
  bool close_when_stopped_ = false;
  TerminalLock lock_;      // held for each run
  RunResult last_result_;  // the worker's, read by the Qt thread once the worker is joined
  StartUp try_start_up_;   // set while start-up waits for the folder
  QTimer* start_up_poll_ = nullptr;
};

// Text of the form (Big5) for a widget.
QString qt_text(const std::string& big5);

}  // namespace pos
