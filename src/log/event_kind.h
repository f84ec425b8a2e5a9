#pragma once

namespace ostrel::log {

// The index of an event's icon in the log list and of its name in the CSV file.
enum class event_kind : int { info = 0, warning = 1, error = 2 };

inline const char* event_kind_name(event_kind kind) {
  switch (kind) {
    case event_kind::info: return "Info";
    case event_kind::warning: return "Warning";
    case event_kind::error: return "Error";
  }
  return "";
}

}  // namespace ostrel::log
