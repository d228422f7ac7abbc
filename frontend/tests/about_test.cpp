// The about window: its look, one window at a time, and the links.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app_info.h"
#include "fake_backend.h"
#include "fake_link_opener.h"
#include "form1.h"
#include "form2.h"

class AboutTest : public QObject {
  Q_OBJECT

 private:
  FakeBackend backend;
  FakeLinkOpener links;
  std::unique_ptr<Form1> form;

  Form2* openAbout() {
    form->findChild<QAction*>(QStringLiteral("about"))->trigger();
    return form->aboutWindow();
  }
  int aboutWindowsOnScreen() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (qobject_cast<Form2*>(widget) && widget->isVisible()) ++count;
    return count;
  }

 private slots:
  void init() {
    backend = FakeBackend();
    links.requests.clear();
    form = std::make_unique<Form1>(backend, links, [] {});
    form->fillDriveBox();
    form->show();
  }
  void cleanup() {
    form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void controlsStandWhereTheyBelong_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Label2") << "Label2" << QRect(88, 48, 201, 17);
    QTest::newRow("Label4") << "Label4" << QRect(88, 64, 217, 17);
    QTest::newRow("Text1") << "Text1" << QRect(32, 112, 257, 129);
    QTest::newRow("Command1") << "Command1" << QRect(200, 280, 89, 25);
  }
  void controlsStandWhereTheyBelong() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    Form2* about = openAbout();
    QVERIFY(about);
    QWidget* widget = about->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
  }

  void windowLooksAsItShould() {
    Form2* about = openAbout();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->objectName(), QStringLiteral("Form2"));
    QCOMPARE(about->windowTitle(), QStringLiteral("Quillmark 1.0.0"));
    QCOMPARE(about->size(), QSize(326, 329));
    QCOMPARE(about->minimumSize(), about->maximumSize());
    QVERIFY(!(about->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(about->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!about->isModal());
    QVERIFY(about->parentWidget() == nullptr);

    auto* exit = about->findChild<QPushButton*>(QStringLiteral("Command1"));
    QCOMPARE(exit->text(), QStringLiteral("Exit"));
    QVERIFY(!exit->isDefault());
    QVERIFY(!exit->autoDefault());

    auto* text = about->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
    QCOMPARE(Form2::description.size(), 438);
    QVERIFY(Form2::description.endsWith(QLatin1String("\r\n")));
    QVERIFY(Form2::description.startsWith(QLatin1String("Application to read data from floppies")));
    QCOMPARE(text->toPlainText().trimmed(), Form2::description.trimmed());

    for (const char* name : {"Label2", "Label4"}) {
      auto* label = about->findChild<QLabel*>(QLatin1String(name));
      QCOMPARE(label->font().family(), QStringLiteral("MS Sans Serif"));
      QCOMPARE(label->font().pointSizeF(), 8.25);
      QVERIFY(label->font().underline());
      QCOMPARE(label->font().weight(), QFont::Normal);
      QCOMPARE(label->focusPolicy(), Qt::NoFocus);
      QCOMPARE(label->cursor().shape(), Qt::ArrowCursor);
      QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    QCOMPARE(about->findChild<QLabel*>(QStringLiteral("Label2"))->text(), app_info::web_address);
    QCOMPARE(about->findChild<QLabel*>(QStringLiteral("Label4"))->text(), app_info::mail_address);
  }

  void tabOrderStartsAtTheText() {
    Form2* about = openAbout();
    QVERIFY(QTest::qWaitForWindowActive(about));
    auto* text = about->findChild<QWidget*>(QStringLiteral("Text1"));
    auto* exit = about->findChild<QWidget*>(QStringLiteral("Command1"));
    QCOMPARE(QApplication::focusWidget(), text);
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), exit);
  }

  void aboutTwiceGivesOneWindow() {
    Form2* first = openAbout();
    Form2* second = openAbout();
    QCOMPARE(first, second);
    QCOMPARE(aboutWindowsOnScreen(), 1);
  }

  void exitThenAboutBuildsANewWindow_data() {
    QTest::addColumn<bool>("titleBarClose");
    QTest::newRow("Exit") << false;
    QTest::newRow("title-bar close") << true;
  }
  void exitThenAboutBuildsANewWindow() {
    QFETCH(bool, titleBarClose);
    QPointer<Form2> first = openAbout();
    if (titleBarClose) {
      first->close();
    } else {
      QTest::mouseClick(first->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    QVERIFY(!form->aboutWindow());
    QCOMPARE(aboutWindowsOnScreen(), 0);

    Form2* second = openAbout();
    QVERIFY(second);
    QCOMPARE(aboutWindowsOnScreen(), 1);
    QCOMPARE(second->windowTitle(), QStringLiteral("Quillmark 1.0.0"));
    QCOMPARE(second->findChild<QLabel*>(QStringLiteral("Label2"))->text(), app_info::web_address);
    QCOMPARE(second->findChild<QPlainTextEdit*>(QStringLiteral("Text1"))->toPlainText().trimmed(),
             Form2::description.trimmed());
  }

  void linksGoThroughTheLinkLayer_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("web") << "Label2"
                         << "";
    QTest::newRow("mail") << "Label4"
                          << "mailto:";
  }
  void linksGoThroughTheLinkLayer() {
    QFETCH(QString, label);
    QFETCH(QString, prefix);
    Form2* about = openAbout();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    auto* link = about->findChild<QLabel*>(label);
    const QFont font_before = link->font();
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(links.requests.size(), 1);
    const FakeLinkOpener::Request& request = links.requests.first();
    QCOMPARE(request.window, about->winId());
    QCOMPARE(request.operation, QStringLiteral("open"));
    QCOMPARE(request.file, prefix + link->text());
    QVERIFY(request.parameters.isEmpty());
    QCOMPARE(request.directory, QDir::rootPath());
    QCOMPARE(request.show_command, 1);
    // The click changes nothing in the window.
    QCOMPARE(link->font(), font_before);
    QCOMPARE(link->text(),
             label == QLatin1String("Label2") ? app_info::web_address : app_info::mail_address);
    QVERIFY(about->isVisible());
    // Other buttons and the text do not open anything.
    QTest::mouseClick(link, Qt::RightButton);
    QTest::mouseClick(about->findChild<QWidget*>(QStringLiteral("Text1")), Qt::LeftButton);
    QCOMPARE(links.requests.size(), 1);
  }

  // The addresses are ours, and plausible as links.
  void addressesAreWellFormed() {
    QVERIFY(QUrl(app_info::web_address, QUrl::StrictMode).isValid());
    QVERIFY(app_info::web_address.startsWith(QLatin1String("http")));
    QVERIFY(QUrl(QStringLiteral("mailto:") + app_info::mail_address, QUrl::StrictMode).isValid());
    QVERIFY(app_info::mail_address.contains(QLatin1Char('@')));
  }

  void mainWindowKeepsWorkingWhileAboutIsOpen() {
    Form2* about = openAbout();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
    backend.busy = 1;
    form->timer().start();
    backend.finish(0);
    form->tick();
    auto* list = form->findChild<QListWidget*>(QStringLiteral("List1"));
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), QStringLiteral("2 : 0 : Done"));
    QVERIFY(about->isVisible());
  }

  // Closing the main window leaves the about window open.
  void aboutOutlivesAClosedMainWindow() {
    Form2* about = openAbout();
    form->close();
    QVERIFY(about->isVisible());
    QCOMPARE(form->aboutWindow(), about);
  }
};

QTEST_MAIN(AboutTest)
#include "about_test.moc"
