#pragma once

namespace ostrel::platform {

// Raises the soft limit of open files to the hard limit, so that every
// concurrent transfer can have its own socket. No-op where there is no such limit.
void raise_open_file_limit();

}  // namespace ostrel::platform
