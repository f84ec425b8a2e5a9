#pragma once
// The engine's server_host on Qt's event loop: one read notifier per
// watched socket and one QTimer per timer id, each calling the attached
// server_control. Toolbar switching and the transfer list's repaint are
// handed to the window through two callbacks.

#include <functional>
#include <map>
#include <memory>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include "tftp/tftp_server.h"

namespace ostrel::ui {

class qt_server_host : public QObject, public tftp::server_host {
  Q_OBJECT
 public:
  using button_switch = std::function<void(int command, bool enabled)>;
  using repaint_request = std::function<void()>;

  explicit qt_server_host(QObject* parent = nullptr);
  ~qt_server_host() override;

  void attach(tftp::server_control& control) { control_ = &control; }
  void set_button_switch(button_switch f) { buttons_ = std::move(f); }
  void set_repaint_request(repaint_request f) { repaint_ = std::move(f); }

  bool watch_socket(platform::socket_handle s) override;
  void unwatch_socket(platform::socket_handle s) override;
  void set_timer(int id, int period_ms) override;
  void kill_timer(int id) override;
  void enable_button(int command, bool enabled) override;
  void repaint_transfer_list() override;

  bool timer_running(int id) const;
  int timer_interval(int id) const;
  std::size_t watched_count() const { return notifiers_.size(); }

 private:
  tftp::server_control* control_ = nullptr;
  std::map<platform::socket_handle, QSocketNotifier*> notifiers_;
  std::map<int, std::unique_ptr<QTimer>> timers_;
  button_switch buttons_;
  repaint_request repaint_;
};

}  // namespace ostrel::ui
