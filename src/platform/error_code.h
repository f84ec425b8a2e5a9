#pragma once
// The calling thread's last error codes. On Windows the operating system
// (GetLastError) and the socket library (WSAGetLastError) keep separate
// codes; on POSIX both are errno.

namespace ostrel::platform {

int last_system_error();
void set_last_system_error(int code);

int last_socket_error();
void set_last_socket_error(int code);

// True for the code a non-blocking send reports when it would have to wait
// (WSAEWOULDBLOCK, 10035, on Windows; EWOULDBLOCK or EAGAIN on POSIX).
bool is_would_block(int socket_error);

}  // namespace ostrel::platform
