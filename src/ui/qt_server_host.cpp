#include "ui/qt_server_host.h"

namespace ostrel::ui {

qt_server_host::qt_server_host(QObject* parent) : QObject(parent) {}

qt_server_host::~qt_server_host() {
  for (auto& [s, n] : notifiers_) delete n;
}

bool qt_server_host::watch_socket(platform::socket_handle s) {
  unwatch_socket(s);
  auto* n = new QSocketNotifier(static_cast<qintptr>(s), QSocketNotifier::Read);
  // Level-triggered: a socket that still holds datagrams after a drain is
  // reported again on the next pass of the event loop.
  connect(n, &QSocketNotifier::activated, this, [this, s] {
    if (control_) control_->on_socket_readable(s);
  });
  notifiers_[s] = n;
  return true;
}

void qt_server_host::unwatch_socket(platform::socket_handle s) {
  auto it = notifiers_.find(s);
  if (it == notifiers_.end()) return;
  // This often runs inside the notifier's own activation (a transfer ends
  // while its datagram is handled), so the notifier is switched off now and
  // deleted once control is back in the event loop. The handle may be
  // reused by a new socket before then; the disabled notifier ignores it.
  QSocketNotifier* n = it->second;
  notifiers_.erase(it);
  n->setEnabled(false);
  n->disconnect(this);
  n->deleteLater();
}

void qt_server_host::set_timer(int id, int period_ms) {
  auto& t = timers_[id];
  if (!t) {
    t = std::make_unique<QTimer>();
    connect(t.get(), &QTimer::timeout, this, [this, id] {
      if (control_) control_->on_timer(id);
    });
  }
  t->start(period_ms);  // a running timer restarts its period
}

void qt_server_host::kill_timer(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void qt_server_host::enable_button(int command, bool enabled) {
  if (buttons_) buttons_(command, enabled);
}

void qt_server_host::repaint_transfer_list() {
  if (repaint_) repaint_();
}

bool qt_server_host::timer_running(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

int qt_server_host::timer_interval(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() ? it->second->interval() : -1;
}

}  // namespace ostrel::ui
