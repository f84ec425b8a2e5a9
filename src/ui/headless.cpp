#include "ui/headless.h"

#include "log/csv.h"
#include "log/event_log.h"
#include "tftp/event_loop.h"
#include "tftp/tftp_server.h"
#include "tftp/transfer_rows.h"
#include "ui/termination_signals.h"
#include "ui/visible_text.h"

namespace ostrel::ui {

void stdout_log_view::append_log_row(const log::log_row& row) {
  log::log_row shown{visible_text(row.timestamp), row.kind, visible_text(row.client), visible_text(row.message)};
  std::string line = log::csv_line(shown);
  // The file's lines end in CR LF; a terminal or a journal wants LF alone.
  if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) line.replace(line.size() - 2, 2, "\n");
  // Not flushed per line: under load that is a write per event. The loop
  // flushes before each wait, so a line is out as soon as the work is done.
  std::fwrite(line.data(), 1, line.size(), out_);
}

int run_headless(const settings::settings_location& where, const program_options& options) {
  termination_signals stop_signals;
  tftp::event_loop loop;
  stop_signals.stop_loop_on_signal(&loop);

  stdout_log_view view;
  settings::settings values = settings::load_settings(where);
  log::event_log log(view, values.log_file_path);
  tftp::transfer_rows rows;
  tftp::server_control control(loop, log, values, rows, options.port);
  loop.attach(control);
  loop.set_before_wait([&view] { view.flush(); });

  control.start_server();
  if (!control.running()) return 1;
  loop.run();
  control.stop_server();
  return 0;
}

}  // namespace ostrel::ui
