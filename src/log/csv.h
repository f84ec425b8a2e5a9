#pragma once
// The CSV log file's line format.

#include <ctime>
#include <string>
#include <string_view>

#include "log/log_row.h"

namespace ostrel::log {

inline constexpr std::string_view csv_header = "Timestamp,Event,Client,Message\r\n";

// One line: timestamp, kind name, client, then the message in double quotes
// with every quote inside it doubled, so that any message (quotes, commas,
// line breaks) reads back as exactly one field. Ends in CR LF.
std::string csv_line(const log_row& row);

// The classic asctime form with a zero-padded day and English names, in 24
// characters: "Sun May 07 14:03:09 2006".
std::string format_timestamp(const std::tm& local_time);

}  // namespace ostrel::log
