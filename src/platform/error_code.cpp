#include "platform/error_code.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <cerrno>
#endif

namespace ostrel::platform {

#ifdef _WIN32
int last_system_error() { return static_cast<int>(GetLastError()); }
void set_last_system_error(int code) { SetLastError(static_cast<DWORD>(code)); }
int last_socket_error() { return WSAGetLastError(); }
void set_last_socket_error(int code) { WSASetLastError(code); }
bool is_would_block(int socket_error) { return socket_error == WSAEWOULDBLOCK; }
#else
int last_system_error() { return errno; }
void set_last_system_error(int code) { errno = code; }
int last_socket_error() { return errno; }
void set_last_socket_error(int code) { errno = code; }
// EAGAIN and EWOULDBLOCK may differ on some systems; both mean "would block".
bool is_would_block(int socket_error) { return socket_error == EWOULDBLOCK || socket_error == EAGAIN; }
#endif

}  // namespace ostrel::platform
