#include "tftp/event_loop.h"

#include <algorithm>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#endif

namespace ostrel::tftp {

#ifndef _WIN32

event_loop::event_loop() {
  epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = wake_fd_;
  epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev);
}

event_loop::~event_loop() {
  ::close(wake_fd_);
  ::close(epoll_fd_);
}

bool event_loop::watch_socket(platform::socket_handle s) {
  epoll_event ev{};
  ev.events = EPOLLIN;  // level-triggered: a socket left with datagrams is reported again
  ev.data.fd = s;
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, s, &ev) != 0) return false;
  ++watched_;
  return true;
}

void event_loop::unwatch_socket(platform::socket_handle s) {
  if (epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, s, nullptr) == 0) --watched_;
}

void event_loop::request_stop() {
  stop_requested_.store(true);
  std::uint64_t one = 1;
  ssize_t ignored = ::write(wake_fd_, &one, sizeof one);
  (void)ignored;
}

bool event_loop::run_once(std::chrono::milliseconds timeout) {
  if (stop_requested_) return false;
  if (before_wait_) before_wait_();
  epoll_event events[256];
  int n = epoll_wait(epoll_fd_, events, 256, wait_timeout_ms(timeout));
  for (int i = 0; i < n && !stop_requested_; ++i) {
    int fd = events[i].data.fd;
    if (fd == wake_fd_) continue;
    // A socket closed by an earlier handler in this batch finds nothing
    // to receive, or is no longer the server's, and changes nothing.
    ++notifications_;
    if (control_) control_->on_socket_readable(fd);
  }
  fire_due_timers();
  return !stop_requested_;
}

#else

event_loop::event_loop() {}
event_loop::~event_loop() {}

bool event_loop::watch_socket(platform::socket_handle s) {
  sockets_.push_back(s);
  ++watched_;
  return true;
}

void event_loop::unwatch_socket(platform::socket_handle s) {
  auto it = std::find(sockets_.begin(), sockets_.end(), s);
  if (it == sockets_.end()) return;
  sockets_.erase(it);
  --watched_;
}

void event_loop::request_stop() { stop_requested_.store(true); }

bool event_loop::run_once(std::chrono::milliseconds timeout) {
  if (stop_requested_) return false;
  if (before_wait_) before_wait_();
  std::vector<WSAPOLLFD> fds;
  fds.reserve(sockets_.size());
  for (auto s : sockets_) fds.push_back({s, POLLRDNORM, 0});
  // Wake at least every 50 ms to notice a stop request.
  int wait = std::min(wait_timeout_ms(timeout), 50);
  int ready = fds.empty() ? 0 : WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), wait);
  if (fds.empty() || ready == SOCKET_ERROR) {
    // Nothing to wait on, or the wait itself failed: pause rather than spin.
    Sleep(static_cast<DWORD>(wait));
  } else if (ready > 0) {
    // A socket closed by an earlier handler in this batch (its handle
    // perhaps reused) finds nothing to receive, or is no longer the
    // server's, and changes nothing.
    for (auto& f : fds)
      if ((f.revents & (POLLRDNORM | POLLERR | POLLHUP)) && control_ && !stop_requested_) {
        ++notifications_;
        control_->on_socket_readable(f.fd);
      }
  }
  fire_due_timers();
  return !stop_requested_;
}

#endif

void event_loop::set_timer(int id, int period_ms) {
  auto period = std::chrono::milliseconds(period_ms);
  timers_[id] = {period, clock::now() + period};
}

void event_loop::kill_timer(int id) { timers_.erase(id); }

int event_loop::wait_timeout_ms(std::chrono::milliseconds cap) const {
  auto wait = cap;
  auto now = clock::now();
  for (const auto& [id, t] : timers_) {
    // Rounded up: a wait cut short of the timer would only wake to wait again.
    auto left = std::chrono::ceil<std::chrono::milliseconds>(t.due - now);
    if (left < wait) wait = left;
  }
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

void event_loop::fire_due_timers() {
  auto now = clock::now();
  // Timers may be set or killed by the handlers, so look each id up afresh.
  for (int id : {transfer_tick_timer, purge_timer}) {
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.due > now) continue;
    it->second.due += it->second.period;
    if (it->second.due <= now) it->second.due = now + it->second.period;  // fell behind: do not burst
    if (control_) control_->on_timer(id);
  }
}

void event_loop::run() {
  while (run_once(std::chrono::milliseconds(1000))) {
  }
}

}  // namespace ostrel::tftp
