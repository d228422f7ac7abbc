#include "command_line.h"

#include <QCommandLineParser>
#include <cstdio>

#include "app_info.h"

namespace {

constexpr int usage_error = 2;

const QString short_usage = QStringLiteral("Usage: tessil [-h | --help] [-v | --version]\n");

const QString help_text = QStringLiteral(
    "Usage: tessil [options]\n"
    "Copies whole floppy disks into image files and writes them back, in a window.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help and exit.\n"
    "  -v, --version  Show the version and exit.\n"
    "\n"
    "Environment:\n"
    "  TESSIL_DRIVE_X  The device or image file behind drive letter X.\n"
    "  TESSIL_DEBUG    A file, or \"stderr\", for the library's diagnostic lines.\n"
    "\n"
    "Qt's own options (-platform, -display, -style, ...) are passed on to Qt.\n"
    "See tessil(1).\n");

// QApplication takes these out of argv itself; they must not count as
// unknown here. Hidden from the help, which points to Qt for them.
void acceptQtOptions(QCommandLineParser& parser) {
  for (const char* name :
       {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet"}) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : {"reverse", "widgetcount"}) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

CommandLineAnswer usageError(const QString& reason) {
  return {usage_error, QString(), QStringLiteral("tessil: %1\n").arg(reason) + short_usage};
}

void print(const QString& text, std::FILE* stream) {
  if (text.isEmpty()) return;
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
  std::fflush(stream);
}

}  // namespace

CommandLineAnswer answerCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  // Qt's options are single-dash words; "-platform" must not read as -p -l ...
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
  parser.addOption(help);
  parser.addOption(version);
  acceptQtOptions(parser);

  if (!parser.parse(arguments)) return usageError(parser.errorText());
  if (parser.isSet(help)) return {0, help_text, QString()};
  if (parser.isSet(version))
    return {0, QStringLiteral("%1 %2\n").arg(app_info::internal_name, app_info::version), {}};
  if (!parser.positionalArguments().isEmpty())
    return usageError(
        QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first()));
  return {};
}

std::optional<int> handleCommandLine(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  const CommandLineAnswer answer = answerCommandLine(arguments);
  print(answer.standard_output, stdout);
  print(answer.standard_error, stderr);
  return answer.exit_status;
}
