#include "settings/settings_file.h"

#include <filesystem>
#include <system_error>

#include "platform/path.h"
#include "settings/ini_file.h"

namespace ostrel::settings {

namespace {

constexpr const char* section = "Server";

std::string cut(std::string text) {
  if (text.size() > platform::max_path_length) text.resize(platform::max_path_length);
  return text;
}

}  // namespace

std::string settings_path_for(const std::string& executable_path) {
  std::size_t name_start = executable_path.size();
  while (name_start > 0 && !platform::is_separator(executable_path[name_start - 1])) --name_start;
  std::size_t dot = executable_path.rfind('.');
  if (dot == std::string::npos || dot <= name_start) return executable_path + ".ini";
  return executable_path.substr(0, dot) + ".ini";
}

settings_location locate_settings(const std::string& executable_path, const std::string& ini_path) {
  return {ini_path.empty() ? settings_path_for(executable_path) : ini_path, platform::path_folder(executable_path)};
}

std::string default_root_folder(const settings_location& where) { return platform::path_append(where.exe_folder, "Root"); }

std::string default_log_file(const settings_location& where) { return platform::path_append(where.exe_folder, "Log.csv"); }

void set_root_folder(settings& values, const settings_location& where, std::string text) {
  text = cut(std::move(text));
  if (text.empty()) text = default_root_folder(where);
  values.root_folder = platform::with_trailing_separator(std::move(text));
}

void set_log_file_path(settings& values, std::string text) { values.log_file_path = cut(std::move(text)); }

settings load_settings(const settings_location& where) {
  std::error_code ignored;
  std::filesystem::create_directory(default_root_folder(where), ignored);

  ini_file file = ini_file::read(where.ini_path);
  settings values;
  set_root_folder(values, where, file.get(section, "Root").value_or(default_root_folder(where)));
  set_log_file_path(values, file.get(section, "LogFile").value_or(default_log_file(where)));
  return values;
}

void save_settings(const settings_location& where, const settings& values) {
  ini_file file = ini_file::read(where.ini_path);
  file.set(section, "Root", platform::without_trailing_separator(values.root_folder));
  file.set(section, "LogFile", values.log_file_path);
  file.write(where.ini_path);
}

}  // namespace ostrel::settings
