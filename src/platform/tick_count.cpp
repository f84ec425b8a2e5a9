#include "platform/tick_count.h"

#include <chrono>

namespace ostrel::platform {

std::uint32_t system_tick_count() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<std::uint32_t>(ms);
}

}  // namespace ostrel::platform
