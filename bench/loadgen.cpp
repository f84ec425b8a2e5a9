// TFTP load generator: M downloads of one file, at most N at a time, each
// a lock-step RFC 1350 read client with a socket of its own, all driven by
// one thread with epoll. Every download is checked against the local copy
// (size and SHA-256). Prints one JSON line with the totals.
//
// A packet that goes unanswered is resent after --timeout-ms, then after
// twice that and so on (each wait spread by up to half), at most --retries
// times; then the download fails.
//
//   loadgen --port P --file NAME --local PATH [--count M] [--concurrency N]
//           [--host 127.0.0.1] [--timeout-ms T] [--retries R] [--deadline-s S]
//
// Loopback only: the host must lie in 127.0.0.0/8. The run ends by itself
// when every download has finished or failed, or at the deadline.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "sha256.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr std::size_t block_size = 512;
constexpr std::uint16_t op_rrq = 1, op_data = 3, op_ack = 4, op_error = 5;

struct options {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string file;
  std::string local;
  long count = 1;
  long concurrency = 1;
  int timeout_ms = 1000;
  int retries = 5;
  int deadline_s = 300;
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr,
               "loadgen: %s\n"
               "usage: loadgen --port P --file NAME --local PATH [--count M] [--concurrency N]\n"
               "               [--host 127.0.0.1] [--timeout-ms T] [--retries R] [--deadline-s S]\n",
               why);
  std::exit(2);
}

options parse(int argc, char** argv) {
  options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) usage(("missing value for " + a).c_str());
    const char* v = argv[++i];
    if (a == "--host") o.host = v;
    else if (a == "--port") o.port = std::atoi(v);
    else if (a == "--file") o.file = v;
    else if (a == "--local") o.local = v;
    else if (a == "--count") o.count = std::atol(v);
    else if (a == "--concurrency") o.concurrency = std::atol(v);
    else if (a == "--timeout-ms") o.timeout_ms = std::atoi(v);
    else if (a == "--retries") o.retries = std::atoi(v);
    else if (a == "--deadline-s") o.deadline_s = std::atoi(v);
    else usage(("unknown option " + a).c_str());
  }
  if (o.port <= 0 || o.port > 65535) usage("--port must be 1-65535");
  if (o.file.empty() || o.local.empty()) usage("--file and --local are required");
  if (o.count < 1 || o.concurrency < 1 || o.timeout_ms < 1 || o.retries < 0 || o.deadline_s < 1)
    usage("counts and times must be positive");
  in_addr a{};
  if (inet_pton(AF_INET, o.host.c_str(), &a) != 1 || (ntohl(a.s_addr) >> 24) != 127)
    usage("--host must be a loopback address (127.0.0.0/8)");
  return o;
}

struct expected_file {
  std::uint64_t size = 0;
  std::array<std::uint8_t, 32> digest{};
};

expected_file digest_local(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) usage(("cannot read " + path).c_str());
  bench::sha256 h;
  expected_file e;
  std::vector<std::uint8_t> buf(1 << 16);
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
    h.update(buf.data(), n);
    e.size += n;
  }
  std::fclose(f);
  e.digest = h.finish();
  return e;
}

void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

// One download in flight.
struct download {
  int fd = -1;
  sockaddr_in server{};        // the listening port until DATA 1 names the transfer's port
  bool have_tid = false;
  std::uint16_t next_block = 1;  // the DATA block wanted next; wraps 65535 -> 0
  std::uint64_t bytes = 0;
  bench::sha256 hash;
  std::uint8_t last[600];      // the last packet sent (RRQ or ACK), resent on timeout
  std::size_t last_length = 0;
  int retries_left = 0;
  clock_type::time_point started, resend_at;
};

class generator {
 public:
  explicit generator(const options& o) : o_(o), expected_(digest_local(o.local)) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    inet_pton(AF_INET, o.host.c_str(), &listen_.sin_addr);
    listen_.sin_family = AF_INET;
    listen_.sin_port = htons(static_cast<std::uint16_t>(o.port));
    slots_.resize(static_cast<std::size_t>(std::min(o.concurrency, o.count)));
    for (std::size_t i = 0; i < slots_.size(); ++i) free_.push_back(i);
  }

  void run() {
    auto begin = clock_type::now();
    auto deadline = begin + std::chrono::seconds(o_.deadline_s);
    std::vector<epoll_event> events(1024);
    while (finished() < o_.count) {
      while (started_ < o_.count && !free_.empty()) start(free_.back());
      auto now = clock_type::now();
      if (now >= deadline) break;
      int n = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 20);
      for (int i = 0; i < n; ++i) receive(events[i].data.u32);
      now = clock_type::now();
      if (now >= next_scan_) {
        // Timeouts are coarse (one scan every 10 ms) but cost nothing per datagram.
        for (std::size_t i = 0; i < slots_.size(); ++i)
          if (slots_[i].fd >= 0 && now >= slots_[i].resend_at) timed_out(i, now);
        next_scan_ = now + std::chrono::milliseconds(10);
      }
    }
    for (std::size_t i = 0; i < slots_.size(); ++i)
      if (slots_[i].fd >= 0) fail(i, "deadline");
    never_started_ = o_.count - started_;
    seconds_ = std::chrono::duration<double>(clock_type::now() - begin).count();
  }

  void report() const {
    std::vector<double> d = durations_;
    std::sort(d.begin(), d.end());
    auto pct = [&](double p) {
      if (d.empty()) return 0.0;
      std::size_t k = static_cast<std::size_t>(p * static_cast<double>(d.size() - 1) + 0.5);
      return d[k] * 1000.0;
    };
    double mb = static_cast<double>(ok_ * expected_.size) / 1e6;
    std::printf("{\"file\":\"%s\",\"size\":%llu,\"count\":%ld,\"concurrency\":%ld,\"ok\":%ld,\"failed\":%ld,"
                "\"seconds\":%.3f,\"mb_per_s\":%.2f,\"downloads_per_s\":%.1f,\"p50_ms\":%.2f,\"p99_ms\":%.2f,"
                "\"retransmits\":%ld,\"duplicates\":%ld,\"failures\":{",
                o_.file.c_str(), static_cast<unsigned long long>(expected_.size), o_.count, o_.concurrency, ok_,
                failed_ + never_started_, seconds_, seconds_ > 0 ? mb / seconds_ : 0.0,
                seconds_ > 0 ? static_cast<double>(ok_) / seconds_ : 0.0, pct(0.50), pct(0.99), retransmits_,
                duplicates_);
    bool first = true;
    auto reasons = reasons_;
    if (never_started_ > 0) reasons["not started"] += never_started_;
    for (const auto& [why, n] : reasons) {
      std::printf("%s\"%s\":%ld", first ? "" : ",", why.c_str(), n);
      first = false;
    }
    std::printf("}}\n");
  }

  bool all_ok() const { return ok_ == o_.count; }

 private:
  long finished() const { return ok_ + failed_; }

  void start(std::size_t i) {
    free_.pop_back();
    ++started_;
    download& d = slots_[i];
    d = download{};
    d.fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    d.server = listen_;
    d.started = clock_type::now();
    if (d.fd < 0) {
      fail(i, "socket: " + std::string(std::strerror(errno)));
      return;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = listen_.sin_addr;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u32 = static_cast<std::uint32_t>(i);
    if (bind(d.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        epoll_ctl(epoll_, EPOLL_CTL_ADD, d.fd, &ev) != 0) {
      fail(i, "bind: " + std::string(std::strerror(errno)));
      return;
    }
    std::uint8_t* p = d.last;
    put16(p, op_rrq);
    std::size_t n = 2;
    std::memcpy(p + n, o_.file.c_str(), o_.file.size() + 1);
    n += o_.file.size() + 1;
    std::memcpy(p + n, "octet", 6);
    n += 6;
    d.last_length = n;
    send_last(i, false);
  }

  void send_last(std::size_t i, bool retransmit) {
    download& d = slots_[i];
    d.retries_left = retransmit ? d.retries_left : o_.retries;
    // The wait doubles with each resend of the same packet and is spread by
    // up to half, so that clients whose requests were dropped in one burst
    // do not all come back in the next one.
    int resends = o_.retries - d.retries_left;
    long wait = static_cast<long>(o_.timeout_ms) << std::min(resends, 6);
    rng_ ^= rng_ << 13;
    rng_ ^= rng_ >> 7;
    rng_ ^= rng_ << 17;
    wait += static_cast<long>(rng_ % static_cast<std::uint64_t>(wait / 2 + 1));
    d.resend_at = clock_type::now() + std::chrono::milliseconds(wait);
    // A full send buffer is treated like a lost datagram: the timeout resends.
    sendto(d.fd, d.last, d.last_length, 0, reinterpret_cast<sockaddr*>(&d.server), sizeof d.server);
  }

  void send_ack(std::size_t i, std::uint16_t block) {
    download& d = slots_[i];
    put16(d.last, op_ack);
    put16(d.last + 2, block);
    d.last_length = 4;
    send_last(i, false);
  }

  void timed_out(std::size_t i, clock_type::time_point) {
    download& d = slots_[i];
    if (d.retries_left <= 0) {
      fail(i, d.have_tid ? "timeout" : "no answer to request");
      return;
    }
    --d.retries_left;
    ++retransmits_;
    send_last(i, true);
  }

  void receive(std::uint32_t i) {
    download& d = slots_[i];
    std::uint8_t buf[1024];
    while (d.fd >= 0) {
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(d.fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 0) return;
      handle(i, buf, static_cast<std::size_t>(n), from);
    }
  }

  void handle(std::size_t i, const std::uint8_t* p, std::size_t n, const sockaddr_in& from) {
    download& d = slots_[i];
    if (from.sin_addr.s_addr != listen_.sin_addr.s_addr) return;
    if (d.have_tid && from.sin_port != d.server.sin_port) {
      // Another port of the server (say, a second transfer started by a resent
      // request): tell it so, as RFC 1350 asks, and carry on.
      std::uint8_t e[] = {0, op_error, 0, 5, 'U', 'n', 'k', 'n', 'o', 'w', 'n', ' ', 't', 'r', 'a',
                          'n', 's', 'f', 'e', 'r', ' ', 'I', 'D', 0};
      sendto(d.fd, e, sizeof e, 0, reinterpret_cast<const sockaddr*>(&from), sizeof from);
      ++strays_;
      return;
    }
    if (n < 4) return fail(i, "short packet");
    std::uint16_t op = get16(p), block = get16(p + 2);
    if (op == op_error) {
      std::string text(reinterpret_cast<const char*>(p + 4), strnlen(reinterpret_cast<const char*>(p + 4), n - 4));
      return fail(i, "ERROR " + std::to_string(block) + " " + text);
    }
    if (op != op_data) return fail(i, "unexpected opcode " + std::to_string(op));
    if (n - 4 > block_size) return fail(i, "oversized DATA");
    if (!d.have_tid) {
      if (block != 1) return;
      d.have_tid = true;
      d.server.sin_port = from.sin_port;
    }
    if (block != d.next_block) {
      // The block before the wanted one again: our ACK was lost or late.
      if (static_cast<std::uint16_t>(block + 1) == d.next_block) {
        ++duplicates_;
        send_ack(i, block);
      }
      return;
    }
    d.hash.update(p + 4, n - 4);
    d.bytes += n - 4;
    send_ack(i, block);
    ++d.next_block;
    if (n - 4 < block_size) complete(i);
  }

  void complete(std::size_t i) {
    download& d = slots_[i];
    if (d.bytes != expected_.size) return fail(i, "size mismatch");
    if (d.hash.finish() != expected_.digest) return fail(i, "SHA-256 mismatch");
    durations_.push_back(std::chrono::duration<double>(clock_type::now() - d.started).count());
    ++ok_;
    close_slot(i);
  }

  void fail(std::size_t i, const std::string& why) {
    ++failed_;
    ++reasons_[why];
    close_slot(i);
  }

  void close_slot(std::size_t i) {
    download& d = slots_[i];
    if (d.fd >= 0) close(d.fd);  // closing also removes it from the epoll set
    d.fd = -1;
    free_.push_back(i);
  }

  options o_;
  expected_file expected_;
  int epoll_ = -1;
  sockaddr_in listen_{};
  std::vector<download> slots_;
  std::vector<std::size_t> free_;
  long started_ = 0, ok_ = 0, failed_ = 0, never_started_ = 0;
  long retransmits_ = 0, duplicates_ = 0, strays_ = 0;
  std::map<std::string, long> reasons_;
  std::vector<double> durations_;
  double seconds_ = 0;
  clock_type::time_point next_scan_{};
  std::uint64_t rng_ = 0x9e3779b97f4a7c15ull;
};

}  // namespace

int main(int argc, char** argv) {
  options o = parse(argc, argv);
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  generator g(o);
  g.run();
  g.report();
  return g.all_ok() ? 0 : 1;
}
