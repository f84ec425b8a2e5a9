#pragma once
// Path helpers for confining requested names to the root folder.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel::platform {

#ifdef _WIN32
inline constexpr char path_separator = '\\';
#else
inline constexpr char path_separator = '/';
#endif

// Paths live in buffers of 260 characters: at most 259 and the terminator.
inline constexpr std::size_t max_path_length = 259;

inline bool is_separator(char c) { return c == '/' || c == '\\'; }

// Joins folder and name and canonicalises the result lexically: "/" and "\"
// both separate, "." and ".." components are resolved (".." never climbs
// above the top), runs of separators collapse, and a name that is itself an
// absolute path replaces the folder. A trailing separator is kept. The
// result uses the native separator. A result longer than max_path_length is
// not produced.
std::optional<std::string> path_combine(std::string_view folder, std::string_view name);

// True when path begins with the whole of prefix. Compared with regard to
// case on case-sensitive file systems, without regard to case on Windows.
bool path_has_prefix(std::string_view path, std::string_view prefix);

// The folder part of a path (without its last component and separator).
std::string path_folder(std::string_view path);
// folder + one separator + name.
std::string path_append(std::string_view folder, std::string_view name);
std::string with_trailing_separator(std::string path);
std::string without_trailing_separator(std::string path);

}  // namespace ostrel::platform
