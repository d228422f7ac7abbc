// Preloaded into a copy of the program by the start-up tests. It stands in
// for the user: every message box and every main window that appears is
// written, one line each, to the file named by TESSIL_AUTOPILOT_LOG, then
// the box is answered with OK and the window closed, so the program can end.
//
// With TESSIL_AUTOPILOT_WRITE set to an image file it writes that image
// instead, with drive A, and once the job runs notes "running"; with
// TESSIL_AUTOPILOT_STOP=close it then closes the window and answers the
// question "Stop and close", and notes and accepts the box that says where
// the copy stopped. The message list is noted as the program quits.
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
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

// The steps of writing an image and stopping the job, one per look.
void lookDuringJob() {
  static bool started = false;
  static bool running = false;
  QWidget* modal = QApplication::activeModalWidget();
  if (auto* files = qobject_cast<QFileDialog*>(modal)) {
    record(QStringLiteral("filedialog\t%1").arg(files->windowTitle()));
    if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
      name->setText(qEnvironmentVariable("TESSIL_AUTOPILOT_WRITE"));
    static_cast<QDialog*>(files)->accept();  // as its Open button does
    return;
  }
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (box && box->objectName() == QLatin1String("StoppedCopy")) {
    record(QStringLiteral("stopped\t%1\t%2").arg(box->text(), box->informativeText()));
    box->button(QMessageBox::Ok)->click();
    return;
  }
  if (box) {
    QStringList buttons;
    for (QAbstractButton* button : box->buttons()) buttons << button->text();
    buttons.sort();  // the platform's order of button roles aside
    record(QStringLiteral("question\t%1\t%2\t%3")
               .arg(box->text(), buttons.join(QLatin1Char('|')),
                    box->defaultButton() ? box->defaultButton()->text() : QString()));
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == QLatin1String("Stop and close")) {
        button->click();
        return;
      }
    }
    box->reject();
    return;
  }
  if (modal) return;
  QMainWindow* window = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && !window) window = qobject_cast<QMainWindow*>(widget);
  if (!window) return;
  if (!started) {
    started = true;
    record(QStringLiteral("window\t%1\t%2").arg(window->objectName(), window->windowTitle()));
    // From a fresh event: the file dialog's own loop must keep this one
    // looking.
    if (auto* write = window->findChild<QPushButton*>(QStringLiteral("Command3")))
      QTimer::singleShot(0, write, &QPushButton::click);
    return;
  }
  auto* poll = window->findChild<QTimer*>(QStringLiteral("Timer1"));
  if (running || !poll || !poll->isActive()) return;
  running = true;
  record(QStringLiteral("running"));
  if (qEnvironmentVariable("TESSIL_AUTOPILOT_STOP") == QLatin1String("close"))
    QTimer::singleShot(0, window, &QWidget::close);
}

// What the message list held when the program quit.
void recordMessages() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* list = widget->findChild<QListWidget*>(QStringLiteral("List1"));
    if (!list) continue;
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    record(QStringLiteral("quit\t%1").arg(lines.join(QLatin1Char('|'))));
  }
}

void start() {
  const bool writing = qEnvironmentVariableIsSet("TESSIL_AUTOPILOT_WRITE");
  if (writing) QObject::connect(qApp, &QCoreApplication::aboutToQuit, &recordMessages);
  // Wait for the event loop, which the first message box or the main
  // window starts.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [writing] {
        auto* timer = new QTimer(QCoreApplication::instance());
        QObject::connect(timer, &QTimer::timeout, writing ? &lookDuringJob : &look);
        // A quick look while a job runs: the copy takes well under a second.
        timer->start(writing ? 10 : 50);
      },
      Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
