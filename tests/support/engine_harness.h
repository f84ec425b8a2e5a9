#pragma once
// A test host for the engine: real UDP on 127.0.0.1, an ephemeral listening
// port, a clock and timers driven by the test, and the rows and events the
// window would show, kept for inspection.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "log/event_log.h"
#include "platform/io_seam.h"
#include "settings/settings_file.h"
#include "tftp/event_loop.h"
#include "tftp/tftp_server.h"
#include "tftp/transfer_rows.h"

namespace ostrel::harness {

// A fresh folder, removed with everything in it at the end.
class temp_folder {
 public:
  temp_folder();
  ~temp_folder();
  const std::filesystem::path& path() const { return path_; }
  // Writes a file below the folder (creating its folders); returns its path.
  std::filesystem::path write(const std::string& relative, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a file ("" when it cannot be read).
std::string read_file(const std::filesystem::path& p);

// Bytes 0, 1, 2, ... wrapping at 251, so block boundaries and offsets show.
std::string pattern_bytes(std::size_t size);

class recording_log_view : public log::log_view {
 public:
  void append_log_row(const log::log_row& row) override { rows.push_back(row); }
  void clear_log_rows() override { rows.clear(); }
  std::vector<log::log_row> rows;
  // Messages only, in order.
  std::vector<std::string> messages() const;
  bool contains(log::event_kind kind, const std::string& message) const;
};

// The event loop's socket watching, but timers and buttons only recorded:
// the test calls the tick itself.
class recording_host : public tftp::event_loop {
 public:
  void set_timer(int id, int period_ms) override { timers[id] = period_ms; }
  void kill_timer(int id) override { timers.erase(id); }
  void enable_button(int command, bool enabled) override { buttons[command] = enabled; }
  void repaint_transfer_list() override { ++repaints; }
  std::map<int, int> timers;
  std::map<int, bool> buttons;
  int repaints = 0;
};

// A non-blocking UDP socket on a loopback address (127.0.0.1 unless given)
// and an ephemeral port (or the given one), for playing a client.
class udp_peer {
 public:
  explicit udp_peer(std::uint32_t host_order_address = 0x7f000001, std::uint16_t port = 0);
  ~udp_peer();
  udp_peer(const udp_peer&) = delete;
  udp_peer& operator=(const udp_peer&) = delete;

  void send_to(std::uint16_t port, const std::string& bytes) const;
  struct datagram {
    std::string bytes;
    std::uint16_t from_port;
  };
  // The next datagram, or nothing within the timeout.
  std::optional<datagram> receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(500)) const;
  std::uint16_t port() const;
  platform::socket_handle handle() const { return sock_; }
  bool bound() const { return bound_; }

 private:
  platform::socket_handle sock_;
  bool bound_ = false;
};

// Packet builders for the client side.
std::string rrq(const std::string& name, const std::string& mode = "octet");
std::string wrq(const std::string& name, const std::string& mode = "octet");
std::string ack(std::uint16_t block);
std::string u16(std::uint16_t value);
std::string error_packet(std::uint16_t code, const std::string& message);

// The whole engine around one server: settings with a temporary root and
// log file, the event log, the transfer rows, the control and the host.
class engine_harness {
 public:
  explicit engine_harness(platform::io_seam* io = nullptr, std::uint16_t listen_port = 0);
  ~engine_harness();

  // Starts the server on an ephemeral port; false when it did not start.
  bool start();
  std::uint16_t port() const { return control.port(); }

  // Handles what arrives: waits up to a second for the first notification,
  // then goes on until the sockets have been quiet for a moment.
  void pump();
  // Sends from the peer, then pumps.
  void send(udp_peer& peer, std::uint16_t to_port, const std::string& bytes);
  // Advances the test clock.
  void advance_ms(std::uint32_t ms) { now_ms += ms; }
  // n ticks of timer 0.
  void tick(int n = 1);

  // Downloads name as a lock-step client from peer: every DATA acknowledged,
  // the server's port taken from the first DATA. The bytes received, or
  // nothing when an ERROR came or it stalled.
  std::optional<std::string> download(udp_peer& peer, const std::string& name);

  std::size_t transfer_count() const;
  const tftp::tftp_transfer* only_transfer() const;

  temp_folder folder;
  std::filesystem::path root;
  settings::settings values;
  recording_log_view view;
  recording_host host;
  tftp::transfer_rows rows;
  std::uint32_t now_ms = 1000;
  log::event_log log;
  tftp::server_control control;
};

// The number of open file descriptors of this process (-1 where unknown).
int open_descriptor_count();

}  // namespace ostrel::harness
