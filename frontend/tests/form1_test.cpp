// The main window as start-up leaves it, and the start-up decision itself.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "fake_backend.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "modal_script.h"
#include "startup.h"

class Form1Test : public QObject {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  std::unique_ptr<Form1> form;

  template <typename T>
  T* child(const char* name) {
    return form->findChild<T*>(QLatin1String(name));
  }

 private slots:
  void init() {
    backend = FakeBackend();
    form = std::make_unique<Form1>(backend, links, [] {});
    form->fillDriveBox();
  }
  void cleanup() { form.reset(); }

  void controlsCarryTheirNamesAndTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, const char* cls, const char* text) {
      QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                          << QString::fromLatin1(text);
    };
    row("Label1", "QLabel", "Select disk");
    row("Command1", "QPushButton", "Get disk information");
    row("Label3", "QLabel", "Cylinders :");
    row("Label4", "QLabel", "Tracks/cylinder :");
    row("Label5", "QLabel", "Sectors/track :");
    row("Label6", "QLabel", "Bytes/sector :");
    row("Label7", "QLabel", "Disk space :");
    row("Command2", "QPushButton", "Read floppy to image file");
    row("Command3", "QPushButton", "Write image file to floppy");
    row("Command4", "QPushButton", "Cancel");
    row("Label8", "QLabel", "Label of the image");
    row("Text1", "QLineEdit", "My floppy image");
    row("Label2", "QLabel", "Error:");
    row("Combo1", "QComboBox", "A");
    row("ProgressBar1", "QProgressBar", "");
    row("List1", "QListWidget", "");
  }
  void controlsCarryTheirNamesAndTexts() {
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QWidget* widget = form->findChild<QWidget*>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    if (auto* label = qobject_cast<QLabel*>(widget)) QCOMPARE(label->text(), text);
    if (auto* button = qobject_cast<QPushButton*>(widget)) QCOMPARE(button->text(), text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) QCOMPARE(edit->text(), text);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) QCOMPARE(combo->currentText(), text);
  }

  void startUpState() {
    QCOMPARE(form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(form->windowTitle(), QStringLiteral("Quillmark 1.0.0"));

    auto* combo = child<QComboBox>("Combo1");
    QVERIFY(combo->isEditable());
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("A"));
    QCOMPARE(combo->itemText(1), QStringLiteral("B"));

    auto* bar = child<QProgressBar>("ProgressBar1");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);

    auto* list = child<QListWidget>("List1");
    QCOMPARE(list->count(), 0);
    QVERIFY(!list->isSortingEnabled());

    QTimer* timer = form->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    QCOMPARE(timer->interval(), 1000);

    auto* about = form->findChild<QAction*>(QStringLiteral("about"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("About"));
    QVERIFY(form->menuBar()->actions().contains(about));
    // Options, Disk, then the about entry.
    const QList<QAction*> menus = form->menuBar()->actions();
    QCOMPARE(menus.size(), 3);
    QCOMPARE(menus[0]->menu()->objectName(), QStringLiteral("options"));
    QCOMPARE(menus[1]->menu()->objectName(), QStringLiteral("disk"));
    QCOMPARE(menus[2], about);
    const QList<QSize> icon_sizes = applicationIcon().availableSizes();
    QVERIFY(icon_sizes.contains(QSize(16, 16)));
    QVERIFY(icon_sizes.contains(QSize(32, 32)));
    // Nothing was asked of the library but what start-up asks.
    QVERIFY(backend.calls.isEmpty());
  }

  void driveBoxTakesTextAsTyped() {
    auto* combo = child<QComboBox>("Combo1");
    combo->setFocus();
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("a"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QCOMPARE(combo->currentText(), QStringLiteral("a"));
    QCOMPARE(combo->count(), 2);  // nothing added to the fixed list
  }

  void windowIsFixedWithoutMaximize() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->centralWidget()->size(), QSize(402, 294));
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->size(), form->minimumSize());
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    form->resize(800, 600);
    QCOMPARE(form->centralWidget()->size(), QSize(402, 294));
  }

  void tabOrderAndInitialFocus() {
    const QStringList expected{"Command1", "Command2", "List1", "Combo1",
                               "Command3", "Command4", "Text1"};
    QStringList order;
    QWidget* widget = child<QWidget>("Command1");
    for (int i = 0; i < 200 && order.size() < expected.size(); ++i) {
      if ((widget->focusPolicy() & Qt::TabFocus) && widget->window() == form.get() &&
          !widget->objectName().startsWith(QLatin1String("qt_")) &&
          form->centralWidget()->isAncestorOf(widget) &&
          !widget->parentWidget()->inherits("QComboBox"))
        order << widget->objectName();
      widget = widget->nextInFocusChain();
    }
    QCOMPARE(order, expected);

    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(QApplication::focusWidget(), child<QWidget>("Command1"));
    // The labels and the bar never take the focus.
    for (const char* name : {"Label1", "Label2", "Label3", "Label8", "ProgressBar1"})
      QCOMPARE(child<QWidget>(name)->focusPolicy(), Qt::NoFocus);
  }

  // Every control lies inside the client area, none covers another and no
  // text is cut off, with the longest values the labels will show.
  void layoutFitsTheClientArea() {
    child<QLabel>("Label3")->setText(QStringLiteral("Cylinders : 80"));
    child<QLabel>("Label4")->setText(QStringLiteral("Tracks/cylinder : 2"));
    child<QLabel>("Label5")->setText(QStringLiteral("Sectors/track : 36"));
    child<QLabel>("Label6")->setText(QStringLiteral("Bytes/sector : 512"));
    child<QLabel>("Label7")->setText(QStringLiteral("Disk space : 2949120"));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    const QRect client = form->centralWidget()->rect();
    QList<QWidget*> controls;
    for (QWidget* widget :
         form->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      controls << widget;
    QCOMPARE(controls.size(), 16);
    for (QWidget* a : controls) {
      QVERIFY2(client.contains(a->geometry()), qPrintable(a->objectName()));
      for (QWidget* b : controls)
        QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                 qPrintable(a->objectName() + QLatin1Char('/') + b->objectName()));
      if (auto* label = qobject_cast<QLabel*>(a))
        QVERIFY2(
            label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width(),
            qPrintable(label->text()));
      if (auto* button = qobject_cast<QPushButton*>(a))
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width(),
                 qPrintable(button->text()));
    }
  }

  void platformClassDecidesStartUp_data() {
    QTest::addColumn<int>("platformClass");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("unknown platform") << 0 << false;
    QTest::newRow("95 family") << 1 << false;
    QTest::newRow("Me") << 3 << false;
    QTest::newRow("NT 4.0") << 4 << true;
    QTest::newRow("XP") << 6 << true;
    QTest::newRow("current") << 7 << true;
    QTest::newRow("negative") << -1 << false;
  }
  void platformClassDecidesStartUp() {
    QFETCH(int, platformClass);
    QFETCH(bool, accepted);
    backend.version = platformClass;
    QString seen;
    ModalScript script(accepted ? QList<ModalScript::Answer>{}
                                : QList<ModalScript::Answer>{[&seen](QWidget* modal) -> QString {
                                    auto* box = qobject_cast<QMessageBox*>(modal);
                                    if (!box) return QStringLiteral("not a message box");
                                    seen = box->text();
                                    if (box->windowTitle() != QLatin1String("Quillmark 1.0.0"))
                                      return QStringLiteral("title ") + box->windowTitle();
                                    if (box->icon() != QMessageBox::NoIcon)
                                      return QStringLiteral("has an icon");
                                    if (box->standardButtons() != QMessageBox::Ok)
                                      return QStringLiteral("buttons other than OK");
                                    box->button(QMessageBox::Ok)->click();
                                    return {};
                                  }});
    QCOMPARE(platformAccepted(backend), accepted);
    QVERIFY2(script.succeeded(), qPrintable(script.report()));
    if (!accepted) QCOMPARE(seen, QStringLiteral("Can only run on NT4.0/2000/XP/Vista"));
    QCOMPARE(backend.calls, QStringList{QStringLiteral("getversion")});
  }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
