#pragma once
// The program's options: --headless, --port N, --settings FILE, --help,
// --version. Parsed before anything starts.

#include <cstdint>
#include <optional>
#include <string>

#include <QStringList>

namespace ostrel::ui {

struct program_options {
  bool headless = false;
  std::uint16_t port = 69;
  std::string settings_file;  // empty: the INI beside the executable
};

struct parse_outcome {
  std::optional<program_options> options;  // set: go on and run
  int exit_code = 0;                       // otherwise: exit with this code
  std::string out;                         // for standard output (--help, --version)
  std::string err;                         // for standard error (a bad option, with the usage)
};

// arguments: the whole command line, the program's name first.
parse_outcome parse_command_line(const QStringList& arguments);

}  // namespace ostrel::ui
