// Failed sends and reads, made through the transfer's io seam: each with
// and without a system error code. A transfer that could not send or read a
// block is never reported as completed.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "engine_harness.h"
#include "platform/error_code.h"

using namespace ostrel;
using namespace ostrel::harness;
using log::event_kind;
using std::string_literals::operator""s;

namespace {

class faulty_io : public platform::io_seam {
 public:
  enum class send_fault { none, error, would_block, short_count };
  // Applies to DATA packets only (opcode 3); ERROR packets go out normally.
  send_fault data_send = send_fault::none;
  int send_code = 0;
  std::uint16_t fail_send_at_block = 0;  // 0: every DATA packet

  // The read of this block (counting reads from 1) comes up short, not at the end.
  int fail_read_at = 0;
  int read_code = 0;
  int reads = 0;

  long send_to(platform::socket_handle s, const void* data, std::size_t length,
               const platform::ipv4_address& to) override {
    auto* p = static_cast<const std::uint8_t*>(data);
    bool is_data = length >= 4 && p[1] == 3;
    std::uint16_t block = is_data ? static_cast<std::uint16_t>((p[2] << 8) | p[3]) : 0;
    if (is_data && data_send != send_fault::none && (fail_send_at_block == 0 || block == fail_send_at_block)) {
      switch (data_send) {
        case send_fault::error:
          platform::set_last_socket_error(send_code);
          return -1;
        case send_fault::would_block:
          platform::set_last_socket_error(EWOULDBLOCK);
          return -1;
        case send_fault::short_count:
          return platform::io_seam::send_to(s, data, length - 1, to);  // the system sets no code
        case send_fault::none:
          break;
      }
    }
    return platform::io_seam::send_to(s, data, length, to);
  }

  std::size_t read(void* buffer, std::size_t n, std::FILE* file) override {
    if (++reads == fail_read_at) {
      platform::set_last_system_error(read_code);
      return 100;  // short, yet the file is not at its end
    }
    return platform::io_seam::read(buffer, n, file);
  }
};

class IoFailure : public ::testing::Test {
 protected:
  faulty_io io;
  engine_harness engine{&io};
  udp_peer client;

  void SetUp() override {
    ASSERT_TRUE(engine.start());
    engine.folder.write("Root/f.bin", pattern_bytes(3000));
  }
  const log::log_row& last_event() const { return engine.view.rows.back(); }
  bool any_completion() const {
    for (const auto& r : engine.view.rows)
      if (r.message.rfind("Transfer completed", 0) == 0) return true;
    return false;
  }
};

struct read_case {
  int code;
  const char* failure;
};

class ReadFailure : public IoFailure, public ::testing::WithParamInterface<read_case> {};

TEST_P(ReadFailure, SendsCantReadFromFileAndEndsAsAFailure) {
  io.fail_read_at = 2;
  io.read_code = GetParam().code;
  engine.send(client, engine.port(), rrq("f.bin"));
  auto d1 = client.receive();
  ASSERT_TRUE(d1);
  engine.send(client, d1->from_port, ack(1));
  auto reply = client.receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes, error_packet(0, "Can't read from file"));
  EXPECT_FALSE(client.receive(std::chrono::milliseconds(30)).has_value()) << "the short block is never sent";
  EXPECT_EQ(last_event().kind, event_kind::error);
  EXPECT_EQ(last_event().message, GetParam().failure);
  EXPECT_FALSE(any_completion());
  EXPECT_EQ(engine.transfer_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutCode, ReadFailure,
                         ::testing::Values(read_case{5, "Can't read from file (code 5)"},
                                           read_case{0, "Can't read from file (code 0)"}));

struct send_case {
  const char* what;
  faulty_io::send_fault fault;
  int code;
  std::string failure;
};

void PrintTo(const send_case& c, std::ostream* os) { *os << c.what; }

class DataSendFailure : public IoFailure, public ::testing::WithParamInterface<send_case> {};

TEST_P(DataSendFailure, OfALaterBlockEndsTheTransfer) {
  io.data_send = GetParam().fault;
  io.send_code = GetParam().code;
  io.fail_send_at_block = 2;
  engine.send(client, engine.port(), rrq("f.bin"));
  auto d1 = client.receive();
  ASSERT_TRUE(d1);
  engine.send(client, d1->from_port, ack(1));
  EXPECT_EQ(last_event().kind, event_kind::error);
  EXPECT_EQ(last_event().message, GetParam().failure);
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(engine.control.active_row_count(), 0);
}

TEST_P(DataSendFailure, OfTheFirstBlockRefusesTheRequest) {
  io.data_send = GetParam().fault;
  io.send_code = GetParam().code;
  int descriptors = open_descriptor_count();
  engine.send(client, engine.port(), rrq("f.bin"));
  EXPECT_EQ(last_event().message, GetParam().failure);
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(engine.rows.size(), 0u);
  EXPECT_EQ(open_descriptor_count(), descriptors);
}

TEST_P(DataSendFailure, OfARetransmissionEndsTheTransfer) {
  engine.send(client, engine.port(), rrq("f.bin"));
  ASSERT_TRUE(client.receive());
  io.data_send = GetParam().fault;
  io.send_code = GetParam().code;
  engine.tick(25);
  EXPECT_EQ(last_event().message, GetParam().failure);
  EXPECT_EQ(engine.transfer_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DataSendFailure,
    ::testing::Values(send_case{"error code", faulty_io::send_fault::error, 101, "error in sendto() (code 101)"},
                      send_case{"would block", faulty_io::send_fault::would_block, 0,
                                "error in sendto() (code " + std::to_string(EWOULDBLOCK) + ")"},
                      send_case{"short count without a code", faulty_io::send_fault::short_count, 0,
                                "error in sendto() (code 0)"}));

TEST_F(IoFailure, AnErrorPacketThatCannotBeSentIsLoggedInsteadOfTheRefusal) {
  struct failing_io : platform::io_seam {
    long send_to(platform::socket_handle, const void*, std::size_t, const platform::ipv4_address&) override {
      platform::set_last_socket_error(101);
      return -1;
    }
  } broken;
  engine_harness other(&broken);
  ASSERT_TRUE(other.start());
  udp_peer c;
  other.send(c, other.port(), rrq("missing.bin"));
  EXPECT_EQ(other.view.rows.back().message, "sendto() failed (code 101)");
  EXPECT_EQ(other.transfer_count(), 0u);
}

// Files past 2 GiB (and past 4 GiB): the size is kept whole, the block count
// keeps its low 16 bits, and the completion line shows the true size. The
// seam skips to the file's last bytes so the test needs no gigabytes of traffic.
TEST(LargeFile, KeepsItsTrueSize) {
  struct skipping_io : platform::io_seam {
    std::int64_t size = 0;
    bool skipped = false;
    std::size_t read(void* buffer, std::size_t n, std::FILE* file) override {
      if (!skipped) {
        skipped = true;
#ifdef _WIN32
        _fseeki64(file, size - 1000, SEEK_SET);
#else
        fseeko(file, size - 1000, SEEK_SET);
#endif
      }
      return platform::io_seam::read(buffer, n, file);
    }
  } io;
  engine_harness engine(&io);
  ASSERT_TRUE(engine.start());
  io.size = (std::int64_t{1} << 32) + 1000;
  auto path = engine.root / "big.bin";
  { std::ofstream(path, std::ios::binary) << ""; }
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(io.size));  // sparse

  udp_peer client;
  engine.send(client, engine.port(), rrq("big.bin"));
  auto d1 = client.receive();
  ASSERT_TRUE(d1);
  ASSERT_NE(engine.only_transfer(), nullptr);
  EXPECT_EQ(engine.only_transfer()->file_size(), io.size);
  EXPECT_EQ(engine.only_transfer()->block_count(), static_cast<std::uint16_t>(io.size / 512));
  engine.send(client, d1->from_port, ack(1));
  auto d2 = client.receive();
  ASSERT_TRUE(d2);
  EXPECT_EQ(d2->bytes.size(), 4u + 1000 - 512);
  engine.send(client, d1->from_port, ack(2));
  EXPECT_EQ(engine.view.rows.back().message,
            "Transfer completed, 4294968296 bytes in 0.00 seconds (0.00 KBytes/sec)");
}

}  // namespace
