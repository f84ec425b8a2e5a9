#pragma once
// The server: the listening socket and the table of running transfers, and
// server_control, the one way the window's thread enters the engine (start,
// stop, socket readiness, timers).

#include <cstdint>
#include <map>
#include <memory>
#include <type_traits>

#include "log/event_log.h"
#include "platform/io_seam.h"
#include "platform/tick_count.h"
#include "platform/udp_socket.h"
#include "settings/settings_file.h"
#include "tftp/tftp_transfer.h"
#include "tftp/transfer_rows.h"
#include "tftp/transfer_services.h"

namespace ostrel::tftp {

// Toolbar commands.
enum command_id : int {
  command_about = 104,
  command_start_server = 109,
  command_stop_server = 110,
  command_clear_log = 111,
  command_configure = 119,
};

// Timers: 0 drives the transfers' timeouts (and repaints the transfer
// list), 1 purges retired rows.
inline constexpr int transfer_tick_timer = 0;
inline constexpr int transfer_tick_period_ms = 200;
inline constexpr int purge_timer = 1;
inline constexpr int purge_period_ms = 5000;

inline constexpr std::uint16_t default_listen_port = 69;

// What the engine needs of the window around it.
class server_host : public socket_watcher {
 public:
  // Starts (or restarts) the periodic timer id; each expiry calls server_control::on_timer(id).
  virtual void set_timer(int id, int period_ms) = 0;
  virtual void kill_timer(int id) = 0;
  virtual void enable_button(int command, bool enabled) = 0;
  // After every tick: progress and rate are drawn from the live transfers.
  virtual void repaint_transfer_list() {}
};

// Socket handles ordered as unsigned values.
struct socket_order {
  bool operator()(platform::socket_handle a, platform::socket_handle b) const {
    using unsigned_handle = std::make_unsigned_t<platform::socket_handle>;
    return static_cast<unsigned_handle>(a) < static_cast<unsigned_handle>(b);
  }
};

class tftp_server {
 public:
  // Opens the listening socket on all local addresses and listen_port (0:
  // an ephemeral port) and logs "TFTP server started". Raises on failure,
  // having released what it acquired.
  tftp_server(transfer_services services, std::uint16_t listen_port);
  ~tftp_server();
  tftp_server(const tftp_server&) = delete;
  tftp_server& operator=(const tftp_server&) = delete;

  platform::socket_handle listening_socket() const { return listening_; }
  std::uint16_t port() const { return platform::local_port(listening_); }
  void close_listening_socket();

  const transfer_services& services() const { return services_; }

  using table = std::map<platform::socket_handle, std::unique_ptr<tftp_transfer>, socket_order>;
  table transfer_table;

 private:
  transfer_services services_;  // transfers refer to it: declared before nothing that outlives it
  platform::socket_handle listening_ = platform::invalid_socket;
};

class server_control {
 public:
  server_control(server_host& host, log::event_log& log, const settings::settings& values, transfer_rows& rows,
                 std::uint16_t listen_port = default_listen_port,
                 platform::tick_source ticks = platform::system_tick_count, platform::io_seam* io = nullptr);
  // Ends a running server without a log line (the program is closing).
  ~server_control();
  server_control(const server_control&) = delete;
  server_control& operator=(const server_control&) = delete;

  // Opens the log file and the server; a failure is logged as Error and
  // closes the log file again. Buttons: Start disabled, Stop enabled.
  void start_server();
  // Logs "TFTP server stopped", ends every transfer without a log line,
  // closes the log file. Buttons: Start enabled, Stop disabled.
  void stop_server();
  // Drains the socket: requests on the listening socket create transfers,
  // datagrams on a transfer's socket go to that transfer.
  void on_socket_readable(platform::socket_handle s);
  // Counts every transfer's timeout down, in ascending socket order.
  void on_transfer_tick();
  // Timer 0: the tick and a repaint; timer 1: purge retired rows, and stop
  // when the list is empty.
  void on_timer(int id);

  tftp_server* running_server() const { return server_.get(); }
  bool running() const { return server_ != nullptr; }
  int active_row_count() const { return active_row_count_; }
  // The bound listening port while running (the configured one may be 0).
  std::uint16_t port() const { return server_ ? server_->port() : listen_port_; }

 private:
  void add_transfer_row(const tftp_transfer& t);
  void retire_transfer_row(const tftp_transfer& t);
  void accept_request(const platform::ipv4_address& source, const std::uint8_t* datagram, long length);
  // Logs nothing: retires the row, releases the transfer, erases its entry.
  tftp_server::table::iterator end_transfer(tftp_server::table::iterator it);
  void log_ending(const platform::ipv4_address& address, const std::exception& e);

  server_host& host_;
  log::event_log& log_;
  const settings::settings& settings_;
  transfer_rows& rows_;
  std::uint16_t listen_port_;
  platform::tick_source ticks_;
  platform::io_seam default_io_;
  platform::io_seam& io_;
  int active_row_count_ = 0;
  std::unique_ptr<tftp_server> server_;  // last: destroyed first
};

}  // namespace ostrel::tftp
