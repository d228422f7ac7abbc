// The lazy binding, against stand-in libraries built for the tests.
#include <dlfcn.h>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "binding/library_binding.h"
#include "binding/program_directory.h"
#include "label_text.h"

class BindingTest : public QObject {
  Q_OBJECT

 private:
  QStringList failures;
  LibraryBinding::FailureHandler record() {
    return [this](const QString& text) { failures << text; };
  }
  static QString directoryOf(const char* file) {
    return QFileInfo(QString::fromLocal8Bit(file)).absolutePath();
  }
  // What the stand-in library was handed, as bytes.
  static QByteArray received(const char* library, int slot) {
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return "<not loaded>";
    auto* function = reinterpret_cast<const char* (*)(int)>(::dlsym(handle, "fake_received"));
    QByteArray bytes = function ? QByteArray(function(slot)) : QByteArray("<no fake_received>");
    ::dlclose(handle);
    return bytes;
  }

 private slots:
  void init() { failures.clear(); }

  void nothingIsLoadedBeforeTheFirstCall() {
    LibraryBinding binding(directoryOf(FAKE_ACCEPTING), record());
    QVERIFY(!binding.isLoaded());
    QVERIFY(!::dlopen(FAKE_ACCEPTING, RTLD_NOW | RTLD_NOLOAD));
    QCOMPARE(binding.getversion(), 7);
    QVERIFY(binding.isLoaded());
    QVERIFY(failures.isEmpty());
  }

  void ownDirectoryComesFirst() {
    LibraryBinding binding(directoryOf(FAKE_REFUSING), record());
    QCOMPARE(binding.getversion(), 2);
  }

  void programDirectoryIsTheExecutables() {
    QCOMPARE(programDirectory(), QCoreApplication::applicationDirPath());
  }

  void missingLibraryReportsTheLoadersText() {
    QTemporaryDir empty;
    const QByteArray name = "libtessil-not-installed.so";
    LibraryBinding binding(empty.path(), record(), name);
    ::dlerror();
    QVERIFY(!::dlopen(name.constData(), RTLD_NOW));
    const QString expected = QString::fromLocal8Bit(::dlerror());
    QCOMPARE(binding.getversion(), 0);
    QCOMPARE(failures, QStringList{expected});
    // Nothing may look like success once the library is missing.
    QCOMPARE(binding.readdisk(QStringLiteral("A"), QStringLiteral("/tmp/x"), QString()), 1);
    QCOMPARE(binding.writedisk(QStringLiteral("A"), QStringLiteral("/tmp/x")), 1);
    QCOMPARE(binding.retvalue(), 0);
    QVERIFY(!binding.isLoaded());
  }

  void damagedLibraryInTheOwnDirectoryIsReported() {
    QTemporaryDir dir;
    QFile bogus(dir.filePath(QStringLiteral("libtessil.so")));
    QVERIFY(bogus.open(QIODevice::WriteOnly));
    bogus.write("not a shared object");
    bogus.close();
    LibraryBinding binding(dir.path(), record());
    QCOMPARE(binding.getversion(), 0);
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().startsWith(dir.path()), qPrintable(failures.first()));
  }

  void missingEntryPointReportsTheLoadersText() {
    LibraryBinding binding(directoryOf(FAKE_PARTIAL), record());
    QCOMPARE(binding.getversion(), 7);
    QVERIFY(failures.isEmpty());
    QCOMPARE(binding.intcancel(), 0);
    QCOMPARE(failures.size(), 1);
    QVERIFY2(failures.first().contains(QLatin1String("intcancel")), qPrintable(failures.first()));
    QCOMPARE(binding.getporcentage(), 42);
  }

  void textsArriveAsEightBitCopies_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("label");
    QTest::newRow("plain") << "/tmp/disk.img"
                           << "My floppy image";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/tmp/imagem ç é/disco º.img")
                               << QString::fromUtf8("Cópia de segurança");
    QTest::newRow("empty label") << "/tmp/a.img"
                                 << "";
  }
  void textsArriveAsEightBitCopies() {
    QFETCH(QString, path);
    QFETCH(QString, label);
    LibraryBinding binding(directoryOf(FAKE_ACCEPTING), record());
    QCOMPARE(binding.readdisk(QStringLiteral("B"), path, label), 0);
    QCOMPARE(received(FAKE_ACCEPTING, 0), QByteArray("B"));
    QCOMPARE(received(FAKE_ACCEPTING, 1), QFile::encodeName(path));
    QCOMPARE(received(FAKE_ACCEPTING, 2), label.toLocal8Bit());
    QCOMPARE(binding.writedisk(QStringLiteral("A"), path), 0);
    QCOMPARE(received(FAKE_ACCEPTING, 0), QByteArray("A"));
    QCOMPARE(received(FAKE_ACCEPTING, 1), QFile::encodeName(path));
  }

  void integerOutputsAreTheCallers() {
    LibraryBinding binding(directoryOf(FAKE_ACCEPTING), record());
    int32_t values[5] = {};
    QCOMPARE(binding.getdriveinfo(QStringLiteral("A"), values[0], values[1], values[2], values[3],
                                  values[4]),
             1);
    QCOMPARE(QList<int32_t>(std::begin(values), std::end(values)),
             (QList<int32_t>{80, 2, 18, 512, 1474560}));
  }

  // The library's writes into the label buffer come back; a buffer shorter
  // than the label field is never overrun.
  void labelBufferComesBack_data() {
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("label");
    QTest::newRow("300 blanks") << label_text::blankBuffer() << "Fake label";
    QTest::newRow("short buffer") << "abc"
                                  << "Fak";
  }
  void labelBufferComesBack() {
    QFETCH(QString, buffer);
    QFETCH(QString, label);
    const qsizetype length = buffer.size();
    LibraryBinding binding(directoryOf(FAKE_ACCEPTING), record());
    QCOMPARE(binding.getimageinfo(QStringLiteral("/tmp/some.img"), buffer), 0);
    QCOMPARE(buffer.size(), length);
    QCOMPARE(label_text::fromBuffer(buffer), label);
  }
};

QTEST_MAIN(BindingTest)
#include "binding_test.moc"
