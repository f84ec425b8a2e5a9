#include "ui/termination_signals.h"

#include <atomic>
#include <csignal>

#include "tftp/event_loop.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ostrel::ui {

namespace {

// A signal handler can reach nothing else: these are set while a
// termination_signals object lives and read only by the handler.
std::atomic<int> signal_write_fd{-1};
std::atomic<tftp::event_loop*> signal_loop{nullptr};

extern "C" void on_termination_signal(int) {
  if (auto* loop = signal_loop.load()) loop->request_stop();
#ifndef _WIN32
  int fd = signal_write_fd.load();
  if (fd >= 0) {
    char byte = 1;
    ssize_t ignored = ::write(fd, &byte, 1);
    (void)ignored;
  }
#endif
}

}  // namespace

termination_signals::termination_signals() {
#ifndef _WIN32
  int fds[2];
  if (::pipe(fds) == 0) {
    for (int fd : fds) {
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    read_fd_ = fds[0];
    write_fd_ = fds[1];
    signal_write_fd.store(write_fd_);
  }
  struct sigaction action {};
  action.sa_handler = on_termination_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
#else
  std::signal(SIGTERM, on_termination_signal);
  std::signal(SIGINT, on_termination_signal);
#endif
}

termination_signals::~termination_signals() {
#ifndef _WIN32
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal_write_fd.store(-1);
  signal_loop.store(nullptr);
  if (read_fd_ >= 0) ::close(read_fd_);
  if (write_fd_ >= 0) ::close(write_fd_);
#else
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGINT, SIG_DFL);
  signal_loop.store(nullptr);
#endif
}

void termination_signals::stop_loop_on_signal(tftp::event_loop* loop) { signal_loop.store(loop); }

}  // namespace ostrel::ui
