#pragma once
// Small pieces shared by the hostile-input tests: a temporary tree with a
// root folder and files beside it, a UDP endpoint on a loopback address,
// client packets, an io seam that records every file opened, and the
// process's descriptor count and memory figures.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/io_seam.h"
#include "platform/udp_socket.h"

namespace ostrel::hostile {

// A fresh folder under the system's temporary folder, removed at the end.
class temp_tree {
 public:
  temp_tree();
  ~temp_tree();
  temp_tree(const temp_tree&) = delete;
  temp_tree& operator=(const temp_tree&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes bytes to a file below the tree, creating its folders.
  std::filesystem::path write(const std::string& relative, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// Bytes that differ from block to block and from file to file, so a block
// served twice, out of place or from the wrong file shows.
std::string file_bytes(std::size_t size, unsigned seed);

// A non-blocking UDP socket bound to a loopback address (127.0.0.1 unless
// given) and an ephemeral port, or to a given port.
class udp_endpoint {
 public:
  explicit udp_endpoint(std::uint32_t host_order_address = 0x7f000001, std::uint16_t port = 0);
  ~udp_endpoint();
  udp_endpoint(const udp_endpoint&) = delete;
  udp_endpoint& operator=(const udp_endpoint&) = delete;

  bool bound() const { return bound_; }
  std::uint16_t port() const { return platform::local_port(sock_); }
  void send_to(std::uint16_t port, const std::string& bytes) const;

  struct datagram {
    std::string bytes;
    std::uint16_t from_port;
  };
  // The next waiting datagram, waiting at most timeout for one.
  std::optional<datagram> receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(0)) const;

 private:
  platform::socket_handle sock_ = platform::invalid_socket;
  bool bound_ = false;
};

std::string u16(std::uint16_t value);
std::string rrq(const std::string& name, const std::string& mode = "octet");
std::string wrq(const std::string& name, const std::string& mode = "octet");
std::string ack(std::uint16_t block);
std::uint16_t opcode_of(const std::string& packet);
std::uint16_t second_field(const std::string& packet);  // block number or error code
// The message of an ERROR packet: from byte 4 to the first zero.
std::string error_text(const std::string& packet);
// The fixed 100-byte ERROR 5 packet as the server sends it.
bool is_unknown_tid_error(const std::string& packet);

// The real file operations, with every path that was opened for reading
// kept, whether the open succeeded or not.
class recording_seam : public platform::io_seam {
 public:
  std::FILE* open_for_reading(const char* path) override {
    opened.emplace_back(path);
    return io_seam::open_for_reading(path);
  }
  std::vector<std::string> opened;
};

// Open file descriptors of this process, from /proc/self/fd.
int open_descriptor_count();
// Resident set size of this process in bytes, from /proc/self/statm.
std::size_t resident_bytes();
// Bytes the allocator has handed out and not had back (mallinfo2), after
// giving free memory back to the system; 0 where unknown.
std::size_t heap_in_use_bytes();

}  // namespace ostrel::hostile
