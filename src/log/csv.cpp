#include "log/csv.h"

#include <cstdio>

namespace ostrel::log {

std::string csv_line(const log_row& row) {
  std::string line;
  line.reserve(row.timestamp.size() + row.client.size() + row.message.size() + 16);
  line += row.timestamp;
  line += ',';
  line += event_kind_name(row.kind);
  line += ',';
  line += row.client;
  line += ",\"";
  for (char c : row.message) {
    if (c == '"') line += '"';
    line += c;
  }
  line += "\"\r\n";
  return line;
}

std::string format_timestamp(const std::tm& t) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (t.tm_wday < 0 || t.tm_wday > 6 || t.tm_mon < 0 || t.tm_mon > 11) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", days[t.tm_wday], months[t.tm_mon], t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return text;
}

}  // namespace ostrel::log
