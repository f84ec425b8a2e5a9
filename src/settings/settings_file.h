#pragma once
// The two settings and the INI file that holds them: section [Server], keys
// Root and LogFile. In memory the root folder always ends in a separator;
// the file holds it without one.

#include <string>

namespace ostrel::settings {

struct settings {
  std::string root_folder;    // ends in a separator
  std::string log_file_path;
};

// Where the settings file is and where the defaults lie.
struct settings_location {
  std::string ini_path;    // the executable's path with ".ini" for its extension, unless given
  std::string exe_folder;  // the default root and log file lie here
};

// The executable's path with its extension replaced by ".ini" (a name
// without an extension gets ".ini" appended).
std::string settings_path_for(const std::string& executable_path);

// Settings beside the executable, or in ini_path when one is given.
settings_location locate_settings(const std::string& executable_path, const std::string& ini_path = {});

std::string default_root_folder(const settings_location& where);   // <exe folder>/Root
std::string default_log_file(const settings_location& where);      // <exe folder>/Log.csv

// Reads both settings, with the defaults for a missing file, section or
// key. Creates the default root folder every time. Never fails.
settings load_settings(const settings_location& where);

// Writes both settings, the root without its trailing separator, keeping
// every other line of the file. Failures are ignored.
void save_settings(const settings_location& where, const settings& values);

// Sets the root folder from a typed or stored text: cut to 259 characters,
// a trailing separator added; an empty text means the default root, never
// the top of the file system.
void set_root_folder(settings& values, const settings_location& where, std::string text);
void set_log_file_path(settings& values, std::string text);

}  // namespace ostrel::settings
