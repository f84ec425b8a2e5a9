// Twenty lock-step downloads while 20,000 random and malformed datagrams
// hit the listening port and the transfers' own ports, all on 127.0.0.1
// and on one thread: each round sends a batch of hostile datagrams, lets
// the server handle what waits, then moves every download one step. The
// server's 200 ms tick is driven by the test, never by waiting.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostile_support.h"
#include "log/event_log.h"
#include "settings/settings_file.h"
#include "tftp/event_loop.h"
#include "tftp/tftp_server.h"
#include "tftp/transfer_rows.h"

#if defined(__SANITIZE_ADDRESS__)
#define OSTREL_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OSTREL_UNDER_ASAN 1
#endif
#endif

namespace ostrel::hostile {
namespace {

using namespace std::chrono_literals;
using clock_type = std::chrono::steady_clock;

constexpr int download_count = 20;
constexpr int hostile_total = 20000;
constexpr int hostile_per_round = 80;

// The window's socket watching (epoll), with timers left to the test.
class driven_host : public tftp::event_loop {
 public:
  void set_timer(int, int) override {}
  void kill_timer(int) override {}
};

// Counts events instead of keeping them, so the test's own memory stays flat.
class counting_view : public log::log_view {
 public:
  void append_log_row(const log::log_row& row) override {
    ++events;
    if (row.message == "Unexpected Transaction ID")
      ++unexpected_tid;
    else if (row.kind == log::event_kind::error)
      ++errors_by_client[row.client];
    if (row.kind == log::event_kind::info && row.message.rfind("Transfer completed", 0) == 0)
      ++completed_by_client[row.client];
  }
  void clear_log_rows() override {}

  long events = 0;
  long unexpected_tid = 0;
  std::map<std::string, int> errors_by_client;
  std::map<std::string, int> completed_by_client;
};

// A correct RFC 1350 read client, moved one step at a time.
struct download {
  // The buffer for the received bytes is allocated (and its pages touched)
  // up front, so the test's own memory does not move while the server's is
  // measured.
  download(std::string file, std::string bytes)
      : name(std::move(file)), expected(std::move(bytes)), buffer(expected.size() + 512) {}

  std::string name;
  std::string expected;
  std::unique_ptr<udp_endpoint> socket = std::make_unique<udp_endpoint>();
  std::uint16_t server_port = 0;  // from DATA 1
  std::uint16_t next_block = 1;
  std::vector<char> buffer;
  std::size_t received_size = 0;
  std::string last_sent;
  bool finished = false;  // final ACK sent
  std::string failure;
  clock_type::time_point last_progress = clock_type::now();

  bool exact() const { return finished && std::string_view(buffer.data(), received_size) == expected; }
  std::string address() const { return "127.0.0.1:" + std::to_string(socket->port()); }

  void start(std::uint16_t listen_port) {
    last_sent = rrq(name);
    socket->send_to(listen_port, last_sent);
  }

  // Handles what has arrived; true when it made progress.
  bool step(std::uint16_t listen_port) {
    bool progress = false;
    while (auto d = socket->receive(std::chrono::milliseconds(0))) {
      if (server_port == 0) server_port = d->from_port;
      if (d->from_port != server_port) {
        failure = "a packet from port " + std::to_string(d->from_port);
        continue;
      }
      if (opcode_of(d->bytes) != 3) {
        failure = "not DATA: opcode " + std::to_string(opcode_of(d->bytes)) + " " + error_text(d->bytes);
        continue;
      }
      std::uint16_t block = second_field(d->bytes);
      if (block == next_block && !finished) {
        std::size_t n = d->bytes.size() - 4;
        if (received_size + n > buffer.size()) {
          failure = "more bytes than the file has";
          continue;
        }
        std::copy(d->bytes.begin() + 4, d->bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(received_size));
        received_size += n;
        last_sent = ack(block);
        socket->send_to(server_port, last_sent);
        ++next_block;
        finished = d->bytes.size() < 516;
        progress = true;
      } else if (block == static_cast<std::uint16_t>(next_block - 1)) {
        socket->send_to(server_port, ack(block));  // a retransmission: acknowledged again
      } else {
        failure = "DATA " + std::to_string(block) + " while expecting " + std::to_string(next_block);
      }
    }
    auto now = clock_type::now();
    if (progress) {
      last_progress = now;
    } else if (!finished && now - last_progress > 200ms) {
      // Our last packet may have been lost in the crowd: send it again.
      socket->send_to(server_port ? server_port : listen_port, last_sent);
      last_progress = now;
    }
    return progress;
  }
};

// Random and malformed datagrams of every kind the server might meet.
class hostile_generator {
 public:
  explicit hostile_generator(unsigned seed) : random_(seed) {}

  std::string next() {
    switch (pick(12)) {
      case 0: return noise(pick(600));
      case 1: return noise(1025 + pick(400));  // longer than the receive buffer
      case 2: return std::string(pick(2), '\x04');  // empty or one byte
      case 3: return rrq(pick_name(), pick_mode());
      case 4: return u16(1 + pick(2)) + noise(pick(40));  // no terminating zeros, most likely
      case 5: return u16(1) + pick_name();  // a name without its zero
      case 6: return u16(1) + pick_name() + std::string(1, '\0') + "octet";  // a mode without its zero
      case 7: return wrq(pick_name());
      case 8: return u16(3) + u16(static_cast<std::uint16_t>(pick(65536))) + noise(pick(512));
      case 9: return u16(5) + u16(static_cast<std::uint16_t>(pick(8))) + "go away" + std::string(1, '\0');
      case 10: {
        std::string a = ack(static_cast<std::uint16_t>(pick(65536)));
        if (pick(3) == 0) a.resize(pick(4));  // shorter than an ACK
        if (pick(3) == 0) a += noise(pick(30));
        return a;
      }
      default: return u16(static_cast<std::uint16_t>(pick(2) ? 0 : 6 + pick(65530))) + noise(pick(40));
    }
  }

  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

 private:
  std::string noise(std::size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(random_() & 0xff);
    return s;
  }
  std::string pick_name() {
    static const std::array<const char*, 10> names = {
        "missing.bin", "../secret.txt", "..\\secret.txt", "//etc/passwd", "", "sub", "....//secret.txt",
        "a\x01\x02\x1b[0m", "file-03.bin", "file-07.bin"};
    // The real files (the last two) are asked for rarely: each such
    // request holds a socket and a file until the test's ticks time it out.
    if (pick(50) == 0) return names[names.size() - 1 - pick(2)];
    return names[pick(names.size() - 2)];
  }
  std::string pick_mode() {
    static const std::array<const char*, 4> modes = {"octet", "NETASCII", "mail", "x"};
    return modes[pick(modes.size())];
  }

  std::mt19937 random_;
};

class hostile_traffic : public ::testing::Test {
 protected:
  hostile_traffic()
      : values{(tree.path() / "Root").string() + "/", (tree.path() / "Log.csv").string()},
        log(view, values.log_file_path),
        control(host, log, values, rows, 0) {
    tree.write("secret.txt", "never served");
    tree.write("Root/sub/inner.txt", "a folder is never served");
    for (int i = 0; i < download_count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "file-%02d.bin", i);
      // 300 to 690 blocks: every download outlasts the flood; file 0 ends on a block boundary.
      download d(name, file_bytes(i == 0 ? 512 * 300 : 150000 + static_cast<std::size_t>(i) * 10007, i + 1));
      tree.write("Root/" + d.name, d.expected);
      downloads.push_back(std::move(d));
    }
    host.attach(control);
  }

  // Hands every waiting datagram to the server.
  void serve() {
    for (int i = 0; i < 8; ++i) host.run_once(0ms);
  }

  // What the window's timers would do once every running transfer has
  // given up: three expiries of 25 ticks each, then a purge of the rows.
  void expire_abandoned_transfers() {
    for (int i = 0; i < 3 * tftp::tftp_transfer::timeout_period_ticks + 1; ++i) {
      control.on_timer(tftp::transfer_tick_timer);
      serve();
    }
    control.on_timer(tftp::purge_timer);
  }

  std::size_t running_transfers() const {
    return control.running_server() ? control.running_server()->transfer_table.size() : 0;
  }

  temp_tree tree;
  settings::settings values;
  counting_view view;
  log::event_log log;
  tftp::transfer_rows rows;
  driven_host host;
  tftp::server_control control;
  std::vector<download> downloads;
};

TEST_F(hostile_traffic, downloads_stay_exact_strays_get_error_5_and_resources_return_to_idle) {
  control.start_server();
  ASSERT_TRUE(control.running());
  const std::uint16_t listen_port = control.port();

  // Senders to the listening port, and strays on the transfers' ports: other
  // ports of 127.0.0.1, and the first client's port number on 127.0.0.2.
  std::vector<std::unique_ptr<udp_endpoint>> flooders, strays;
  for (int i = 0; i < 4; ++i) flooders.push_back(std::make_unique<udp_endpoint>());
  for (int i = 0; i < 3; ++i) strays.push_back(std::make_unique<udp_endpoint>());
  auto same_port_other_host = std::make_unique<udp_endpoint>(0x7f000002, downloads[0].socket->port());
  if (same_port_other_host->bound()) strays.push_back(std::move(same_port_other_host));
  for (const auto& e : flooders) ASSERT_TRUE(e->bound());

  hostile_generator hostile(20250611);
  auto drain_flooders = [&] {
    for (auto& f : flooders)
      while (f->receive(std::chrono::milliseconds(0))) {
      }
  };

  // Warm-up: two downloads under a small flood, so that the allocator, the
  // code and the log file have reached their working size before the idle
  // figures are taken.
  {
    download warm_a(downloads[1].name, downloads[1].expected);
    download warm_b(downloads[2].name, downloads[2].expected);
    warm_a.start(listen_port);
    warm_b.start(listen_port);
    auto deadline = clock_type::now() + 20s;
    while ((!warm_a.finished || !warm_b.finished) && clock_type::now() < deadline) {
      for (int i = 0; i < 20; ++i) flooders[hostile.pick(flooders.size())]->send_to(listen_port, hostile.next());
      serve();
      warm_a.step(listen_port);
      warm_b.step(listen_port);
      drain_flooders();
    }
    ASSERT_TRUE(warm_a.exact());
    ASSERT_TRUE(warm_b.exact());
    serve();
    expire_abandoned_transfers();
    drain_flooders();
    ASSERT_EQ(running_transfers(), 0u);
  }
  const int idle_descriptors = open_descriptor_count();
  const std::size_t idle_heap = heap_in_use_bytes();
  const std::size_t idle_resident = resident_bytes();
  const long events_before = view.events;

  for (auto& d : downloads) d.start(listen_port);

  int hostile_sent = 0;
  long strays_sent = 0, strays_answerable = 0, unknown_tid_received = 0, wrong_replies_to_strays = 0;
  std::set<std::uint16_t> transfer_ports;
  auto drain_strays = [&] {
    for (auto& s : strays)
      while (auto d = s->receive(std::chrono::milliseconds(0))) {
        if (is_unknown_tid_error(d->bytes) && transfer_ports.count(d->from_port))
          ++unknown_tid_received;
        else
          ++wrong_replies_to_strays;
      }
  };

  auto deadline = clock_type::now() + 120s;
  auto last_progress = clock_type::now();
  for (;;) {
    bool all_finished = std::all_of(downloads.begin(), downloads.end(), [](const download& d) { return d.finished; });
    if ((all_finished && hostile_sent == hostile_total) || clock_type::now() > deadline) break;

    // Live transfers that a stray may hit: known port, final ACK not yet sent
    // (so the transfer is still there when the stray arrives).
    std::vector<std::uint16_t> targets;
    for (const auto& d : downloads)
      if (d.server_port && !d.finished) targets.push_back(d.server_port);

    for (int i = 0; i < hostile_per_round && hostile_sent < hostile_total; ++i, ++hostile_sent) {
      std::string datagram = hostile.next();
      if (!targets.empty() && hostile.pick(2) == 0) {
        std::uint16_t port = targets[hostile.pick(targets.size())];
        transfer_ports.insert(port);
        strays[hostile.pick(strays.size())]->send_to(port, datagram);
        // One longer than the receive buffer is dropped whole, unanswered.
        if (datagram.size() <= tftp::receive_buffer_size) ++strays_answerable;
        ++strays_sent;
      } else {
        flooders[hostile.pick(flooders.size())]->send_to(listen_port, datagram);
      }
    }

    serve();
    bool progress = false;
    for (auto& d : downloads) progress |= d.step(listen_port);
    drain_flooders();
    drain_strays();

    if (progress) {
      last_progress = clock_type::now();
    } else if (clock_type::now() - last_progress > 300ms) {
      // A DATA packet lost in the crowd is sent again only at its timeout:
      // bring the timeouts about with ticks instead of waiting for them.
      for (int i = 0; i < tftp::tftp_transfer::timeout_period_ticks; ++i) control.on_timer(tftp::transfer_tick_timer);
      last_progress = clock_type::now();
    }
  }
  ASSERT_EQ(hostile_sent, hostile_total) << "the flood did not finish in time";

  // The last ACKs, and any stray answers still on their way.
  for (auto until = clock_type::now() + 2s; clock_type::now() < until && unknown_tid_received < strays_answerable;) {
    serve();
    drain_strays();
  }
  serve();

  for (const auto& d : downloads) {
    SCOPED_TRACE(d.name);
    EXPECT_TRUE(d.finished);
    EXPECT_EQ(d.failure, "");
    EXPECT_TRUE(d.exact()) << "received " << d.received_size << " of " << d.expected.size() << " bytes";
    EXPECT_EQ(view.errors_by_client[d.address()], 0) << "the transfer ended in an error";
    EXPECT_EQ(view.completed_by_client[d.address()], 1);
  }
  EXPECT_GT(strays_sent, hostile_total / 4);
  EXPECT_EQ(unknown_tid_received, strays_answerable) << "every stray gets ERROR 5 from the port it hit";
  EXPECT_EQ(wrong_replies_to_strays, 0);
  EXPECT_EQ(view.unexpected_tid, strays_answerable);
  EXPECT_GT(view.events - events_before, hostile_total / 2) << "the flood reached the server";

  // The server lives: it still serves a fresh client.
  {
    download after(downloads[5].name, downloads[5].expected);
    after.start(listen_port);
    for (auto until = clock_type::now() + 5s; !after.finished && clock_type::now() < until;) {
      serve();
      after.step(listen_port);
    }
    EXPECT_TRUE(after.exact());
    serve();
  }

  // Requests from the flood that were accepted time out; then nothing is left.
  expire_abandoned_transfers();
  drain_flooders();
  EXPECT_EQ(running_transfers(), 0u);
  EXPECT_EQ(control.active_row_count(), 0);
  EXPECT_EQ(rows.size(), 0u);
  EXPECT_EQ(open_descriptor_count(), idle_descriptors);

#ifndef OSTREL_UNDER_ASAN
  // Memory back to idle. The allocator's bookkeeping moves by a few pages
  // between runs and freed pages are returned to the system only in whole
  // pages, so a small margin is allowed; a leak of even 16 bytes for each
  // hostile datagram would exceed it.
  constexpr std::size_t tolerance = 256 * 1024;
  const std::size_t heap = heap_in_use_bytes();
  const std::size_t resident = resident_bytes();
  RecordProperty("heap_growth_bytes", std::to_string(static_cast<long long>(heap) - static_cast<long long>(idle_heap)));
  RecordProperty("rss_growth_bytes",
                 std::to_string(static_cast<long long>(resident) - static_cast<long long>(idle_resident)));
  EXPECT_LE(heap, idle_heap + tolerance) << "heap in use grew from " << idle_heap << " to " << heap;
  EXPECT_LE(resident, idle_resident + tolerance) << "RSS grew from " << idle_resident << " to " << resident;
#else
  // AddressSanitizer holds freed memory in quarantine, so RSS says nothing
  // here; its leak check at exit covers what this would.
  (void)idle_heap;
  (void)idle_resident;
#endif
}

}  // namespace
}  // namespace ostrel::hostile
