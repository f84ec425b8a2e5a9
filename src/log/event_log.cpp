#include "log/event_log.h"

#include "log/csv.h"

#ifdef _WIN32
#include <share.h>
#endif

namespace ostrel::log {

event_log::event_log(log_view& view, const std::string& log_file_path, clock now)
    : view_(view), log_file_path_(log_file_path), now_(std::move(now)) {}

event_log::~event_log() { close_log_file(); }

void event_log::log_event(const platform::ipv4_address* client, event_kind kind, std::string_view message) {
  log_row row{{}, kind, {}, std::string(message)};
  std::time_t now = now_();
  std::tm local{};
#ifdef _WIN32
  bool converted = localtime_s(&local, &now) == 0;
#else
  bool converted = localtime_r(&now, &local) != nullptr;
#endif
  if (converted) row.timestamp = format_timestamp(local);
  if (client) row.client = platform::format_address(*client);

  view_.append_log_row(row);
  if (file_) {
    std::string line = csv_line(row);
    std::fwrite(line.data(), 1, line.size(), file_);  // no flush per event
  }
}

void event_log::open_log_file() {
  close_log_file();
  // Binary mode: the CR LF line ends are written as they are on every platform.
#ifdef _WIN32
  // Opened without sharing: no other program may open the file meanwhile.
  file_ = _fsopen(log_file_path_.c_str(), "ab", _SH_DENYRW);
#else
  file_ = std::fopen(log_file_path_.c_str(), "ab");
#endif
  if (!file_) {
    log_event(nullptr, event_kind::error, "Can't create or open log file");
    return;
  }
  std::fseek(file_, 0, SEEK_END);
  if (std::ftell(file_) == 0) std::fwrite(csv_header.data(), 1, csv_header.size(), file_);
}

void event_log::close_log_file() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void event_log::clear_log() {
  close_log_file();
  std::remove(log_file_path_.c_str());
  open_log_file();
  view_.clear_log_rows();
}

}  // namespace ostrel::log
