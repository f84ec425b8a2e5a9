#pragma once
// The one way every part reports: log_event appends a row to the log list
// and, while the log file is open, one CSV line to it.

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "log/event_kind.h"
#include "log/log_row.h"
#include "platform/udp_socket.h"

namespace ostrel::log {

class event_log {
 public:
  using clock = std::function<std::time_t()>;

  // log_file_path is read each time the file is opened, so a changed
  // setting takes effect at the next open.
  event_log(log_view& view, const std::string& log_file_path, clock now = [] { return std::time(nullptr); });
  ~event_log();
  event_log(const event_log&) = delete;
  event_log& operator=(const event_log&) = delete;

  // Never fails; a write error on the file is ignored.
  void log_event(const platform::ipv4_address* client, event_kind kind, std::string_view message);

  // (Re)opens the file for appending, with the header when it is empty. A
  // file that cannot be opened is reported as the Error event
  // "Can't create or open log file", which reaches the list only.
  void open_log_file();
  // Closes the file, writing out what is buffered.
  void close_log_file();
  // Closes, deletes and reopens the file, then empties the list.
  void clear_log();

  bool log_file_open() const { return file_ != nullptr; }

 private:
  log_view& view_;
  const std::string& log_file_path_;
  clock now_;
  std::FILE* file_ = nullptr;
};

}  // namespace ostrel::log
