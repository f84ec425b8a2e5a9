#include "platform/udp_socket.h"

#include <cstdio>
#include <cstring>

#include "platform/error_code.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace ostrel::platform {

#ifdef _WIN32

bool start_socket_library() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return false;
  if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 0) {
    WSACleanup();
    return false;
  }
  return true;
}
void stop_socket_library() { WSACleanup(); }

socket_handle create_udp_socket() {
  return WSASocketA(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_OVERLAPPED);
}
bool set_non_blocking(socket_handle s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}
void close_socket(socket_handle s) { closesocket(s); }
bool ensure_non_blocking(socket_handle s) { return set_non_blocking(s); }

#else

bool start_socket_library() { return true; }
void stop_socket_library() {}

socket_handle create_udp_socket() {
  return ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
}
bool ensure_non_blocking(socket_handle) { return true; }
bool set_non_blocking(socket_handle s) {
  // One system call per new transfer instead of a read and a write of the flags.
  int on = 1;
  return ::ioctl(s, FIONBIO, &on) == 0;
}
void close_socket(socket_handle s) { ::close(s); }

#endif

bool bind_socket(socket_handle s, std::uint16_t port, std::uint32_t address) {
  ipv4_address a = make_address(address, port);
#ifdef _WIN32
  // Without it, another program could bind the same port with SO_REUSEADDR
  // and take the datagrams meant for this one. Best effort: the bind
  // itself still fails (WSAEADDRINUSE) while another socket holds the port.
  BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
#endif
  return ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
}

std::uint16_t local_port(socket_handle s) {
  ipv4_address a{};
  socklen_t len = sizeof a;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

long send_datagram(socket_handle s, const void* data, std::size_t length, const ipv4_address& to) {
  return static_cast<long>(::sendto(s, static_cast<const char*>(data), static_cast<int>(length), 0,
                                    reinterpret_cast<const sockaddr*>(&to), sizeof to));
}

received_datagram receive_datagram(socket_handle s, void* buffer, std::size_t capacity, ipv4_address& from) {
  socklen_t len = sizeof from;
#ifdef _WIN32
  int n = ::recvfrom(s, static_cast<char*>(buffer), static_cast<int>(capacity), 0,
                     reinterpret_cast<sockaddr*>(&from), &len);
  if (n == SOCKET_ERROR) {
    int code = WSAGetLastError();
    if (code == WSAEMSGSIZE) return {receive_status::too_long, 0};
    if (code == WSAEWOULDBLOCK) return {receive_status::nothing, 0};
    return {receive_status::failed, 0};
  }
  return {receive_status::ok, n};
#else
  // MSG_TRUNC makes recvfrom report the datagram's real length, so a
  // datagram longer than the buffer is recognised instead of silently cut.
  ssize_t n = ::recvfrom(s, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from), &len);
  if (n < 0) {
    if (is_would_block(errno)) return {receive_status::nothing, 0};
    return {receive_status::failed, 0};
  }
  if (static_cast<std::size_t>(n) > capacity) return {receive_status::too_long, 0};
  return {receive_status::ok, static_cast<long>(n)};
#endif
}

std::string format_address(const ipv4_address& address) {
  std::uint32_t a = ntohl(address.sin_addr.s_addr);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (a >> 24) & 0xff, (a >> 16) & 0xff, (a >> 8) & 0xff,
                a & 0xff, static_cast<unsigned>(ntohs(address.sin_port)));
  return text;
}

ipv4_address make_address(std::uint32_t host_order_address, std::uint16_t host_order_port) {
  ipv4_address a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(host_order_address);
  a.sin_port = htons(host_order_port);
  return a;
}

bool same_endpoint(const ipv4_address& a, const ipv4_address& b) {
  return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace ostrel::platform
