#include "tftp/failures.h"

#include <cstdio>

#include "platform/error_code.h"

namespace ostrel::tftp {

std::string with_error_code(const char* text, int code) {
  char message[128];
  std::snprintf(message, sizeof message, "%s (code %d)", text, code);
  return message;
}

void raise_win32_error(const char* text) {
  int code = platform::last_system_error();
  if (code == 0) return;
  throw win32_exception(with_error_code(text, code));
}

void raise_socket_error(const char* text) {
  int code = platform::last_socket_error();
  if (code == 0) return;
  throw socket_exception(with_error_code(text, code));
}

void fail_with_win32_error(const char* text) {
  raise_win32_error(text);
  throw win32_exception(with_error_code(text, 0));
}

void fail_with_socket_error(const char* text) {
  raise_socket_error(text);
  throw socket_exception(with_error_code(text, 0));
}

}  // namespace ostrel::tftp
