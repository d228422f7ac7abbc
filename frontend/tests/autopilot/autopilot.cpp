// Preloaded into a copy of the program by the start-up tests. It stands in
// for the user: every message box and every main window that appears is
// written, one line each, to the file named by TESSIL_AUTOPILOT_LOG, then
// the box is answered with OK and the window closed, so the program can end.
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

void record(const QString& line) {
  QFile log(qEnvironmentVariable("TESSIL_AUTOPILOT_LOG"));
  if (!log.open(QIODevice::Append | QIODevice::Text)) return;
  log.write(line.toUtf8() + '\n');
}

void look() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->isVisible()) continue;
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
      record(QStringLiteral("messagebox\t%1\t%2\t%3\t%4")
                 .arg(box->windowTitle(), box->text())
                 .arg(static_cast<int>(box->icon()))
                 .arg(static_cast<int>(box->standardButtons())));
      if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
      } else {
        box->reject();
      }
      return;
    }
    if (auto* window = qobject_cast<QMainWindow*>(widget)) {
      record(QStringLiteral("window\t%1\t%2").arg(window->objectName(), window->windowTitle()));
      window->close();
      return;
    }
  }
}

void start() {
  // Wait for the event loop, which the first message box or the main
  // window starts.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [] {
        auto* timer = new QTimer(QCoreApplication::instance());
        QObject::connect(timer, &QTimer::timeout, &look);
        timer->start(50);
      },
      Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
