#pragma once
// What a transfer uses of the server that created it.

#include <string>

#include "log/event_log.h"
#include "platform/io_seam.h"
#include "platform/tick_count.h"
#include "platform/udp_socket.h"

namespace ostrel::tftp {

// Read notification for a socket: once watched, the host calls the server's
// on_socket_readable(socket) whenever datagrams wait on it, and again while
// some remain after a drain.
class socket_watcher {
 public:
  virtual ~socket_watcher() = default;
  virtual bool watch_socket(platform::socket_handle s) = 0;
  // Called before the socket is closed.
  virtual void unwatch_socket(platform::socket_handle s) = 0;
};

struct transfer_services {
  std::string root_folder;  // ends in a separator
  log::event_log& log;
  socket_watcher& watcher;
  platform::io_seam& io;
  platform::tick_source ticks;
};

}  // namespace ostrel::tftp
