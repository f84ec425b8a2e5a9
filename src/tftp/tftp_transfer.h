#pragma once
// One read transfer: one file to one client from a socket of its own, in
// 512-byte DATA blocks in lock-step with the client's ACKs.
//
// A transfer never ends by returning: its entry points raise one of the
// failure kinds (completion_exception for a normal end), and the server
// catches it, logs it and destroys the transfer. Destruction releases the
// socket and the file; a constructor that raises leaves nothing behind.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/udp_socket.h"
#include "tftp/packets.h"
#include "tftp/transfer_services.h"

namespace ostrel::tftp {

class tftp_transfer {
 public:
  // Ticks of 200 ms between a complete send and its timeout (5 seconds).
  static constexpr std::uint16_t timeout_period_ticks = 25;
  // Sends of one block: the first and two retransmissions.
  static constexpr std::uint8_t sends_per_block = 3;

  // Opens the transfer's socket and handles the first datagram (which came
  // from client). Raises when the request is refused or a call fails.
  tftp_transfer(const transfer_services& owner, const platform::ipv4_address& client, const std::uint8_t* datagram,
                long length);
  ~tftp_transfer();
  tftp_transfer(const tftp_transfer&) = delete;
  tftp_transfer& operator=(const tftp_transfer&) = delete;

  // Every datagram that arrives on sock.
  void handle_packet(const std::uint8_t* datagram, long length, const platform::ipv4_address& source);
  // The server's 200 ms tick: counts timeout_ticks down and, when it
  // reaches 0, handles the timeout.
  void tick();
  // The block's timeout ran out: retransmit, or give up at the third expiry.
  void handle_timeout();

  // KBytes (of 1000 bytes) per second so far, counting every block built as 512 bytes.
  double transfer_rate() const;

  // False after a first datagram that was an ACK: nothing is being served.
  bool serving() const { return file_ != nullptr; }

  platform::socket_handle sock() const { return sock_; }
  const platform::ipv4_address& client() const { return client_; }
  const std::string& file_name() const { return file_name_; }
  std::uint16_t block_number() const { return block_number_; }
  std::uint16_t block_count() const { return block_count_; }
  std::uint16_t block_bytes() const { return block_bytes_; }
  std::uint16_t timeout_ticks() const { return timeout_ticks_; }
  std::uint8_t retries_left() const { return retries_left_; }
  std::int64_t file_size() const { return file_size_; }

 private:
  void open_transfer_socket();
  void handle_request(std::uint16_t opcode, const std::uint8_t* datagram, long length);
  std::string resolve_request_path(std::string_view name);
  void open_requested_file(std::string_view mode, const std::string& path);
  void next_block();
  void send_block();
  void handle_ack(std::uint16_t block);
  [[noreturn]] void refuse(std::uint16_t code, const char* packet_text, const char* failure);
  void release();

  const transfer_services& owner_;
  platform::socket_handle sock_ = platform::invalid_socket;
  bool watched_ = false;
  platform::ipv4_address client_;
  std::FILE* file_ = nullptr;
  std::string file_name_;  // exactly as the client sent it; only shown
  std::array<std::uint8_t, max_data_packet> send_buffer_{};
  // The open file's stdio buffer: four blocks per read from the file, at a
  // half of the default buffer's memory. Left uninitialised, so a transfer
  // that is refused never touches it.
  std::array<char, 4 * 512> read_buffer_;
  std::uint16_t block_number_ = 0;  // the DATA block last built; wraps 65535 -> 0
  std::uint16_t block_bytes_ = 0;   // data bytes in the current block
  std::uint16_t block_count_ = 0;   // file_size / 512, low 16 bits
  std::uint64_t blocks_built_ = 0;  // every block built, for the rate past the 16-bit wrap
  std::uint32_t start_tick_ = 0;
  std::uint16_t timeout_ticks_ = 0;  // 0: no timeout pending
  std::uint8_t retries_left_ = 0;
  std::int64_t file_size_ = 0;
};

}  // namespace ostrel::tftp
