#pragma once
// A server host without a window: waits on the watched sockets (epoll on
// Linux, WSAPoll on Windows) and on the two timers, and calls the
// server_control's entry points one at a time on the calling thread. Used
// by the headless mode and by tests.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "tftp/tftp_server.h"

namespace ostrel::tftp {

class event_loop : public server_host {
 public:
  using clock = std::chrono::steady_clock;

  event_loop();
  ~event_loop() override;
  event_loop(const event_loop&) = delete;
  event_loop& operator=(const event_loop&) = delete;

  // The control whose entry points the loop calls.
  void attach(server_control& control) { control_ = &control; }
  // Called each time before the loop waits, e.g. to write out buffered output
  // once per batch of work rather than once per event.
  void set_before_wait(std::function<void()> hook) { before_wait_ = std::move(hook); }

  bool watch_socket(platform::socket_handle s) override;
  void unwatch_socket(platform::socket_handle s) override;
  void set_timer(int id, int period_ms) override;
  void kill_timer(int id) override;
  void enable_button(int, bool) override {}

  // Waits at most timeout for one batch of readiness or a due timer and
  // handles it. Returns false once stop has been requested.
  bool run_once(std::chrono::milliseconds timeout);
  // Runs until request_stop().
  void run();
  // Safe to call from a signal handler: wakes the loop and makes run() return.
  void request_stop();

  bool timer_running(int id) const { return timers_.count(id) != 0; }
  // Socket notifications handed to the control so far.
  std::uint64_t notifications() const { return notifications_; }
  std::size_t watched_count() const { return watched_; }

 private:
  struct timer {
    clock::duration period;
    clock::time_point due;
  };
  void fire_due_timers();
  int wait_timeout_ms(std::chrono::milliseconds cap) const;

  server_control* control_ = nullptr;
  std::function<void()> before_wait_;
  std::map<int, timer> timers_;
  std::size_t watched_ = 0;
  std::uint64_t notifications_ = 0;
  std::atomic<bool> stop_requested_{false};
#ifdef _WIN32
  std::vector<platform::socket_handle> sockets_;
#else
  int epoll_fd_ = -1;
  int wake_fd_ = -1;
#endif
};

}  // namespace ostrel::tftp
