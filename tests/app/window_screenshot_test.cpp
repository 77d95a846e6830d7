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
};

}  // namespace pos

QTEST_MAIN(pos::WindowScreenshot)
#include "window_screenshot_test.moc"
