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

#include "engine_harness.h"
#include "platform/io_seam.h"
#include "platform/udp_socket.h"

namespace ostrel::hostile {

// The temporary folder, the UDP client socket and the client packets are
// the engine tests' own.
using harness::ack;
using harness::open_descriptor_count;
using harness::rrq;
using harness::u16;
using harness::wrq;
using temp_tree = harness::temp_folder;
using udp_endpoint = harness::udp_peer;

// Bytes that differ from block to block and from file to file, so a block
// served twice, out of place or from the wrong file shows.
std::string file_bytes(std::size_t size, unsigned seed);

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

// Resident set size of this process in bytes, from /proc/self/statm.
std::size_t resident_bytes();
// Bytes the allocator has handed out and not had back (mallinfo2), after
// giving free memory back to the system; 0 where unknown.
std::size_t heap_in_use_bytes();

}  // namespace ostrel::hostile
