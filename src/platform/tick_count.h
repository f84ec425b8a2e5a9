#pragma once
// A 32-bit millisecond counter that wraps (GetTickCount); differences are
// taken modulo 2^32. The engine reads it through a tick_source so tests can
// drive time themselves.

#include <cstdint>
#include <functional>

namespace ostrel::platform {

using tick_source = std::function<std::uint32_t()>;

std::uint32_t system_tick_count();

}  // namespace ostrel::platform
