// The program's entry: the options, then either the window or the
// window-less service mode.

#include <cstdio>
#include <string>

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include "platform/executable_path.h"
#include "platform/process_limits.h"
#include "settings/settings_file.h"
#include "ui/command_line.h"
#include "ui/desktop_app.h"
#include "ui/headless.h"
#include "ui/resources.h"
#include "ui/termination_signals.h"

namespace {

QStringList argument_list(int argc, char** argv) {
  QStringList list;
  for (int i = 0; i < argc; ++i) list << QString::fromLocal8Bit(argv[i]);
  return list;
}

int run_window(int argc, char** argv, const ostrel::settings::settings_location& where,
               const ostrel::ui::program_options& options) {
  QApplication app(argc, argv);
  ostrel::ui::init_resources();
  QApplication::setApplicationName(QStringLiteral("ostrel-tftp"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setDesktopFileName(QStringLiteral("ostrel-tftp"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/app-icon.svg")));

  // SIGTERM and SIGINT leave the loop like closing the window: the server
  // is not stopped and nothing more is logged.
  ostrel::ui::termination_signals stop_signals;
  std::unique_ptr<QSocketNotifier> signal_notifier;
  if (stop_signals.read_fd() >= 0) {
    signal_notifier = std::make_unique<QSocketNotifier>(stop_signals.read_fd(), QSocketNotifier::Read);
    QObject::connect(signal_notifier.get(), &QSocketNotifier::activated, &app, [] { QApplication::quit(); });
  }

  ostrel::ui::desktop_app program(where, options.port);
  program.window().show();
  return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
  auto parsed = ostrel::ui::parse_command_line(argument_list(argc, argv));
  if (!parsed.options) {
    std::fputs(parsed.out.c_str(), stdout);
    std::fputs(parsed.err.c_str(), stderr);
    return parsed.exit_code;
  }
  const auto& options = *parsed.options;

  ostrel::platform::raise_open_file_limit();
  auto where = ostrel::settings::locate_settings(ostrel::platform::executable_path(argc > 0 ? argv[0] : ""),
                                                 options.settings_file);
  if (options.headless) return ostrel::ui::run_headless(where, options);
  return run_window(argc, argv, where, options);
}
