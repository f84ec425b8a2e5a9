#pragma once
// A plain INI file that people also edit by hand: "[Section]" lines and
// "Key=value" lines. Names compare without regard to case, blanks around
// names and values are dropped, a value in double quotes loses them, and
// lines starting with ";" or "#" are comments. Setting a key rewrites only
// that key's line; every other line of the file is kept as it was.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::settings {

class ini_file {
 public:
  // The file's lines, or none when it cannot be read.
  static ini_file read(const std::string& path);

  std::optional<std::string> get(std::string_view section, std::string_view key) const;
  void set(std::string_view section, std::string_view key, std::string_view value);

  // False when the file cannot be written.
  bool write(const std::string& path) const;

 private:
  std::vector<std::string> lines_;
  // A file that used CR LF keeps it; a new one gets the platform's line end.
#ifdef _WIN32
  bool crlf_ = true;
#else
  bool crlf_ = false;
#endif
};

}  // namespace ostrel::settings
