#pragma once
// TFTP packets (RFC 1350) as this server reads and writes them. Every
// 16-bit field is in network byte order. Readers take the datagram's length
// and never look past it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/io_seam.h"
#include "platform/udp_socket.h"

namespace ostrel::tftp {

enum opcode : std::uint16_t { op_rrq = 1, op_wrq = 2, op_data = 3, op_ack = 4, op_error = 5 };

inline constexpr std::size_t block_size = 512;
inline constexpr std::size_t data_header_size = 4;
inline constexpr std::size_t max_data_packet = data_header_size + block_size;  // 516
inline constexpr std::size_t receive_buffer_size = 1024;
inline constexpr std::size_t unknown_tid_packet_size = 100;

// The eight standard error texts, indexed by error code.
extern const std::array<const char*, 8> error_texts;

// The opcode in bytes 0 and 1, or nothing when the datagram is shorter.
std::optional<std::uint16_t> read_opcode(const std::uint8_t* datagram, std::size_t length);

// A request's fields, viewing the datagram's bytes.
struct request_fields {
  std::string_view name;  // from byte 2 to the first zero
  std::string_view mode;  // from the byte after that zero to the next zero
};
// The name and mode of an RRQ or WRQ, or nothing when either lacks its
// terminating zero inside the datagram. Anything after the mode's zero
// (option fields) is ignored.
std::optional<request_fields> read_request(const std::uint8_t* datagram, std::size_t length);

// True for "octet" and "netascii" in any mix of case.
bool is_supported_mode(std::string_view mode);

// The block number of an ACK (bytes 2 and 3), or nothing when the datagram
// is shorter than 4 bytes. Bytes after the fourth are ignored.
std::optional<std::uint16_t> read_ack_block(const std::uint8_t* datagram, std::size_t length);

// Writes opcode 3 and the block number into bytes 0 to 3.
void write_data_header(std::uint8_t* packet, std::uint16_t block);

// An ERROR packet: opcode 5, the code, the message and one zero byte,
// exactly 4 + message length + 1 bytes long.
std::string build_error_packet(std::uint16_t code, std::string_view message);

// The fixed 100-byte ERROR 5 "Unknown transfer ID" packet.
std::array<std::uint8_t, unknown_tid_packet_size> build_unknown_tid_packet();

// Sends an ERROR packet from the socket to the destination; without a message
// the table text for the code is used. A send that would block is dropped
// without a trace; any other failure raises win32_exception "sendto() failed".
void send_error_packet(platform::io_seam& io, platform::socket_handle sock, const platform::ipv4_address& to,
                       std::uint16_t code, const char* message = nullptr);

// Sends the fixed 100-byte ERROR 5 packet; same failure rule.
void send_unknown_tid_error(platform::io_seam& io, platform::socket_handle sock, const platform::ipv4_address& to);

}  // namespace ostrel::tftp
