#pragma once
// The window-less mode: the same engine, settings, event log and CSV file,
// driven by tftp::event_loop, with every event printed to standard output.

#include <cstdio>

#include "log/log_row.h"
#include "settings/settings_file.h"
#include "ui/command_line.h"

namespace ostrel::ui {

// Prints each event as one CSV line (the log file's format, control
// characters made visible), flushed at once so a service log sees it live.
class stdout_log_view : public log::log_view {
 public:
  explicit stdout_log_view(std::FILE* out = stdout) : out_(out) {}
  void append_log_row(const log::log_row& row) override;
  void clear_log_rows() override {}
  // Writes out the lines buffered so far; the loop calls it before it waits.
  void flush() { std::fflush(out_); }

 private:
  std::FILE* out_;
};

// Runs until SIGTERM or SIGINT, then stops the server the way Stop server
// does. Returns the exit code: 0 after a clean stop, 1 when the server
// could not start.
int run_headless(const settings::settings_location& where, const program_options& options);

}  // namespace ostrel::ui
