#pragma once
// The four ways a transfer ends. A normal completion unwinds exactly like a
// failure; only the catch sites tell completion_exception apart.

#include <exception>
#include <string>

namespace ostrel::tftp {

// Each kind derives from std::exception alone and owns its message.
template <class Kind>
class failure : public std::exception {
 public:
  explicit failure(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

struct completion_kind;
struct tftp_kind;
struct win32_kind;
struct socket_kind;

// The client acknowledged the last block; the message is the completion line.
using completion_exception = failure<completion_kind>;
// The request was refused, or the transfer gave up, for a protocol reason.
using tftp_exception = failure<tftp_kind>;
// An operating-system call failed while sending or reading data.
using win32_exception = failure<win32_kind>;
// Creating, binding or registering a socket failed.
using socket_exception = failure<socket_kind>;

// "%s (code %d)" with the thread's last error code.
std::string with_error_code(const char* text, int code);

// Raise win32_exception / socket_exception for the call that just failed,
// with the system's / socket library's last error code appended. A code of 0
// raises nothing: the routine returns and the caller goes on.
void raise_win32_error(const char* text);
void raise_socket_error(const char* text);

// For operations that must not go on after the call failed even when the
// system reports no code: raise as above, or else with "(code 0)".
[[noreturn]] void fail_with_win32_error(const char* text);
[[noreturn]] void fail_with_socket_error(const char* text);

}  // namespace ostrel::tftp
