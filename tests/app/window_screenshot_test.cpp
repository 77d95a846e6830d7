// The window after a full update against the reference service, saved as a picture.

#include <QTest>

#include "app/qt/main_window.h"
#include "tests/support/terminal.h"

namespace pos {

class WindowScreenshot : public QObject {
  Q_OBJECT

 private slots:
  void aRunShowsItsLogAndProgress() {
    testing::ReferenceService service({"--scale", "small", "--seed", "1"});
    testing::Terminal terminal(service);
    terminal.start({"1"});
    TFormTollmere& form = terminal.form();
    form.CheckListBox1[0].checked = true;
    form.CheckListBox1[5].checked = true;
    MainWindow w(form, terminal.dialogs());
    w.refresh();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.start_run();
    QVERIFY(w.running());
    QVERIFY(!w.start_button()->isEnabled());
    QVERIFY(!w.exit_button()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 60000);
    QTest::qWait(100);  // let the queued log lines arrive

    QString log = w.log_view()->toPlainText();
    QVERIFY2(log.contains(QString::fromUtf8(" 商品資料傳送中...!")), qPrintable(log));
    QVERIFY2(log.contains(QString::fromUtf8(" 階段作業完成..!")), qPrintable(log));
    QVERIFY(w.progress()->maximum() > 0);
    QCOMPARE(w.progress()->value(), w.progress()->maximum());
    QVERIFY(w.start_button()->isEnabled());
    QVERIFY(terminal.dialogs().errors().empty());

    QImage shot = w.grab().toImage();
    QVERIFY(shot.save(QString(SCREENSHOT_DIR) + "/window-after-run.png"));
  }

  // Head office answers the categories' fetch with an error: the box has said it, and the window keeps
  // it in sight for staff, in a sentence they can act on, the raw text left to the log.
  void aFailedRunStaysInSight() {
    testing::ReferenceService service({"--scale", "small", "--seed", "1"}, "001", std::nullopt, "",
                                      {"--fault", "error@/JOIN PROD_DEPART/"});
    testing::Terminal terminal(service);
    terminal.start({"1"});
    TFormTollmere& form = terminal.form();
    form.CheckListBox1[0].checked = true;
    MainWindow w(form, terminal.dialogs());
    w.refresh();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.start_run();
    QTRY_VERIFY_WITH_TIMEOUT(!w.running(), 60000);
    QTest::qWait(100);
    QCOMPARE(terminal.dialogs().errors().size(), std::size_t{1});
    QVERIFY(w.status_line()->isVisible());
    const QString status = w.status_line()->text();
    QVERIFY2(status.contains(QString::fromUtf8("總部的資料服務回報錯誤")), qPrintable(status));
    QVERIFY2(!status.contains("<RESULT>"), qPrintable(status));
    QVERIFY(w.log_view()->toPlainText().contains(QString::fromUtf8(" 資料更新中斷 ")));
    QVERIFY(w.grab().toImage().save(QString(SCREENSHOT_DIR) + "/window-after-failure.png"));
  }
};

}  // namespace pos

QTEST_MAIN(pos::WindowScreenshot)
#include "window_screenshot_test.moc"
