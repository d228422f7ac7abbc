// The program's names and version agree wherever the desktop reads them:
// the running application, the .desktop entry and the AppStream file.
#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include "app_info.h"
#include "startup.h"

class DesktopFilesTest : public QObject {
  Q_OBJECT

 private:
  static QString read(const char* path) {
    QFile file(QString::fromLocal8Bit(path));
    return file.open(QIODevice::ReadOnly | QIODevice::Text) ? QString::fromUtf8(file.readAll())
                                                            : QString();
  }
  static QString desktopKey(const QString& entry, const QString& key) {
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(key),
                                  QRegularExpression::MultilineOption);
    return line.match(entry).captured(1);
  }

 private slots:
  void applicationDescribesItself() {
    describeApplication();
    QCOMPARE(QApplication::applicationName(), QStringLiteral("tessil"));
    QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Quillmark 1.0.0"));
    QCOMPARE(QApplication::applicationVersion(), QStringLiteral(PROJECT_VERSION));
    QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("tessil"));
    QVERIFY(!QApplication::windowIcon().isNull());
  }

  void desktopEntryCarriesTheVersionRecordTexts() {
    const QString entry = read(DESKTOP_FILE);
    QVERIFY(!entry.isEmpty());
    QCOMPARE(desktopKey(entry, QStringLiteral("Name")), app_info::product_name);
    QCOMPARE(desktopKey(entry, QStringLiteral("GenericName")), app_info::file_description);
    QCOMPARE(desktopKey(entry, QStringLiteral("Comment")), app_info::comments);
    QCOMPARE(desktopKey(entry, QStringLiteral("Exec")), app_info::internal_name);
    QCOMPARE(desktopKey(entry, QStringLiteral("Icon")), app_info::internal_name);
  }

  void metainfoCarriesTheVersionRecordTexts() {
    const QString metainfo = read(METAINFO_FILE);
    QVERIFY(!metainfo.isEmpty());
    QVERIFY(metainfo.contains(QStringLiteral("<name>%1</name>").arg(app_info::product_name)));
    QVERIFY(
        metainfo.contains(QStringLiteral("<summary>%1</summary>").arg(app_info::file_description)));
    QVERIFY(metainfo.contains(app_info::comments));
    QVERIFY(metainfo.contains(QStringLiteral("<release version=\"%1\"").arg(app_info::version)));
    QVERIFY(metainfo.contains(QStringLiteral("<binary>%1</binary>").arg(app_info::internal_name)));
    QVERIFY(metainfo.contains(app_info::web_address));
  }
};

QTEST_MAIN(DesktopFilesTest)
#include "desktop_files_test.moc"
