#include "platform/executable_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>
#include <system_error>
#endif

namespace ostrel::platform {

std::string executable_path(const std::string& fallback) {
#ifdef _WIN32
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return fallback;
  return std::string(path, n);
#else
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? fallback : path.string();
#endif
}

}  // namespace ostrel::platform
