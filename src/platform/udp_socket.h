#pragma once
// UDP sockets as the engine needs them: IPv4 only, non-blocking, one
// datagram per call. A failing call returns its failure value and leaves
// the code for last_socket_error().

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#endif

namespace ostrel::platform {

#ifdef _WIN32
using socket_handle = SOCKET;
inline constexpr socket_handle invalid_socket = INVALID_SOCKET;
#else
using socket_handle = int;
inline constexpr socket_handle invalid_socket = -1;
#endif

// An IPv4 socket address as the socket layer delivers it: address and port
// in network byte order.
using ipv4_address = sockaddr_in;

// Starts and stops the socket library (WSAStartup 2.0 / WSACleanup); no-ops on POSIX.
bool start_socket_library();
void stop_socket_library();

// A UDP socket, or invalid_socket. On POSIX it is created non-blocking.
socket_handle create_udp_socket();
// Binds to INADDR_ANY (or the given host-order address) and a host-order port; 0 lets the system choose.
bool bind_socket(socket_handle s, std::uint16_t port, std::uint32_t address = 0);
bool set_non_blocking(socket_handle s);
// Makes a socket from create_udp_socket non-blocking, as read notification
// needs; no system call where it was created so (one less per transfer).
bool ensure_non_blocking(socket_handle s);
void close_socket(socket_handle s);
// The host-order port the socket is bound to, or 0.
std::uint16_t local_port(socket_handle s);

// Bytes sent, or -1 with the code in last_socket_error().
long send_datagram(socket_handle s, const void* data, std::size_t length, const ipv4_address& to);

enum class receive_status { ok, nothing, too_long, failed };
struct received_datagram {
  receive_status status;
  long length;  // valid for ok
};
// Receives one datagram into buffer. A datagram longer than capacity is
// consumed and reported as too_long, never handed on cut short.
received_datagram receive_datagram(socket_handle s, void* buffer, std::size_t capacity, ipv4_address& from);

// "%s:%d": dotted address and host-order port.
std::string format_address(const ipv4_address& address);
ipv4_address make_address(std::uint32_t host_order_address, std::uint16_t host_order_port);
bool same_endpoint(const ipv4_address& a, const ipv4_address& b);

}  // namespace ostrel::platform
