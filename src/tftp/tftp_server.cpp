#include "tftp/tftp_server.h"

#include <stdexcept>

#include "platform/error_code.h"
#include "platform/path.h"
#include "tftp/failures.h"

namespace ostrel::tftp {

using log::event_kind;

namespace {

// The root in canonical form with its final separator, so that requested
// names, which are canonicalised before the check, can match it.
std::string canonical_root(const std::string& root) {
  auto canonical = platform::path_combine(root, "");
  return canonical ? platform::with_trailing_separator(*canonical) : std::string();
}

}  // namespace

tftp_server::tftp_server(transfer_services services, std::uint16_t listen_port) : services_(std::move(services)) {
  services_.root_folder = canonical_root(services_.root_folder);
  if (!platform::start_socket_library())
    throw std::runtime_error("Winsock2.dll missing or does not support version 2.0");

  // Each failure releases what was acquired, keeping the error code for the message.
  auto give_up = [this](const char* text) {
    int code = platform::last_socket_error();
    if (listening_ != platform::invalid_socket) platform::close_socket(listening_);
    listening_ = platform::invalid_socket;
    platform::stop_socket_library();
    platform::set_last_socket_error(code);
    fail_with_socket_error(text);
  };
  listening_ = platform::create_udp_socket();
  if (listening_ == platform::invalid_socket) give_up("Can't create server socket");
  if (!platform::bind_socket(listening_, listen_port)) give_up("Can't bind server socket");
  if (!platform::ensure_non_blocking(listening_) || !services_.watcher.watch_socket(listening_))
    give_up("Can't register for async notification");
  services_.log.log_event(nullptr, event_kind::info, "TFTP server started");
}

void tftp_server::close_listening_socket() {
  if (listening_ == platform::invalid_socket) return;
  services_.watcher.unwatch_socket(listening_);
  platform::close_socket(listening_);
  listening_ = platform::invalid_socket;
}

tftp_server::~tftp_server() {
  close_listening_socket();
  transfer_table.clear();
  platform::stop_socket_library();
}

server_control::server_control(server_host& host, log::event_log& log, const settings::settings& values,
                               transfer_rows& rows, std::uint16_t listen_port, platform::tick_source ticks,
                               platform::io_seam* io)
    : host_(host),
      log_(log),
      settings_(values),
      rows_(rows),
      listen_port_(listen_port),
      ticks_(std::move(ticks)),
      io_(io ? *io : default_io_) {}

server_control::~server_control() {
  if (!server_) return;
  for (auto it = server_->transfer_table.begin(); it != server_->transfer_table.end();) it = end_transfer(it);
  server_.reset();
}

void server_control::start_server() {
  if (server_) return;
  log_.open_log_file();
  try {
    server_ = std::make_unique<tftp_server>(
        transfer_services{settings_.root_folder, log_, host_, io_, ticks_}, listen_port_);
    host_.enable_button(command_start_server, false);
    host_.enable_button(command_stop_server, true);
  } catch (const std::exception& e) {
    log_.log_event(nullptr, event_kind::error, e.what());
    log_.close_log_file();
  }
}

void server_control::stop_server() {
  if (!server_) return;
  try {
    log_.log_event(nullptr, event_kind::info, "TFTP server stopped");
    server_->close_listening_socket();
    // Running transfers end without a log line and without a packet to their clients.
    auto& table = server_->transfer_table;
    for (auto it = table.begin(); it != table.end();) it = end_transfer(it);
    server_.reset();
    log_.close_log_file();
    host_.kill_timer(purge_timer);
    host_.enable_button(command_start_server, true);
    host_.enable_button(command_stop_server, false);
  } catch (const std::exception& e) {
    log_.log_event(nullptr, event_kind::error, e.what());
  }
}

void server_control::add_transfer_row(const tftp_transfer& t) {
  rows_.append(platform::format_address(t.client()), "GET " + t.file_name(), &t);
  if (++active_row_count_ == 1) {
    host_.set_timer(transfer_tick_timer, transfer_tick_period_ms);
    host_.set_timer(purge_timer, purge_period_ms);
  }
}

void server_control::retire_transfer_row(const tftp_transfer& t) {
  if (!rows_.retire(&t)) return;
  // Timer 1 runs on, so the retired rows are purged.
  if (--active_row_count_ == 0) host_.kill_timer(transfer_tick_timer);
}

tftp_server::table::iterator server_control::end_transfer(tftp_server::table::iterator it) {
  retire_transfer_row(*it->second);
  return server_->transfer_table.erase(it);  // destroying the transfer releases its socket and file
}

void server_control::log_ending(const platform::ipv4_address& address, const std::exception& e) {
  bool completed = dynamic_cast<const completion_exception*>(&e) != nullptr;
  log_.log_event(&address, completed ? event_kind::info : event_kind::error, e.what());
}

void server_control::accept_request(const platform::ipv4_address& source, const std::uint8_t* datagram, long length) {
  try {
    auto transfer = std::make_unique<tftp_transfer>(server_->services(), source, datagram, length);
    // A first datagram that was an ACK has been warned about; nothing is
    // served, so nothing stays (no socket, no row) for stray ACKs to pile up.
    if (!transfer->serving()) return;
    const tftp_transfer& t = *transfer;
    server_->transfer_table.emplace(t.sock(), std::move(transfer));
    add_transfer_row(t);
  } catch (const std::exception& e) {
    // A completion cannot arise here; whatever was raised is a refusal.
    log_.log_event(&source, event_kind::error, e.what());
  }
}

void server_control::on_socket_readable(platform::socket_handle s) {
  std::uint8_t buffer[receive_buffer_size];
  while (server_) {
    // Only the listening socket and the transfers' own are read: a handle
    // that has been closed (and perhaps reused) meanwhile is left alone.
    bool listening = s == server_->listening_socket();
    auto& table = server_->transfer_table;
    auto it = listening ? table.end() : table.find(s);
    if (!listening && it == table.end()) return;

    platform::ipv4_address source{};
    auto received = platform::receive_datagram(s, buffer, sizeof buffer, source);
    // Nothing left, a failure, or a datagram longer than the buffer (dropped
    // whole): this draining ends; what still waits is reported again.
    if (received.status != platform::receive_status::ok) return;

    if (listening) {
      accept_request(source, buffer, received.length);
      continue;
    }
    try {
      it->second->handle_packet(buffer, received.length, source);
    } catch (const std::exception& e) {
      log_ending(source, e);
      end_transfer(it);
    }
    // One datagram per report on a transfer's socket: in lock-step its
    // client has nothing more to say until the block just sent arrives, so
    // another receive would almost always find nothing, at the price of a
    // system call per block. The host reports a socket again while
    // datagrams wait on it, so none is left behind.
    return;
  }
}

void server_control::on_transfer_tick() {
  if (!server_) return;
  auto& table = server_->transfer_table;
  for (auto it = table.begin(); it != table.end();) {
    try {
      it->second->tick();
      ++it;
    } catch (const std::exception& e) {
      log_ending(it->second->client(), e);
      it = end_transfer(it);
    }
  }
}

void server_control::on_timer(int id) {
  if (id == transfer_tick_timer) {
    on_transfer_tick();
    host_.repaint_transfer_list();
    return;
  }
  rows_.purge_retired();
  if (rows_.empty()) host_.kill_timer(purge_timer);
}

}  // namespace ostrel::tftp
