#pragma once
// SIGTERM and SIGINT end the program the ordinary way: the handler only
// writes one byte to a pipe (watched by the window's event loop) or wakes
// the window-less event loop, so the program leaves its loop and returns
// from main, and buffered log lines are written out on the way.

namespace ostrel::tftp {
class event_loop;
}

namespace ostrel::ui {

class termination_signals {
 public:
  // Installs the handlers. At most one instance exists at a time.
  termination_signals();
  ~termination_signals();
  termination_signals(const termination_signals&) = delete;
  termination_signals& operator=(const termination_signals&) = delete;

  // Becomes readable once a signal has arrived (-1 where there are no pipes).
  int read_fd() const { return read_fd_; }
  // A window-less loop to stop as well (or none).
  void stop_loop_on_signal(tftp::event_loop* loop);

 private:
  int read_fd_ = -1;
  int write_fd_ = -1;
};

}  // namespace ostrel::ui
