#pragma once

#include <string>

#include "log/event_kind.h"

namespace ostrel::log {

// The texts of one event, formed once for both the log list and the CSV line.
struct log_row {
  std::string timestamp;  // "Www Mmm DD hh:mm:ss yyyy", or empty
  event_kind kind;
  std::string client;  // "a.b.c.d:port", or empty
  std::string message;
};

// What the event log needs of the list that shows it.
class log_view {
 public:
  virtual ~log_view() = default;
  virtual void append_log_row(const log_row& row) = 0;
  virtual void clear_log_rows() = 0;
};

}  // namespace ostrel::log
