#include "platform/tick_count.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#endif

namespace ostrel::platform {

#ifdef _WIN32

// Milliseconds since the system started, wrapping after about 49.7 days.
std::uint32_t system_tick_count() { return static_cast<std::uint32_t>(GetTickCount()); }

#else

std::uint32_t system_tick_count() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<std::uint32_t>(ms);
}

#endif

}  // namespace ostrel::platform
