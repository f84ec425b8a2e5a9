#include "tftp/tftp_transfer.h"

#include <cerrno>
#include <cstdio>

#include "platform/error_code.h"
#include "tftp/failures.h"
#include "tftp/request_path.h"

namespace ostrel::tftp {

using log::event_kind;


tftp_transfer::tftp_transfer(const transfer_services& owner, const platform::ipv4_address& client,
                             const std::uint8_t* datagram, long length)
    : owner_(owner), client_(client) {
  try {
    open_transfer_socket();
    handle_packet(datagram, length, client_);
  } catch (...) {
    release();
    throw;
  }
}

tftp_transfer::~tftp_transfer() { release(); }

void tftp_transfer::release() {
  if (sock_ != platform::invalid_socket) {
    if (watched_) owner_.watcher.unwatch_socket(sock_);
    platform::close_socket(sock_);
    sock_ = platform::invalid_socket;
    watched_ = false;
  }
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void tftp_transfer::open_transfer_socket() {
  sock_ = platform::create_udp_socket();
  if (sock_ == platform::invalid_socket) fail_with_socket_error("Can't create server socket");
  if (!platform::bind_socket(sock_, 0)) fail_with_socket_error("Can't bind server socket");
  if (!platform::ensure_non_blocking(sock_) || !owner_.watcher.watch_socket(sock_))
    fail_with_socket_error("Can't register for async notification");
  watched_ = true;
}

void tftp_transfer::refuse(std::uint16_t code, const char* packet_text, const char* failure) {
  send_error_packet(owner_.io, sock_, client_, code, packet_text);
  throw tftp_exception(failure);
}

void tftp_transfer::handle_packet(const std::uint8_t* datagram, long length, const platform::ipv4_address& source) {
  if (!platform::same_endpoint(source, client_)) {
    // Another sender on this transfer's port: tell it so and carry on.
    send_unknown_tid_error(owner_.io, sock_, source);
    owner_.log.log_event(&client_, event_kind::error, "Unexpected Transaction ID");
    return;
  }
  auto size = static_cast<std::size_t>(length < 0 ? 0 : length);
  auto op = read_opcode(datagram, size);
  if (!op) refuse(4, nullptr, "Client attempted illegal TFTP operation");
  switch (*op) {
    case op_rrq:
    case op_wrq:
      handle_request(*op, datagram, length);
      return;
    case op_data:
      refuse(4, nullptr, "Client sent unexpected DATA packet");
    case op_ack: {
      auto block = read_ack_block(datagram, size);
      if (!block) refuse(4, nullptr, "Client attempted illegal TFTP operation");
      handle_ack(*block);
      return;
    }
    case op_error:
      // The client's own ERROR is answered with nothing.
      throw tftp_exception("Client sent unexpected ERROR packet");
    default:
      refuse(4, nullptr, "Client attempted illegal TFTP operation");
  }
}

void tftp_transfer::handle_request(std::uint16_t opcode, const std::uint8_t* datagram, long length) {
  // A transfer serves one file; a second read request on its port would
  // leave the first file open and the block numbers running on.
  if (opcode == op_rrq && file_) refuse(4, nullptr, "Client attempted illegal TFTP operation");
  auto request = read_request(datagram, static_cast<std::size_t>(length));
  if (!request) refuse(4, nullptr, "Client attempted illegal TFTP operation");
  file_name_.assign(request->name);

  if (opcode == op_wrq) {
    owner_.log.log_event(&client_, event_kind::info, "Client wants to write file: " + file_name_);
    resolve_request_path(request->name);  // a name outside the root is refused as such first
    refuse(2, "Write access is disabled", "Client attempted write operation");
  }
  owner_.log.log_event(&client_, event_kind::info, "Client wants file: " + file_name_);
  std::string path = resolve_request_path(request->name);
  open_requested_file(request->mode, path);
}

std::string tftp_transfer::resolve_request_path(std::string_view name) {
  auto path = confine_to_root(owner_.root_folder, name);
  if (!path) refuse(2, nullptr, "Client attempted to access file outside root path");
  return *path;
}

void tftp_transfer::open_requested_file(std::string_view mode, const std::string& path) {
  // Both modes send the file's bytes unchanged.
  if (!is_supported_mode(mode)) refuse(0, "mode not supported", "Client attempted unsupported file mode");
  errno = 0;
  file_ = owner_.io.open_for_reading(path.c_str());
  if (!file_) {
    int code = errno;
    if (code == ENOENT) refuse(1, nullptr, "File not found");
    if (code == EACCES) refuse(2, nullptr, "Access violation");
    refuse(0, "Unable to open file", "Unable to open file");
  }
  // A small buffer of the transfer's own, set before the first read: four
  // blocks per read from the file, at half the memory of the default one.
  std::setvbuf(file_, read_buffer_.data(), _IOFBF, read_buffer_.size());
  std::int64_t size = owner_.io.file_size(file_);
  file_size_ = size < 0 ? 0 : size;
  block_count_ = static_cast<std::uint16_t>(file_size_ / block_size);
  start_tick_ = owner_.ticks();
  next_block();
  send_block();
}

void tftp_transfer::next_block() {
  // The end-of-file indicator is set only by a read that came up short at
  // the end, so the ACK of that short block is what completes the transfer.
  if (std::feof(file_)) {
    std::uint32_t elapsed = owner_.ticks() - start_tick_;
    double seconds = elapsed / 1000.0;
    double rate = elapsed == 0 ? 0.0 : (static_cast<double>(file_size_) / 1000.0) / seconds;
    char message[160];
    std::snprintf(message, sizeof message, "Transfer completed, %lld bytes in %.2f seconds (%.2f KBytes/sec)",
                  static_cast<long long>(file_size_), seconds, rate);
    throw completion_exception(message);
  }
  ++block_number_;
  ++blocks_built_;
  platform::set_last_system_error(0);
  std::size_t read = owner_.io.read(send_buffer_.data() + data_header_size, block_size, file_);
  block_bytes_ = static_cast<std::uint16_t>(read);
  if (read < block_size && !std::feof(file_)) {
    int code = platform::last_system_error();
    send_error_packet(owner_.io, sock_, client_, 0, "Can't read from file");
    platform::set_last_system_error(code);
    fail_with_win32_error("Can't read from file");
  }
  write_data_header(send_buffer_.data(), block_number_);
  retries_left_ = sends_per_block;
}

void tftp_transfer::send_block() {
  std::size_t length = block_bytes_ + data_header_size;
  // A short send sets no error code; clear any left over from an earlier call.
  platform::set_last_socket_error(0);
  if (owner_.io.send_to(sock_, send_buffer_.data(), length, client_) == static_cast<long>(length)) {
    timeout_ticks_ = timeout_period_ticks;
    return;
  }
  // Would-block is a failure for DATA like any other: lock-step cannot skip a block.
  fail_with_win32_error("error in sendto()");
}

void tftp_transfer::handle_ack(std::uint16_t block) {
  if (!file_ || block != block_number_) {
    // A duplicate or early ACK: only the timeout retransmits, so nothing is
    // sent and the running countdown is left alone.
    owner_.log.log_event(&client_, event_kind::warning, "Client ACK is out-of-sequence");
    return;
  }
  next_block();
  send_block();
}

void tftp_transfer::tick() {
  if (timeout_ticks_ != 0 && --timeout_ticks_ == 0) handle_timeout();
}

void tftp_transfer::handle_timeout() {
  if (retries_left_ <= 1) {
    retries_left_ = 0;
    throw tftp_exception("File transfer aborted");
  }
  --retries_left_;
  char message[100];
  std::snprintf(message, sizeof message, "Client timed out, retrying packet %d of %d", block_number_, block_count_);
  owner_.log.log_event(&client_, event_kind::warning, message);
  send_block();
}

double tftp_transfer::transfer_rate() const {
  std::uint32_t elapsed = owner_.ticks() - start_tick_;
  if (elapsed == 0) return 0.0;
  return (static_cast<double>(block_size) * static_cast<double>(blocks_built_)) / (elapsed / 1000.0) / 1000.0;
}

}  // namespace ostrel::tftp
