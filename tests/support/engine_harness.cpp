#include "engine_harness.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/path.h"
#include "platform/udp_socket.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace ostrel::harness {

namespace fs = std::filesystem;

temp_folder::temp_folder() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  path_ = fs::temp_directory_path() /
          ("ostrel-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

temp_folder::~temp_folder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

fs::path temp_folder::write(const std::string& relative, const std::string& content) const {
  fs::path p = path_ / relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
  return p;
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string pattern_bytes(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 251);
  return s;
}

std::vector<std::string> recording_log_view::messages() const {
  std::vector<std::string> m;
  for (const auto& r : rows) m.push_back(r.message);
  return m;
}

bool recording_log_view::contains(log::event_kind kind, const std::string& message) const {
  for (const auto& r : rows)
    if (r.kind == kind && r.message == message) return true;
  return false;
}

udp_peer::udp_peer(std::uint32_t host_order_address, std::uint16_t port) {
  platform::start_socket_library();
  sock_ = platform::create_udp_socket();
  bound_ = sock_ != platform::invalid_socket && platform::bind_socket(sock_, port, host_order_address) &&
           platform::set_non_blocking(sock_);
}

udp_peer::~udp_peer() {
  platform::close_socket(sock_);
  platform::stop_socket_library();
}

void udp_peer::send_to(std::uint16_t port, const std::string& bytes) const {
  platform::send_datagram(sock_, bytes.data(), bytes.size(), platform::make_address(0x7f000001, port));
}

std::optional<udp_peer::datagram> udp_peer::receive(std::chrono::milliseconds timeout) const {
#ifdef _WIN32
  WSAPOLLFD p{sock_, POLLRDNORM, 0};
  if (WSAPoll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
#else
  pollfd p{sock_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
#endif
  char buffer[2048];
  platform::ipv4_address from{};
  auto r = platform::receive_datagram(sock_, buffer, sizeof buffer, from);
  if (r.status != platform::receive_status::ok) return std::nullopt;
  return datagram{std::string(buffer, static_cast<std::size_t>(r.length)), ntohs(from.sin_port)};
}

std::uint16_t udp_peer::port() const { return platform::local_port(sock_); }

std::string u16(std::uint16_t v) {
  return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xff)};
}

std::string rrq(const std::string& name, const std::string& mode) {
  return u16(1) + name + std::string(1, '\0') + mode + std::string(1, '\0');
}

std::string wrq(const std::string& name, const std::string& mode) {
  return u16(2) + name + std::string(1, '\0') + mode + std::string(1, '\0');
}

std::string ack(std::uint16_t block) { return u16(4) + u16(block); }

std::string error_packet(std::uint16_t code, const std::string& message) {
  return u16(5) + u16(code) + message + std::string(1, '\0');
}

engine_harness::engine_harness(platform::io_seam* io, std::uint16_t listen_port)
    : root(folder.path() / "Root"),
      values{(root.string() + std::string(1, platform::path_separator)), (folder.path() / "Log.csv").string()},
      log(view, values.log_file_path),
      control(host, log, values, rows, listen_port, [this] { return now_ms; }, io) {
  fs::create_directories(root);
  host.attach(control);
}

engine_harness::~engine_harness() = default;

bool engine_harness::start() {
  control.start_server();
  return control.running();
}

void engine_harness::pump() {
  auto seen = host.notifications();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (host.notifications() == seen && std::chrono::steady_clock::now() < deadline)
    host.run_once(std::chrono::milliseconds(10));
  for (seen = host.notifications() - 1; seen != host.notifications();) {
    seen = host.notifications();
    host.run_once(std::chrono::milliseconds(5));
  }
}

void engine_harness::send(udp_peer& peer, std::uint16_t to_port, const std::string& bytes) {
  peer.send_to(to_port, bytes);
  pump();
}

void engine_harness::tick(int n) {
  for (int i = 0; i < n; ++i) control.on_timer(tftp::transfer_tick_timer);
}

std::optional<std::string> engine_harness::download(udp_peer& peer, const std::string& name) {
  peer.send_to(port(), rrq(name));
  std::string content;
  std::uint16_t expected = 1;
  int idle_rounds = 0;
  while (idle_rounds < 200) {
    host.run_once(std::chrono::milliseconds(0));
    auto d = peer.receive(std::chrono::milliseconds(5));
    if (!d) {
      ++idle_rounds;
      continue;
    }
    idle_rounds = 0;
    if (d->bytes.size() < 4 || d->bytes[1] != 3) return std::nullopt;
    auto block = static_cast<std::uint16_t>((static_cast<unsigned char>(d->bytes[2]) << 8) |
                                            static_cast<unsigned char>(d->bytes[3]));
    peer.send_to(d->from_port, ack(block));
    if (block != expected) continue;  // a duplicate: acknowledged again, not stored
    content.append(d->bytes, 4, std::string::npos);
    ++expected;
    if (d->bytes.size() < 516) {
      pump();
      return content;
    }
  }
  return std::nullopt;
}

std::size_t engine_harness::transfer_count() const {
  auto* s = control.running_server();
  return s ? s->transfer_table.size() : 0;
}

const tftp::tftp_transfer* engine_harness::only_transfer() const {
  auto* s = control.running_server();
  if (!s || s->transfer_table.size() != 1) return nullptr;
  return s->transfer_table.begin()->second.get();
}

int open_descriptor_count() {
#ifdef _WIN32
  // Sockets and open files are kernel handles: count those among the low
  // handle values, where Windows hands out free ones first. Events and
  // threads, which the system library creates for itself as it pleases,
  // have no file type and are left out.
  int n = 0;
  DWORD flags = 0;
  for (std::uintptr_t h = 4; h < 4 * 2048; h += 4) {
    HANDLE handle = reinterpret_cast<HANDLE>(h);
    if (GetHandleInformation(handle, &flags) && GetFileType(handle) != FILE_TYPE_UNKNOWN) ++n;
  }
  return n;
#else
  std::error_code ec;
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    ++n;
  return ec ? -1 : n - 1;  // less the descriptor of the listing itself
#endif
}

}  // namespace ostrel::harness
