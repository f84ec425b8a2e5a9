#pragma once
#include <string>

namespace ostrel::platform {

// The running executable's full path (GetModuleFileNameA; /proc/self/exe on
// Linux), or fallback when it cannot be found.
std::string executable_path(const std::string& fallback = {});

}  // namespace ostrel::platform
