// libFuzzer target: arbitrary datagram sequences against the request
// parsing, the confinement of names to the root and one transfer's packet
// handling, with nothing sent on the network.
//
// An input is a sequence of records:
//   kind (1 byte), length (2 bytes, big-endian), payload (length bytes)
// A record whose length runs past the input takes what is left. kind % 8:
//   0, 1, 2  a datagram from the client
//   3        a datagram from the client's address on another port (a stray)
//   4        a datagram from another address on the client's port (a stray)
//   5        1 + (kind >> 3) ticks of 200 ms
//   6        handle_timeout() directly
//   7        arm a failure of the next send or read ((kind >> 3) % 6)
// The first datagram record constructs a transfer, as the listening socket
// would; once a transfer has ended (raised), the next datagram constructs a
// new one. Every payload is also run through the parsers and the
// confinement on its own.
//
// Invariants (a breach aborts, which libFuzzer reports as a crash):
//   - no path outside the root is ever opened;
//   - every packet sent is DATA of 4..516 bytes, whose payload is the file's
//     bytes at that block, or an ERROR packet exactly as long as its text
//     (ERROR 5: exactly 100 bytes), to the client (ERROR 5: to the stray);
//   - a name that confine_to_root accepts lies under the root, with no "."
//     or ".." left in it and no longer than a path may be.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include <arpa/inet.h>
#include <unistd.h>

#include "log/event_log.h"
#include "log/log_row.h"
#include "platform/error_code.h"
#include "platform/io_seam.h"
#include "platform/path.h"
#include "tftp/packets.h"
#include "tftp/request_path.h"
#include "tftp/tftp_transfer.h"
#include "tftp/transfer_services.h"

namespace {

using namespace ostrel;
namespace fs = std::filesystem;

[[noreturn]] void breach(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "INVARIANT BROKEN: %s [%.*s]\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

// The codes and texts of every ERROR packet the server sends, ERROR 5 aside.
bool is_sent_error(std::uint16_t code, std::string_view text) {
  static const std::pair<std::uint16_t, std::string_view> sent[] = {
      {0, "mode not supported"},   {0, "Unable to open file"},      {0, "Can't read from file"},
      {1, "File not found"},       {2, "Access violation"},         {2, "Write access is disabled"},
      {4, "Illegal TFTP operation"},
  };
  for (const auto& [c, t] : sent)
    if (c == code && t == text) return true;
  return false;
}

// A temporary folder with the root, a few small files in it, and files
// beside the root that must never be opened: a sibling "secret", a folder
// whose name extends the root's ("Root2") and one that differs only in case
// ("root"). Created once per process and removed at exit.
class fuzz_tree {
 public:
  fuzz_tree() {
    char pattern[] = "/tmp/ostrel-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) breach("cannot create the temporary folder");
    top_ = pattern;
    root_ = top_ + "/Root/";
    fs::create_directories(root_ + "sub");
    fs::create_directories(top_ + "/Root2");
    fs::create_directories(top_ + "/root");
    add("empty", 0);
    add("small.txt", 100);
    add("block.bin", 512);
    add("two.bin", 1000);
    add("three.bin", 1024);
    add("sub/x.bin", 700);
    write(top_ + "/secret", "secret outside the root");
    write(top_ + "/Root2/x.bin", "sibling sharing the root's prefix");
    write(top_ + "/root/x.bin", "sibling differing in case");
  }
  ~fuzz_tree() {
    std::error_code ignored;
    fs::remove_all(top_, ignored);
  }
  fuzz_tree(const fuzz_tree&) = delete;
  fuzz_tree& operator=(const fuzz_tree&) = delete;

  const std::string& root() const { return root_; }
  // The content of a file under the root, by its full path.
  const std::string* content(const std::string& path) const {
    auto it = contents_.find(path);
    return it == contents_.end() ? nullptr : &it->second;
  }

 private:
  void add(const std::string& name, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + size) & 0xff);
    write(root_ + name, bytes);
    contents_[root_ + name] = bytes;
  }
  static void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  std::string top_;
  std::string root_;
  std::map<std::string, std::string> contents_;
};

class null_view : public log::log_view {
 public:
  void append_log_row(const log::log_row&) override {}
  void clear_log_rows() override {}
};

class null_watcher : public tftp::socket_watcher {
 public:
  bool watch_socket(platform::socket_handle) override { return true; }
  void unwatch_socket(platform::socket_handle) override {}
};

enum class armed_failure { none, send_would_block, send_error, send_error_no_code, send_short, read_error, read_no_code };

// Swallows every send after checking it, serves reads from the tree's files,
// and fails the next send or read when armed to.
class checking_seam : public platform::io_seam {
 public:
  checking_seam(const fuzz_tree& tree, const platform::ipv4_address& client) : tree_(tree), client_(client) {}

  void arm(armed_failure f) { armed_ = f; }

  long send_to(platform::socket_handle, const void* data, std::size_t length, const platform::ipv4_address& to) override {
    check_packet(static_cast<const std::uint8_t*>(data), length, to);
    armed_failure f = take_send_failure();
    switch (f) {
      case armed_failure::send_would_block:
        platform::set_last_socket_error(EWOULDBLOCK);
        return -1;
      case armed_failure::send_error:
        platform::set_last_socket_error(ENETUNREACH);
        return -1;
      case armed_failure::send_error_no_code:
        platform::set_last_socket_error(0);
        return -1;
      case armed_failure::send_short:
        return static_cast<long>(length) - 1;
      default:
        return static_cast<long>(length);
    }
  }

  std::FILE* open_for_reading(const char* path) override {
    if (!platform::path_has_prefix(path, tree_.root())) breach("opened a path outside the root", path);
    std::FILE* f = io_seam::open_for_reading(path);
    if (f) opened_ = tree_.content(path);
    return f;
  }

  std::size_t read(void* buffer, std::size_t n, std::FILE* file) override {
    if (armed_ == armed_failure::read_error || armed_ == armed_failure::read_no_code) {
      platform::set_last_system_error(armed_ == armed_failure::read_error ? EIO : 0);
      armed_ = armed_failure::none;
      return 0;
    }
    return io_seam::read(buffer, n, file);
  }

  // A new transfer has opened nothing yet.
  void forget_file() { opened_ = nullptr; }

  // Set by the harness: where the stray datagram being handled came from.
  void expect_stray(const platform::ipv4_address* source) { stray_ = source; }

 private:
  armed_failure take_send_failure() {
    armed_failure f = armed_;
    if (f == armed_failure::read_error || f == armed_failure::read_no_code) return armed_failure::none;
    armed_ = armed_failure::none;
    return f;
  }

  void check_packet(const std::uint8_t* p, std::size_t length, const platform::ipv4_address& to) {
    if (length < 4) breach("packet shorter than 4 bytes");
    std::uint16_t op = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    std::uint16_t arg = static_cast<std::uint16_t>((p[2] << 8) | p[3]);
    if (op == tftp::op_data) {
      if (length > tftp::max_data_packet) breach("DATA packet longer than 516 bytes");
      if (!platform::same_endpoint(to, client_)) breach("DATA sent to someone other than the client");
      if (!opened_) breach("DATA sent with no file open");
      std::size_t offset = (static_cast<std::size_t>(arg) - 1) * tftp::block_size;
      if (arg == 0 || offset > opened_->size()) breach("DATA block number past the file");
      std::size_t expected = std::min(tftp::block_size, opened_->size() - offset);
      if (length - 4 != expected || std::memcmp(p + 4, opened_->data() + offset, expected) != 0)
        breach("DATA payload differs from the file");
      return;
    }
    if (op != tftp::op_error) breach("sent a packet that is neither DATA nor ERROR");
    if (arg > 7) breach("ERROR code outside 0..7");
    if (arg == 5) {
      if (length != tftp::unknown_tid_packet_size) breach("ERROR 5 not exactly 100 bytes");
      if (std::strcmp(reinterpret_cast<const char*>(p + 4), tftp::error_texts[5]) != 0) breach("ERROR 5 text");
      if (!stray_ || !platform::same_endpoint(to, *stray_)) breach("ERROR 5 not sent to the stray sender");
      return;
    }
    // Opcode, code, the text and exactly one zero byte after it.
    const void* zero = std::memchr(p + 4, 0, length - 4);
    if (!zero || static_cast<const std::uint8_t*>(zero) != p + length - 1) breach("ERROR packet length");
    std::string_view text(reinterpret_cast<const char*>(p + 4), length - 5);
    if (!is_sent_error(arg, text)) breach("ERROR code and text the server never sends", text);
    if (!platform::same_endpoint(to, client_)) breach("ERROR sent to someone other than the client");
  }

  const fuzz_tree& tree_;
  const platform::ipv4_address& client_;
  const std::string* opened_ = nullptr;
  const platform::ipv4_address* stray_ = nullptr;
  armed_failure armed_ = armed_failure::none;
};

bool has_dot_component(std::string_view path) {
  while (!path.empty()) {
    std::size_t end = path.find(platform::path_separator);
    std::string_view part = path.substr(0, end);
    if (part == "." || part == "..") return true;
    if (end == std::string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return false;
}

// The parsers and the confinement on one payload, against the fuzz root and
// a second root that differs from it only in case.
void check_parsing(const fuzz_tree& tree, const std::uint8_t* data, std::size_t length) {
  (void)tftp::read_opcode(data, length);
  (void)tftp::read_ack_block(data, length);
  auto request = tftp::read_request(data, length);
  if (!request) return;
  const auto* begin = reinterpret_cast<const char*>(data);
  const char* end = begin + length;
  if (request->name.data() < begin + 2 || request->name.data() + request->name.size() >= end ||
      request->mode.data() + request->mode.size() >= end)
    breach("request fields reach past the datagram");
  (void)tftp::is_supported_mode(request->mode);

  static const std::string other_root = "/srv/tftp/root/";
  for (const std::string* root : {&tree.root(), &other_root}) {
    auto path = tftp::confine_to_root(*root, request->name);
    if (!path) continue;
    if (!platform::path_has_prefix(*path, *root)) breach("confined path outside the root", *path);
    if (path->size() > platform::max_path_length) breach("confined path too long", *path);
    if (has_dot_component(std::string_view(*path).substr(root->size()))) breach("confined path keeps . or ..", *path);
  }
  auto joined = platform::path_combine(tree.root(), request->name);
  if (joined && joined->size() > platform::max_path_length) breach("path_combine result too long", *joined);
}

struct record {
  std::uint8_t kind;
  const std::uint8_t* payload;
  std::size_t length;
};

// Splits the next record off the input, or returns nothing at its end.
std::optional<record> next_record(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0) return std::nullopt;
  record r{data[0], nullptr, 0};
  std::size_t want = size >= 3 ? ((static_cast<std::size_t>(data[1]) << 8) | data[2]) & 0x7ff : 0;
  std::size_t header = size >= 3 ? 3 : size;
  data += header;
  size -= header;
  r.length = std::min({want, size, tftp::receive_buffer_size});
  r.payload = data;
  data += r.length;
  size -= r.length;
  return r;
}

// The transfer and everything it is given, for one input.
class harness {
 public:
  explicit harness(const fuzz_tree& tree)
      : tree_(tree),
        client_(platform::make_address(0x7f000001, 40000)),
        other_port_(platform::make_address(0x7f000001, 40001)),
        other_host_(platform::make_address(0x7f000002, 40000)),
        io_(tree, client_),
        log_(view_, log_path_),
        services_{tree.root(), log_, watcher_, io_, [this] { return now_; }} {}

  void run(const std::uint8_t* data, std::size_t size) {
    while (auto r = next_record(data, size)) {
      // An exact-size copy, so reading one byte past the datagram is caught.
      auto datagram = std::make_unique<std::uint8_t[]>(r->length);
      if (r->length) std::memcpy(datagram.get(), r->payload, r->length);
      check_parsing(tree_, datagram.get(), r->length);

      switch (r->kind % 8) {
        case 0:
        case 1:
        case 2:
          deliver(datagram.get(), static_cast<long>(r->length), client_);
          break;
        case 3:
          deliver(datagram.get(), static_cast<long>(r->length), other_port_);
          break;
        case 4:
          deliver(datagram.get(), static_cast<long>(r->length), other_host_);
          break;
        case 5:
          for (int i = 0; i <= r->kind >> 3 && transfer_; ++i) {
            now_ += 200;
            guarded([this] { transfer_->tick(); });
          }
          break;
        case 6:
          if (transfer_) guarded([this] { transfer_->handle_timeout(); });
          break;
        case 7:
          io_.arm(static_cast<armed_failure>(1 + (r->kind >> 3) % 6));
          break;
      }
    }
  }

 private:
  // As the server does: a datagram constructs a transfer when none runs
  // (and keeps it only when it serves a file), or goes to the running one.
  void deliver(const std::uint8_t* datagram, long length, const platform::ipv4_address& source) {
    bool stray = !platform::same_endpoint(source, client_);
    io_.expect_stray(stray ? &source : nullptr);
    if (!transfer_) {
      // Every first datagram comes from the client by definition.
      io_.forget_file();
      try {
        transfer_ = std::make_unique<tftp::tftp_transfer>(services_, client_, datagram, length);
        if (!transfer_->serving()) transfer_.reset();
      } catch (const std::exception&) {
        // Refused: nothing of it remains.
      }
    } else {
      guarded([&] { transfer_->handle_packet(datagram, length, source); });
    }
    io_.expect_stray(nullptr);
  }

  template <class F>
  void guarded(F f) {
    try {
      f();
      if (transfer_) {
        if (transfer_->block_bytes() > tftp::block_size) breach("block_bytes above 512");
        (void)transfer_->transfer_rate();  // what the transfer list draws at every repaint
      }
    } catch (const std::exception&) {
      // The transfer ended (completed, refused or failed): the server logs
      // it and destroys the transfer.
      transfer_.reset();
    }
  }

  const fuzz_tree& tree_;
  platform::ipv4_address client_;
  platform::ipv4_address other_port_;
  platform::ipv4_address other_host_;
  checking_seam io_;
  null_view view_;
  std::string log_path_;  // never opened: events reach only the view
  log::event_log log_;
  null_watcher watcher_;
  std::uint32_t now_ = 1000;
  tftp::transfer_services services_;
  std::unique_ptr<tftp::tftp_transfer> transfer_;  // last: destroyed first
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // libFuzzer calls a free function, so the temporary tree lives for the
  // process (built at the first input, removed at exit); each input gets a
  // fresh harness.
  static const fuzz_tree tree;
  harness h(tree);
  h.run(data, size);
  return 0;
}
