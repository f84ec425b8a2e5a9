#pragma once
// Confinement of a requested file name to the root folder.

#include <optional>
#include <string>
#include <string_view>

namespace ostrel::tftp {

// The full path of name under root (which ends in a separator), or nothing
// when the name leads outside the root. "/" and "\" both separate folders;
// one leading separator is dropped (a second one is kept, which makes the
// name absolute and so refused unless it lies under the root); "." and ".."
// are resolved before the check; the whole root, its final separator
// included, must begin the result, so a sibling folder whose name merely
// extends the root's is refused. A result that would be longer than a
// path may be is refused as well.
std::optional<std::string> confine_to_root(std::string_view root, std::string_view name);

}  // namespace ostrel::tftp
