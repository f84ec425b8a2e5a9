#include "tftp/request_path.h"

#include "platform/path.h"

namespace ostrel::tftp {

std::optional<std::string> confine_to_root(std::string_view root, std::string_view name) {
  // An empty root would make every path "inside" it.
  if (root.empty()) return std::nullopt;
  std::string local(name);
  for (char& c : local)
    if (platform::is_separator(c)) c = platform::path_separator;
  std::string_view relative = local;
  if (!relative.empty() && relative.front() == platform::path_separator) relative.remove_prefix(1);

  auto joined = platform::path_combine(root, relative);
  if (!joined || !platform::path_has_prefix(*joined, root)) return std::nullopt;
  return joined;
}

}  // namespace ostrel::tftp
