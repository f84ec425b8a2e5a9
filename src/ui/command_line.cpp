#include "ui/command_line.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ostrel::ui {

namespace {

constexpr const char* version_text = "ostrel-tftp 1.0\n";

// The usage text; parsing comes before any application object, so the
// program's name is put in here.
QString usage_text(const QCommandLineParser& parser) {
  QString text = parser.helpText();
  text.replace(QStringLiteral("<executable_name>"), QStringLiteral("ostrel-tftp"));
  return text;
}

}  // namespace

parse_outcome parse_command_line(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "A read-only TFTP server (RFC 1350) with a window showing its transfers and event log."));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
  QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                             QStringLiteral("Show the version and exit."));
  QCommandLineOption headless(QStringLiteral("headless"),
                              QStringLiteral("Run without a window; print each event to standard output as a CSV "
                                             "line. SIGTERM or SIGINT stops the server."));
  QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Listen on UDP port <N> (1-65535) instead of 69."),
                          QStringLiteral("N"));
  QCommandLineOption settings(QStringLiteral("settings"),
                              QStringLiteral("Read (and save from the dialog) this settings file instead of the one "
                                             "beside the executable."),
                              QStringLiteral("FILE"));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(headless);
  parser.addOption(port);
  parser.addOption(settings);

  parse_outcome result;
  auto usage_error = [&](const QString& message) {
    result.exit_code = 2;
    result.err = (QStringLiteral("ostrel-tftp: ") + message + QStringLiteral("\n\n") + usage_text(parser)).toStdString();
    return result;
  };

  if (!parser.parse(arguments)) return usage_error(parser.errorText());
  if (!parser.positionalArguments().isEmpty())
    return usage_error(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().front()));
  if (parser.isSet(help)) {
    result.out = usage_text(parser).toStdString();
    return result;
  }
  if (parser.isSet(version)) {
    result.out = version_text;
    return result;
  }

  program_options options;
  options.headless = parser.isSet(headless);
  if (parser.isSet(port)) {
    if (parser.values(port).size() > 1) return usage_error(QStringLiteral("--port is given more than once."));
    bool ok = false;
    QString text = parser.value(port);
    uint value = text.toUInt(&ok, 10);
    if (!ok || value < 1 || value > 65535)
      return usage_error(QStringLiteral("Bad port '%1': expected a number from 1 to 65535.").arg(text));
    options.port = static_cast<std::uint16_t>(value);
  }
  if (parser.isSet(settings)) {
    if (parser.values(settings).size() > 1) return usage_error(QStringLiteral("--settings is given more than once."));
    QString file = parser.value(settings);
    if (file.isEmpty()) return usage_error(QStringLiteral("--settings needs a file name."));
    // Absolute, so that a picker that changes the current folder cannot move it.
    options.settings_file = QFile::encodeName(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())).toStdString();
  }
  result.options = options;
  return result;
}

}  // namespace ostrel::ui
