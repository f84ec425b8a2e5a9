#include "platform/path.h"

#include <cctype>
#include <vector>

namespace ostrel::platform {

namespace {

// The absolute start of a path: "/" on POSIX; "\", "X:\" or "\\server" on Windows.
std::size_t root_length(std::string_view p) {
#ifdef _WIN32
  if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':')
    return (p.size() >= 3 && is_separator(p[2])) ? 3 : 2;
  if (p.size() >= 2 && is_separator(p[0]) && is_separator(p[1])) return 2;
#endif
  return (!p.empty() && is_separator(p[0])) ? 1 : 0;
}

}  // namespace

std::optional<std::string> path_combine(std::string_view folder, std::string_view name) {
  std::string joined;
  if (root_length(name) > 0) {
    joined = name;
  } else {
    joined = folder;
    if (!joined.empty() && !is_separator(joined.back()) && !name.empty()) joined += path_separator;
    joined += name;
  }

  std::size_t root = root_length(joined);
  std::string prefix = joined.substr(0, root);
  for (char& c : prefix)
    if (is_separator(c)) c = path_separator;

  std::vector<std::string_view> parts;
  std::string_view rest = std::string_view(joined).substr(root);
  bool trailing = !rest.empty() && is_separator(rest.back());
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..")
        parts.pop_back();
      else if (root == 0)
        parts.push_back(part);  // a relative path keeps leading ".."
      continue;
    }
    parts.push_back(part);
  }

  std::string result = prefix;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += path_separator;
    result += parts[i];
  }
  if (trailing && !parts.empty()) result += path_separator;
  if (result.size() > max_path_length) return std::nullopt;
  return result;
}

bool path_has_prefix(std::string_view path, std::string_view prefix) {
  if (path.size() < prefix.size()) return false;
#ifdef _WIN32
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(path[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
#else
  return path.compare(0, prefix.size(), prefix) == 0;
#endif
}

std::string path_folder(std::string_view path) {
  std::size_t end = path.size();
  while (end > 0 && !is_separator(path[end - 1])) --end;
  std::size_t root = root_length(path);
  if (end <= root) return std::string(path.substr(0, root));
  return std::string(path.substr(0, end - 1));
}

std::string path_append(std::string_view folder, std::string_view name) {
  std::string result(folder);
  if (!result.empty() && !is_separator(result.back())) result += path_separator;
  result += name;
  return result;
}

std::string with_trailing_separator(std::string path) {
  if (path.empty() || !is_separator(path.back())) path += path_separator;
  return path;
}

std::string without_trailing_separator(std::string path) {
  if (path.size() > root_length(path) && is_separator(path.back())) path.pop_back();
  return path;
}

}  // namespace ostrel::platform
