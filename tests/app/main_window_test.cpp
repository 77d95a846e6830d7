// The window on the offscreen platform: captions, the job list, the mode, F6, the automatic start.

#include "app/qt/main_window.h"

#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <mutex>

#include "app/form_tollmere.h"
#include "app/terminal_lock.h"
#include "service/data_mod_http.h"
#include "service/run_stop.h"
#include "tests/support/recording_dialogs.h"
#include "tests/support/temp_folder.h"
#include "tools/terminal_folder.h"

namespace fs = std::filesystem;

namespace pos {

using testing::RecordingDialogs;

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testing::TempFolder> folder;
  fs::path home;

  FormOptions options() { return FormOptions{home, (home / "Data" / "POS_LOC.GDB").string()}; }

 private slots:
  void initTestCase() {
    folder = std::make_unique<testing::TempFolder>("poswin");
    home = folder->path();
    // Port 1 on loopback: nothing answers, so a run ends at its opening check.
    make_terminal_folder(TerminalSpec{home.string(), "001", "127.0.0.1", "1"});
  }
  void cleanupTestCase() { folder.reset(); }

  void showsTheFormsCaptionsAndTheFifteenJobs() {
    RecordingDialogs dialogs;
    TFormTollmere form(options(), dialogs);
    form.FormCreate(1);
    MainWindow w(form, dialogs);
    w.refresh();
    QCOMPARE(w.windowTitle(), QString("FormTollmere"));
    QCOMPARE(w.start_button()->text(), QString::fromUtf8("Enter開始"));
    QCOMPARE(w.exit_button()->text(), QString::fromUtf8("MGR結束"));
    QCOMPARE(w.mode_button(0)->text(), QString::fromUtf8("異動更新"));
    QCOMPARE(w.mode_button(1)->text(), QString::fromUtf8("全部更新"));
    QCOMPARE(w.label()->text(), QString::fromUtf8("001資料更新:"));
    QCOMPARE(static_cast<std::size_t>(w.job_list()->count()), kJobCount);
    for (std::size_t i = 0; i < kJobCount; ++i)
      QCOMPARE(w.job_list()->item(static_cast<int>(i))->text(), QString::fromUtf8(kJobList[i].caption));
    QVERIFY(w.mode_button(1)->isChecked());
    QVERIFY(!w.mode_button(0)->isChecked());
    QVERIFY(w.start_button()->isEnabled());
    QVERIFY(w.log_view()->isReadOnly());
  }

  // Opened while another run holds the folder: start-up waits; the start button asks again (a box
  // names the holder while it still holds it), and once the folder is free the program starts.
  void startUpWaitsWhileAnotherRunHoldsTheFolder() {
    RecordingDialogs dialogs;
    TFormTollmere form(options(), dialogs);
    TerminalLock other(home), mine(home);
    QVERIFY(other.take("full update, headless"));
    MainWindow w(form, dialogs);
    w.wait_for_start_up(
        [&]() -> std::string {
          if (!mine.take("changes update, window")) return mine.holder();
          form.FormCreate(1);
          mine.release();
          return "";
        },
        20);
    QVERIFY(w.waiting_for_start_up());
    QVERIFY(w.start_button()->isEnabled());
    w.start_button()->click();
    QCOMPARE(dialogs.errors().size(), std::size_t{1});
    QVERIFY(dialogs.errors()[0].find("full update, headless") != std::string::npos);
    other.release();
    QTRY_VERIFY_WITH_TIMEOUT(!w.waiting_for_start_up(), 5000);
    QCOMPARE(static_cast<std::size_t>(w.job_list()->count()), kJobCount);
    QCOMPARE(w.label()->text(), QString::fromUtf8("001資料更新:"));
  }

  void noModeSelectedForMinusOne() {
    RecordingDialogs dialogs;
    TFormTollmere form(options(), dialogs);
    form.FormCreate(-1);
    MainWindow w(form, dialogs);
    w.refresh();
    QVERIFY(!w.mode_button(0)->isChecked());
    QVERIFY(!w.mode_button(1)->isChecked());
  }

  void f6ClosesAndNoKeyStartsARun() {
    RecordingDialogs dialogs;
    TFormTollmere form(options(), dialogs);
    form.FormCreate(1);
    MainWindow w(form, dialogs);
    w.refresh();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(&w, Qt::Key_Return);
    QTest::keyClick(&w, Qt::Key_Enter);
    QTest::keyClick(&w, Qt::Key_Space);
    QTest::qWait(50);
    QVERIFY(!w.running());
    QCOMPARE(form.Memo1.size(), std::size_t{0});
    QTest::keyClick(&w, Qt::Key_F6);
    QVERIFY(!w.isVisible());
    QVERIFY(form.closed());
  }

  void theTimerStartsARunOnlyInChangesUpdate() {
    for (int mode : {1, 0}) {
      RecordingDialogs dialogs;
      TFormTollmere form(options(), dialogs);
      form.FormCreate(mode);
      TDataModHttp data_module(home, dialogs);
      data_module.DataModuleCreate();
      form.DataModHttp = &data_module;
      MainWindow w(form, dialogs);
      w.refresh();
      w.show();
      w.start_timer(10);
      QTest::qWait(100);
      QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 10000);
      if (mode == 1) {
        QCOMPARE(form.Memo1.size(), std::size_t{0});
      } else {
        // The run began (its timestamp) and ended at the opening check with the connection message;
        // the log's last line says so, and the progress bar is not left full.
        QCOMPARE(form.Memo1.size(), std::size_t{2});
        QVERIFY(qt_text(form.Memo1.lines().back()).startsWith(QString::fromUtf8(" 資料更新中斷 ")));
        QVERIFY(qt_text(form.Memo1.lines().back()).contains(QString::fromUtf8(": http://127.0.0.1:1/")));
        QCOMPARE(dialogs.messages().size(), std::size_t{1});
        QVERIFY(dialogs.errors().empty());  // the silent abort shows nothing more
        QCOMPARE(w.progress()->value(), w.progress()->minimum() - 1);
        QVERIFY(w.start_button()->isEnabled());
        QVERIFY(w.exit_button()->isEnabled());
        // Once the box is closed the failure stays in sight, in red, with its time and what to do.
        QVERIFY(w.status_line()->isVisible());
        QVERIFY(w.status_line()->text().startsWith(QString::fromUtf8("資料更新中斷 ")));
        QVERIFY(w.status_line()->text().contains(QString::fromUtf8("連不上總部的資料服務")));
      }
    }
    // Without its local database the window makes no automatic run: the start-up box said it all.
    RecordingDialogs dialogs;
    TFormTollmere form(FormOptions{home, (home / "nowhere" / "X.GDB").string()}, dialogs);
    QVERIFY_THROWS_EXCEPTION(std::exception, form.FormCreate(0));
    TDataModHttp data_module(home, dialogs);
    data_module.DataModuleCreate();
    form.DataModHttp = &data_module;
    MainWindow w(form, dialogs);
    w.show();
    w.start_timer(10);
    QTest::qWait(200);
    QVERIFY(!w.running());
    QCOMPARE(form.Memo1.size(), std::size_t{0});
  }

  // Staff start a run while another one (the timer's) holds the terminal folder: a box says so and
  // nothing runs; once the other run is over, the window's run goes.
  void aRunDoesNotStartWhileAnotherHoldsTheFolder() {
    RecordingDialogs dialogs;
    TFormTollmere form(options(), dialogs);
    form.FormCreate(1);
    TDataModHttp data_module(home, dialogs);
    data_module.DataModuleCreate();
    form.DataModHttp = &data_module;
    MainWindow w(form, dialogs);
    w.refresh();
    TerminalLock other(home);
    QVERIFY(other.take("changes update, headless"));
    w.start_run();
    QVERIFY(!w.running());
    QCOMPARE(form.Memo1.size(), std::size_t{0});
    QCOMPARE(dialogs.errors().size(), std::size_t{1});
    QVERIFY(qt_text(dialogs.errors()[0]).contains(QString::fromUtf8("資料更新正在進行中")));
    QVERIFY(qt_text(dialogs.errors()[0]).contains(" since "));
    QVERIFY(qt_text(dialogs.errors()[0]).contains(": changes update, headless)"));
    other.release();
    w.start_run();
    QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 10000);
    QVERIFY(form.Memo1.size() > 0);
  }

  // A stop signal during a run that waits on a silent service: the wait ends, and the window then
  // closes as F6 closes it.
  void aStopSignalEndsTheRunThenClosesTheWindow() {
    // A listener that never accepts: the request is sent and no answer ever comes.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(::bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
    QVERIFY(::listen(silent, 4) == 0);
    socklen_t len = sizeof addr;
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&addr), &len);
    testing::TempFolder waiting("poswin");
    make_terminal_folder(TerminalSpec{waiting.string(), "001", "127.0.0.1", std::to_string(ntohs(addr.sin_port))});

    RecordingDialogs dialogs;
    TFormTollmere form(FormOptions{waiting.path(), (waiting / "Data" / "POS_LOC.GDB").string()}, dialogs);
    form.FormCreate(0);
    TDataModHttp data_module(waiting.path(), dialogs);
    data_module.DataModuleCreate();
    form.DataModHttp = &data_module;
    MainWindow w(form, dialogs);
    w.refresh();
    w.show();
    w.start_run();
    QTest::qWait(300);
    QVERIFY(w.running());
    request_run_stop(SIGTERM);
    w.stop_and_close();
    QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(form.closed(), 1000);
    QVERIFY(!w.isVisible());
    QVERIFY(dialogs.messages().empty());  // a stop is not a connection problem
    clear_run_stop();
    ::close(silent);
  }
};

}  // namespace pos

QTEST_MAIN(pos::MainWindowTest)
#include "main_window_test.moc"
