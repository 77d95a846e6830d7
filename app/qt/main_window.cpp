#include "app/qt/main_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <ctime>

#include "app/exit_status.h"
#include "app/one_run.h"
#include "service/run_stop.h"
#include "text/big5.h"

namespace pos {

QString qt_text(const std::string& big5) { return QString::fromStdString(as_utf8(big5)); }

namespace {

QFrame* panel(QWidget* parent) {
  auto* p = new QFrame(parent);
  p->setFrameShape(QFrame::StyledPanel);
  p->setFrameShadow(QFrame::Raised);
  return p;
}

// A speed button: never takes the focus, so no key presses it.
QToolButton* speed_button(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
  auto* b = new QToolButton(parent);
  b->setText(caption);
  b->setGeometry(x, y, w, h);
  b->setFocusPolicy(Qt::NoFocus);
  b->setAutoRaise(false);
  return b;
}

}  // namespace

MainWindow::MainWindow(TFormTollmere& form, Dialogs& dialogs) : form_(form), dialogs_(dialogs), lock_(form.home()) {
  setWindowTitle("FormTollmere");
  QFont font;
  font.setFamilies(
      {QString::fromUtf8("標楷體"), "AR PL UKai TW", "AR PL UKai TW MBE", "Noto Sans CJK TC", "Noto Serif CJK TC"});
  font.setPixelSize(19);
  setFont(font);
  resize(688, 480 - 8 - 23);  // outer 696 x 480 with the usual frame
  setMinimumSize(400, 300);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  // Top strip: machine label, mode selector, start and exit.
  auto* top = panel(this);
  top->setFixedHeight(46);
  label_ = new QLabel(top);
  label_->setGeometry(11, 11, 245, 24);
  auto* group = new QFrame(top);
  group->setGeometry(259, 1, 226, 44);
  group->setFrameShape(QFrame::Box);
  changes_ = new QRadioButton(QString::fromUtf8("異動更新"), group);
  changes_->setGeometry(8, 10, 105, 26);
  full_ = new QRadioButton(QString::fromUtf8("全部更新"), group);
  full_->setGeometry(116, 10, 105, 26);
  auto* modes = new QButtonGroup(this);
  modes->setExclusive(false);  // allows "no mode" (-1)
  modes->addButton(changes_, 0);
  modes->addButton(full_, 1);
  connect(modes, &QButtonGroup::idClicked, this, [this](int id) {
    form_.RadioGroup1 = id;
    changes_->setChecked(id == 0);
    full_->setChecked(id == 1);
  });
  start_ = speed_button(top, QString::fromUtf8("Enter開始"), 488, 8, 96, 33);
  exit_ = speed_button(top, QString::fromUtf8("MGR結束"), 584, 8, 99, 33);
  connect(start_, &QToolButton::clicked, this, [this] { start_run(); });
  connect(exit_, &QToolButton::clicked, this, [this] { form_.SpeedButton2Click(); });
  outer->addWidget(top);

  // Middle: job list on the left, log filling the rest.
  auto* middle = new QWidget(this);
  auto* mid = new QHBoxLayout(middle);
  mid->setContentsMargins(0, 0, 0, 0);
  mid->setSpacing(0);
  list_ = new QListWidget(middle);
  list_->setFixedWidth(256);
  mid->addWidget(list_);
  memo_ = new QPlainTextEdit(middle);
  memo_->setReadOnly(true);
  memo_->setFocusPolicy(Qt::ClickFocus);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
  mid->addWidget(memo_);
  outer->addWidget(middle, 1);

  // Bottom strip with the progress bar along its bottom edge; above it, a run's failure, wrapped,
  // the strip growing to hold it.
  auto* bottom = panel(this);
  bottom->setMinimumHeight(41);
  auto* bot = new QVBoxLayout(bottom);
  bot->setContentsMargins(4, 0, 4, 0);
  bot->addStretch(1);
  status_ = new QLabel(bottom);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setStyleSheet("QLabel { color: #b00020; }");
  status_->hide();
  bot->addWidget(status_);
  progress_ = new QProgressBar(bottom);
  progress_->setFixedHeight(17);
  progress_->setTextVisible(false);
  bot->addWidget(progress_);
  outer->addWidget(bottom);

  // F6 anywhere closes, as the exit button does.
  auto* f6 = new QShortcut(QKeySequence(Qt::Key_F6), this);
  f6->setContext(Qt::WindowShortcut);
  connect(f6, &QShortcut::activated, this, [this] {
    if (!running_) form_.Action1Execute();
  });

  // The form's hooks. Model changes during a run arrive on the worker thread.
  form_.close_window = [this] { close(); };
  form_.start_action = [this] { start_run(); };
  form_.Memo1.on_append = [this](const std::string& line) {
    QString text = qt_text(line);
    QMetaObject::invokeMethod(
        this, [this, text] { memo_->appendPlainText(text); }, Qt::QueuedConnection);
  };
  form_.ProgressBar1.on_change = [this](int min, int max, int pos) {
    QMetaObject::invokeMethod(
        this,
        [this, min, max, pos] {
          progress_->setRange(min, max);
          progress_->setValue(pos);
        },
        Qt::QueuedConnection);
  };
  form_.on_checked = [this](std::size_t i) {
    QMetaObject::invokeMethod(
        this,
        [this, i] {
          if (auto* item = list_->item(static_cast<int>(i))) item->setCheckState(Qt::Checked);
        },
        Qt::QueuedConnection);
  };
  connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
    if (!running_) sync_ticks_to_form();
  });

  if (auto* screen = QGuiApplication::primaryScreen()) move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow() {
  if (worker_.joinable()) worker_.join();
  form_.Memo1.on_append = nullptr;
  form_.ProgressBar1.on_change = nullptr;
  form_.on_checked = nullptr;
  form_.close_window = nullptr;
  form_.start_action = nullptr;
}

void MainWindow::refresh() {
  label_->setText(qt_text(form_.Label1));
  changes_->setChecked(form_.RadioGroup1 == 0);
  full_->setChecked(form_.RadioGroup1 == 1);
  QSignalBlocker block(list_);
  if (list_->count() != static_cast<int>(form_.CheckListBox1.size())) {
    list_->clear();
    for (const auto& item : form_.CheckListBox1) {
      auto* w = new QListWidgetItem(qt_text(item.caption), list_);
      w->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      w->setSizeHint(QSize(0, 19 + 4));
    }
  }
  // While a run goes its thread owns the check list; ticks it sets arrive through on_checked.
  if (!running_) {
    for (int i = 0; i < list_->count(); ++i)
      list_->item(i)->setCheckState(form_.CheckListBox1[static_cast<std::size_t>(i)].checked ? Qt::Checked
                                                                                             : Qt::Unchecked);
  }
  start_->setEnabled((form_.SpeedButton1 || try_start_up_) && !running_);  // waiting: the operator may ask again
  exit_->setEnabled(!running_);
  changes_->setEnabled(!running_);
  full_->setEnabled(!running_);
  list_->setEnabled(!running_);
}

void MainWindow::sync_ticks_to_form() {
  for (int i = 0; i < list_->count() && i < static_cast<int>(form_.CheckListBox1.size()); ++i)
    form_.CheckListBox1[static_cast<std::size_t>(i)].checked = list_->item(i)->checkState() == Qt::Checked;
}

void MainWindow::wait_for_start_up(StartUp try_start_up, int poll_ms) {
  try_start_up_ = std::move(try_start_up);
  start_up_poll_ = new QTimer(this);
  connect(start_up_poll_, &QTimer::timeout, this, [this] {
    if (!running_ && try_start_up_ && start_up_now().empty()) start_timer();
  });
  start_up_poll_->start(poll_ms);
  refresh();
}

std::string MainWindow::start_up_now() {
  std::string holder = try_start_up_();
  if (!holder.empty()) return holder;
  try_start_up_ = nullptr;
  start_up_poll_->stop();
  refresh();
  return "";
}

void MainWindow::start_run() {
  if (running_) return;
  if (worker_.joinable()) worker_.join();
  if (try_start_up_) {
    const std::string holder = start_up_now();
    if (!holder.empty()) {
      dialogs_.show_error(folder_busy_box(holder));
      return;
    }
    form_.Timer1 = false;  // the operator's run is the one the automatic start would have begun
  }
  // One run at a time on this terminal, whoever starts it: a run going elsewhere keeps this one back.
  std::string refused;
  try {
    if (!lock_.take(run_description(form_.RadioGroup1, false))) refused = folder_busy_box(lock_.holder());
  } catch (const std::exception& e) {
    refused = e.what();
  }
  if (!refused.empty()) {
    dialogs_.show_error(refused);
    return;
  }
  sync_ticks_to_form();
  running_ = true;
  status_->hide();
  refresh();
  worker_ = std::thread([this] {
    // Retries are counted for the history, never shown in the log.
    last_result_ = run_once(form_, dialogs_);
    QMetaObject::invokeMethod(
        this, [this] { run_finished(); }, Qt::QueuedConnection);
  });
}

void MainWindow::run_finished() {
  if (worker_.joinable()) worker_.join();
  lock_.release();
  running_ = false;
  refresh();
  if (last_result_.status == kRunEndedEarly) {
    progress_->reset();  // a full bar would read as a run that got to its end
    // The failure stays in sight once its box is closed, with the time it happened.
    char at[16] = "";
    if (const std::tm* tm = std::localtime(&last_result_.failed_at)) std::strftime(at, sizeof at, "%H:%M:%S", tm);
    status_->setText(QString::fromUtf8("資料更新中斷 ") + at + QString::fromUtf8("：") +
                     qt_text(last_result_.for_staff));
    status_->show();
  }
  if (close_when_stopped_) form_.Action1Execute();
}

void MainWindow::stop_and_close() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (running_)
          close_when_stopped_ = true;  // the run stops at its next safe point, then run_finished closes
        else
          form_.Action1Execute();
      },
      Qt::QueuedConnection);
}

void MainWindow::start_timer(int ms) {
  QTimer::singleShot(ms, this, [this] {
    // Without its database the run could only fail once more, with a vaguer box.
    if (run_stop_requested() || !form_.SQLCon_Loc.connected()) return;
    form_.Timer1Timer();
    refresh();
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();  // runs never end half-way from the window
    return;
  }
  event->accept();
}

}  // namespace pos
