#include "app/qt/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include "app/qt/main_window.h"

namespace pos {

void QtDialogs::show(const std::string& big5_text, bool error) {
  QString text = qt_text(big5_text);
  QWidget* owner = parent;
  auto box = [owner, text, error] {
    QString title = owner ? owner->windowTitle() : QString("pos-updater");
    if (error)
      QMessageBox::critical(owner, title, text);
    else
      QMessageBox::information(owner, title, text);
  };
  if (QThread::currentThread() == qApp->thread())
    box();
  else
    QMetaObject::invokeMethod(qApp, box, Qt::BlockingQueuedConnection);
}

void QtDialogs::show_message(const std::string& big5_text) { show(big5_text, false); }
void QtDialogs::show_failure(const std::string& big5_text) { show(big5_text, true); }
void QtDialogs::show_error(const std::string& big5_text) { show(big5_text, true); }

}  // namespace pos
