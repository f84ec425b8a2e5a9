#include "tftp/packets.h"

#include <cstring>

#include "platform/error_code.h"
#include "tftp/failures.h"

namespace ostrel::tftp {

const std::array<const char*, 8> error_texts = {
    "Not defined",       "File not found",      "Access violation", "Disk full or allocation exceeded",
    "Illegal TFTP operation", "Unknown transfer ID", "File already exists", "No such user",
};

namespace {

std::uint16_t read_u16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

void write_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xff);
}

// The zero-terminated string starting at offset, or nothing when no zero
// byte follows inside the datagram.
std::optional<std::string_view> read_string(const std::uint8_t* datagram, std::size_t length, std::size_t offset) {
  if (offset >= length) return std::nullopt;
  const void* zero = std::memchr(datagram + offset, 0, length - offset);
  if (!zero) return std::nullopt;
  auto size = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - (datagram + offset));
  return std::string_view(reinterpret_cast<const char*>(datagram + offset), size);
}

void check_error_send(long sent) {
  if (sent < 0 && !platform::is_would_block(platform::last_socket_error())) raise_win32_error("sendto() failed");
}

}  // namespace

std::optional<std::uint16_t> read_opcode(const std::uint8_t* datagram, std::size_t length) {
  if (length < 2) return std::nullopt;
  return read_u16(datagram);
}

std::optional<request_fields> read_request(const std::uint8_t* datagram, std::size_t length) {
  auto name = read_string(datagram, length, 2);
  if (!name) return std::nullopt;
  auto mode = read_string(datagram, length, 2 + name->size() + 1);
  if (!mode) return std::nullopt;
  return request_fields{*name, *mode};
}

bool is_supported_mode(std::string_view mode) {
  auto equals_ignoring_case = [](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char c = a[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != b[i]) return false;
    }
    return true;
  };
  return equals_ignoring_case(mode, "octet") || equals_ignoring_case(mode, "netascii");
}

std::optional<std::uint16_t> read_ack_block(const std::uint8_t* datagram, std::size_t length) {
  if (length < 4) return std::nullopt;
  return read_u16(datagram + 2);
}

void write_data_header(std::uint8_t* packet, std::uint16_t block) {
  write_u16(packet, op_data);
  write_u16(packet + 2, block);
}

std::string build_error_packet(std::uint16_t code, std::string_view message) {
  std::string packet(4 + message.size() + 1, '\0');
  auto* p = reinterpret_cast<std::uint8_t*>(packet.data());
  write_u16(p, op_error);
  write_u16(p + 2, code);
  std::memcpy(p + 4, message.data(), message.size());
  return packet;
}

std::array<std::uint8_t, unknown_tid_packet_size> build_unknown_tid_packet() {
  std::array<std::uint8_t, unknown_tid_packet_size> packet{};  // filler bytes are zero
  write_u16(packet.data(), op_error);
  write_u16(packet.data() + 2, 5);
  std::memcpy(packet.data() + 4, error_texts[5], std::strlen(error_texts[5]));
  return packet;
}

void send_error_packet(platform::io_seam& io, platform::socket_handle sock, const platform::ipv4_address& to,
                       std::uint16_t code, const char* message) {
  std::string packet = build_error_packet(code, message ? message : error_texts[code]);
  check_error_send(io.send_to(sock, packet.data(), packet.size(), to));
}

void send_unknown_tid_error(platform::io_seam& io, platform::socket_handle sock, const platform::ipv4_address& to) {
  auto packet = build_unknown_tid_packet();
  check_error_send(io.send_to(sock, packet.data(), packet.size(), to));
}

}  // namespace ostrel::tftp
