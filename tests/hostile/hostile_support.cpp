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

std::string file_bytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(random() & 0xff);
  return s;
}

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
