#include "hostile_support.h"

#include <malloc.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

namespace ostrel::hostile {

namespace fs = std::filesystem;

temp_tree::temp_tree() {
  static std::atomic<unsigned> counter{0};
  path_ = fs::temp_directory_path() /
          ("ostrel-hostile-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

temp_tree::~temp_tree() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

fs::path temp_tree::write(const std::string& relative, const std::string& bytes) const {
  fs::path p = path_ / relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

std::string file_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(random() & 0xff);
  return s;
}

udp_endpoint::udp_endpoint(std::uint32_t host_order_address, std::uint16_t port) {
  sock_ = platform::create_udp_socket();
  bound_ = sock_ != platform::invalid_socket && platform::bind_socket(sock_, port, host_order_address) &&
           platform::set_non_blocking(sock_);
}

udp_endpoint::~udp_endpoint() {
  if (sock_ != platform::invalid_socket) platform::close_socket(sock_);
}

void udp_endpoint::send_to(std::uint16_t port, const std::string& bytes) const {
  platform::send_datagram(sock_, bytes.data(), bytes.size(), platform::make_address(0x7f000001, port));
}

std::optional<udp_endpoint::datagram> udp_endpoint::receive(std::chrono::milliseconds timeout) const {
  if (timeout.count() > 0) {
    pollfd p{sock_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
  }
  char buffer[2048];
  platform::ipv4_address from{};
  auto r = platform::receive_datagram(sock_, buffer, sizeof buffer, from);
  if (r.status != platform::receive_status::ok) return std::nullopt;
  return datagram{std::string(buffer, static_cast<std::size_t>(r.length)), ntohs(from.sin_port)};
}

std::string u16(std::uint16_t v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}; }

std::string rrq(const std::string& name, const std::string& mode) {
  return u16(1) + name + std::string(1, '\0') + mode + std::string(1, '\0');
}

std::string wrq(const std::string& name, const std::string& mode) {
  return u16(2) + name + std::string(1, '\0') + mode + std::string(1, '\0');
}

std::string ack(std::uint16_t block) { return u16(4) + u16(block); }

namespace {
std::uint16_t field(const std::string& p, std::size_t at) {
  if (p.size() < at + 2) return 0xffff;
  return static_cast<std::uint16_t>((static_cast<unsigned char>(p[at]) << 8) | static_cast<unsigned char>(p[at + 1]));
}
}  // namespace

std::uint16_t opcode_of(const std::string& packet) { return field(packet, 0); }
std::uint16_t second_field(const std::string& packet) { return field(packet, 2); }

std::string error_text(const std::string& packet) {
  if (packet.size() < 5) return {};
  return std::string(packet.c_str() + 4);
}

bool is_unknown_tid_error(const std::string& packet) {
  return packet.size() == 100 && opcode_of(packet) == 5 && second_field(packet) == 5 &&
         error_text(packet) == "Unknown transfer ID";
}

int open_descriptor_count() {
  std::error_code ec;
  int n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    ++n;
  return ec ? -1 : n - 1;  // less the descriptor of the listing itself
}

std::size_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

std::size_t heap_in_use_bytes() {
  ::malloc_trim(0);
  return ::mallinfo2().uordblks;
}

}  // namespace ostrel::hostile
