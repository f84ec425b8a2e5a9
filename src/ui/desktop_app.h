#pragma once
// The desktop program: the window, the two lists, the settings, the event
// log and the server, built in start-up order and wired to one another.

#include <cstdint>
#include <functional>

#include <QDialog>

#include "log/event_log.h"
#include "settings/settings_file.h"
#include "tftp/tftp_server.h"
#include "tftp/transfer_rows.h"
#include "ui/main_window.h"
#include "ui/qt_server_host.h"
#include "ui/transfer_list.h"

namespace ostrel::ui {

class desktop_app {
 public:
  // Runs a modal dialog and returns its result; tests put their own in.
  using dialog_runner = std::function<int(QDialog&)>;

  // Builds the window (toolbar, transfer list, log list), loads the
  // settings and starts the server. The window is not shown yet.
  desktop_app(settings::settings_location where, std::uint16_t listen_port = tftp::default_listen_port);
  // Closing ends the program without stopping the server: nothing more is logged.
  ~desktop_app() = default;
  desktop_app(const desktop_app&) = delete;
  desktop_app& operator=(const desktop_app&) = delete;

  void run_command(int id);
  void show_about_box();
  // Stops a running server, runs the Server Configuration dialog and starts
  // the server again if one was running, whatever the dialog's result.
  void configure_server();

  void set_dialog_runner(dialog_runner run) { run_dialog_ = std::move(run); }

  main_window& window() { return window_; }
  tftp::server_control& control() { return control_; }
  qt_server_host& host() { return host_; }
  transfer_model& transfers() { return transfer_model_; }
  log_model& log_rows() { return window_.log_view().model_rows(); }
  const settings::settings& current_settings() const { return settings_; }
  log::event_log& event_log() { return log_; }

 private:
  settings::settings_location where_;
  settings::settings settings_;
  tftp::transfer_rows rows_;
  transfer_model transfer_model_;
  qt_server_host host_;
  main_window window_;
  log::event_log log_;
  tftp::server_control control_;  // last: ends running transfers before the rest goes
  dialog_runner run_dialog_;
};

}  // namespace ostrel::ui
