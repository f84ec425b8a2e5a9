#include "ui/desktop_app.h"

#include "settings/config_dialog.h"
#include "ui/about_box.h"

namespace ostrel::ui {

desktop_app::desktop_app(settings::settings_location where, std::uint16_t listen_port)
    : where_(std::move(where)),
      transfer_model_(rows_),
      window_(transfer_model_),
      log_(window_.log_view(), settings_.log_file_path),
      control_(host_, log_, settings_, rows_, listen_port),
      run_dialog_([](QDialog& d) { return d.exec(); }) {
  host_.attach(control_);
  host_.set_button_switch([this](int command, bool enabled) { window_.enable_button(command, enabled); });
  host_.set_repaint_request([this] { window_.transfer_view()->viewport()->update(); });
  QObject::connect(&window_, &main_window::command, &window_, [this](int id) { run_command(id); });

  settings_ = settings::load_settings(where_);
  control_.start_server();
}

void desktop_app::run_command(int id) {
  switch (id) {
    case tftp::command_about: show_about_box(); break;
    case tftp::command_start_server: control_.start_server(); break;
    case tftp::command_stop_server: control_.stop_server(); break;
    case tftp::command_clear_log: log_.clear_log(); break;
    case tftp::command_configure: configure_server(); break;
    default: break;
  }
}

void desktop_app::show_about_box() {
  about_box box(&window_);
  run_dialog_(box);
}

void desktop_app::configure_server() {
  bool was_running = control_.running();
  control_.stop_server();
  {
    settings::config_dialog dialog(settings_, where_, &window_, &window_);
    // Placed at the top left of the main window's client area, not centred.
    dialog.move(window_.mapToGlobal(QPoint(0, 0)));
    run_dialog_(dialog);
  }
  if (was_running) control_.start_server();
}

}  // namespace ostrel::ui
