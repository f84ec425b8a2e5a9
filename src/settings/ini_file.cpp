#include "settings/ini_file.h"

#include <fstream>

namespace ostrel::settings {

namespace {

std::string_view trim(std::string_view s) {
  const char* blanks = " \t\r\n";
  std::size_t first = s.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The section name of a "[name]" line.
std::optional<std::string_view> section_of(std::string_view line) {
  line = trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return trim(line.substr(1, close - 1));
}

struct key_value {
  std::string_view key;
  std::string_view value;
};

std::optional<key_value> key_value_of(std::string_view line) {
  std::string_view t = trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '#') return std::nullopt;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  std::string_view value = trim(t.substr(eq + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return key_value{trim(t.substr(0, eq)), value};
}

}  // namespace

ini_file ini_file::read(const std::string& path) {
  ini_file f;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    bool cr = !line.empty() && line.back() == '\r';
    if (first) f.crlf_ = cr;
    first = false;
    if (cr) line.pop_back();
    f.lines_.push_back(line);
  }
  return f;
}

std::optional<std::string> ini_file::get(std::string_view section, std::string_view key) const {
  bool in_section = false;
  for (const std::string& line : lines_) {
    if (auto name = section_of(line)) {
      in_section = same_name(*name, section);
      continue;
    }
    if (!in_section) continue;
    if (auto kv = key_value_of(line); kv && same_name(kv->key, key)) return std::string(kv->value);
  }
  return std::nullopt;
}

void ini_file::set(std::string_view section, std::string_view key, std::string_view value) {
  std::string entry = std::string(key) + "=" + std::string(value);
  bool in_section = false;
  std::optional<std::size_t> section_end;  // where a missing key goes: after the section's last entry
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (auto name = section_of(lines_[i])) {
      in_section = same_name(*name, section);
      if (in_section) section_end = i + 1;
      continue;
    }
    if (!in_section) continue;
    if (auto kv = key_value_of(lines_[i])) {
      if (same_name(kv->key, key)) {
        lines_[i] = entry;
        return;
      }
      section_end = i + 1;
    }
  }
  if (section_end) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*section_end), entry);
    return;
  }
  lines_.push_back("[" + std::string(section) + "]");
  lines_.push_back(entry);
}

bool ini_file::write(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  for (const std::string& line : lines_) out << line << (crlf_ ? "\r\n" : "\n");
  return static_cast<bool>(out.flush());
}

}  // namespace ostrel::settings
