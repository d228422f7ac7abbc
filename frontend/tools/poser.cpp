// Preloaded into the real program by screenshots.sh. It puts the windows into
// the state named by TESSIL_POSE, as a user would with the mouse, so that a
// screenshot shows them at work:
//   main     the main window as start-up leaves it
//   working  disk information for A, a whole read of A into TESSIL_POSE_IMAGE,
//            then a refused drive text
//   dialog   the save dialog of "Read floppy to image file", left open
//   about    the about window beside the main window
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

QWidget* mainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QLatin1String("Form1") && widget->isVisible()) return widget;
  return nullptr;
}

void later(int ms, std::function<void()> step) {
  QTimer::singleShot(ms, QCoreApplication::instance(), std::move(step));
}

void press(QWidget* window, const char* button) {
  auto* target = window->findChild<QPushButton*>(QLatin1String(button));
  // Queued, so that a dialog the command opens does not stop the poser.
  QMetaObject::invokeMethod(target, &QPushButton::click, Qt::QueuedConnection);
}

void setDrive(QWidget* window, const char* text) {
  window->findChild<QComboBox*>(QStringLiteral("Combo1"))->setEditText(QLatin1String(text));
}

void answerDialog(const QString& path) {
  auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  if (!dialog) return later(100, [path] { answerDialog(path); });
  dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
  QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
}

void pose() {
  QWidget* window = mainWindow();
  if (!window) return later(100, pose);
  const QString pose = qEnvironmentVariable("TESSIL_POSE");
  if (pose == QLatin1String("working")) {
    press(window, "Command1");
    later(300, [window] {
      press(window, "Command2");
      answerDialog(qEnvironmentVariable("TESSIL_POSE_IMAGE"));
    });
    later(2800, [window] {
      setDrive(window, "C");
      press(window, "Command1");
    });
  } else if (pose == QLatin1String("dialog")) {
    press(window, "Command2");
  } else if (pose == QLatin1String("about")) {
    window->move(40, 60);
    window->findChild<QAction*>(QStringLiteral("about"))->trigger();
  }
}

void start() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [] { later(200, pose); }, Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
