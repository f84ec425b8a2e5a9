// Read transfers on the wire: a raw UDP client against the engine on
// 127.0.0.1, with the clock and the 200 ms tick driven by the test.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine_harness.h"
#include "platform/error_code.h"
#include "platform/path.h"

using namespace ostrel;
using namespace ostrel::harness;
using log::event_kind;
using std::string_literals::operator""s;
namespace fs = std::filesystem;

namespace {

std::uint16_t block_of(const std::string& packet) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(packet[2]) << 8) | static_cast<unsigned char>(packet[3]));
}

std::string data_packet(std::uint16_t block, const std::string& payload) { return u16(3) + u16(block) + payload; }

class Transfer : public ::testing::Test {
 protected:
  engine_harness engine;
  udp_peer client;
  std::string client_text = "127.0.0.1:" + std::to_string(client.port());

  void SetUp() override { ASSERT_TRUE(engine.start()); }

  void put(const std::string& name, const std::string& content) { engine.folder.write("Root/" + name, content); }

  // Sends a request and returns the first reply, checking it came from a
  // transfer port rather than the listening port.
  udp_peer::datagram request(const std::string& packet) {
    engine.send(client, engine.port(), packet);
    auto reply = client.receive();
    EXPECT_TRUE(reply.has_value()) << "no reply";
    if (!reply) return {};
    EXPECT_NE(reply->from_port, engine.port()) << "replies leave from the transfer's own port";
    return *reply;
  }

  const log::log_row& last_event() const { return engine.view.rows.back(); }
};

// ---- serving files

class ServedFile : public Transfer, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(ServedFile, ArrivesByteExactAndEndsWithTheCompletionLine) {
  std::string content = pattern_bytes(GetParam());
  put("f.bin", content);
  auto got = engine.download(client, "f.bin");
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, content);
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(last_event().kind, event_kind::info);
  EXPECT_EQ(last_event().client, client_text);
  EXPECT_EQ(last_event().message.rfind("Transfer completed, " + std::to_string(GetParam()) + " bytes in ", 0), 0u)
      << last_event().message;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ServedFile, ::testing::Values(0, 1, 511, 512, 513, 1000, 1024, 70000));

TEST_F(Transfer, AFileOfWholeBlocksEndsWithAnEmptyBlock) {
  put("f.bin", pattern_bytes(512));
  auto d1 = request(rrq("f.bin"));
  EXPECT_EQ(d1.bytes.size(), 516u);
  EXPECT_EQ(engine.only_transfer()->block_count(), 1);
  engine.send(client, d1.from_port, ack(1));
  auto d2 = client.receive();
  ASSERT_TRUE(d2);
  EXPECT_EQ(d2->bytes, "\0\3\0\2"s);
  EXPECT_EQ(engine.transfer_count(), 1u) << "only the ACK of the short block completes";
  engine.send(client, d1.from_port, ack(2));
  EXPECT_EQ(engine.transfer_count(), 0u);
}

TEST_F(Transfer, ModesAreServedAsTheFilesOwnBytes) {
  put("unix.txt", "a\nb\n");
  for (const char* mode : {"netascii", "NetAscii", "OCTET"}) {
    auto d = request(rrq("unix.txt", mode));
    EXPECT_EQ(d.bytes, "\0\3\0\1a\nb\n"s) << mode;
    engine.send(client, d.from_port, ack(1));
  }
  auto refused = request(rrq("unix.txt", "mail"));
  EXPECT_EQ(refused.bytes, error_packet(0, "mode not supported"));
}

TEST_F(Transfer, NamesUseEitherSeparatorAndAreShownAsSent) {
  put("sub/f.bin", "x");
  for (const char* name : {"/sub/f.bin", "sub\\f.bin", "sub/../sub/f.bin"}) {
    auto d = request(rrq(name));
    EXPECT_EQ(d.bytes, "\0\3\0\1x"s) << name;
    ASSERT_EQ(engine.rows.size(), 1u);
    EXPECT_EQ(engine.rows[0].action, std::string("GET ") + name);
    EXPECT_TRUE(engine.view.contains(event_kind::info, std::string("Client wants file: ") + name));
    engine.send(client, d.from_port, ack(1));
    engine.control.on_timer(tftp::purge_timer);
  }
}

TEST_F(Transfer, OptionFieldsAfterTheModeAreIgnored) {
  put("f.bin", "abc");
  auto d = request(rrq("f.bin") + "blksize\0" "1428\0tsize\0" "0\0"s);
  EXPECT_EQ(d.bytes, "\0\3\0\1abc"s) << "no OACK: plain DATA with 512-byte blocks";
}

// ---- refusals at the first datagram

struct refusal_case {
  const char* what;
  std::string datagram;
  std::string error_reply;  // empty: no reply at all
  const char* failure;
};

void PrintTo(const refusal_case& c, std::ostream* os) { *os << c.what; }

class Refusal : public Transfer, public ::testing::WithParamInterface<refusal_case> {};

TEST_P(Refusal, SendsItsErrorFromANewPortLogsItAndLeavesNothing) {
  const auto& c = GetParam();
  put("f.bin", "content");
  put("sub/g.bin", "content");
  engine.folder.write("secret.bin", "outside");
  engine.folder.write("Root2/x.bin", "sibling");
  int descriptors = open_descriptor_count();

  engine.send(client, engine.port(), c.datagram);
  auto reply = client.receive(std::chrono::milliseconds(c.error_reply.empty() ? 100 : 500));
  if (c.error_reply.empty()) {
    EXPECT_FALSE(reply.has_value());
  } else {
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->bytes, c.error_reply);
    EXPECT_NE(reply->from_port, engine.port());
  }
  EXPECT_EQ(last_event().kind, event_kind::error);
  EXPECT_EQ(last_event().message, c.failure);
  EXPECT_EQ(last_event().client, client_text);
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(engine.rows.size(), 0u);
  EXPECT_EQ(engine.control.active_row_count(), 0);
  EXPECT_EQ(open_descriptor_count(), descriptors) << "no socket or file left open";
  EXPECT_EQ(engine.host.watched_count(), 1u) << "only the listening socket is watched";
}

const std::string illegal = error_packet(4, "Illegal TFTP operation");
const std::string outside = error_packet(2, "Access violation");

INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(
        refusal_case{"write request", wrq("new.bin"), error_packet(2, "Write access is disabled"),
                     "Client attempted write operation"},
        refusal_case{"write request outside the root", wrq("../new.bin"), outside,
                     "Client attempted to access file outside root path"},
        refusal_case{"parent folder", rrq("../secret.bin"), outside, "Client attempted to access file outside root path"},
        refusal_case{"parent folder, backslashes", rrq("..\\secret.bin"), outside,
                     "Client attempted to access file outside root path"},
        refusal_case{"sibling extending the root's name", rrq("../Root2/x.bin"), outside,
                     "Client attempted to access file outside root path"},
        refusal_case{"absolute path", rrq("//" + fs::temp_directory_path().string() + "/x"), outside,
                     "Client attempted to access file outside root path"},
        refusal_case{"missing file", rrq("none.bin"), error_packet(1, "File not found"), "File not found"},
        refusal_case{"missing folder", rrq("none/f.bin"), error_packet(1, "File not found"), "File not found"},
        refusal_case{"a file used as a folder", rrq("f.bin/x"), error_packet(1, "File not found"), "File not found"},
        refusal_case{"the root itself", rrq(""), outside, "Access violation"},
        refusal_case{"a folder", rrq("sub"), outside, "Access violation"},
        refusal_case{"a folder with a trailing separator", rrq("sub/"), outside, "Access violation"},
        refusal_case{"unsupported mode", rrq("f.bin", "mail"), error_packet(0, "mode not supported"),
                     "Client attempted unsupported file mode"},
        refusal_case{"DATA", data_packet(1, "xyz"), illegal, "Client sent unexpected DATA packet"},
        refusal_case{"ERROR", error_packet(0, "bye"), "", "Client sent unexpected ERROR packet"},
        refusal_case{"opcode 0", u16(0) + "f.bin\0octet\0"s, illegal, "Client attempted illegal TFTP operation"},
        refusal_case{"opcode 6", u16(6) + "f.bin\0octet\0"s, illegal, "Client attempted illegal TFTP operation"},
        refusal_case{"one byte", "\1"s, illegal, "Client attempted illegal TFTP operation"},
        refusal_case{"name without its zero", u16(1) + "f.bin"s, illegal, "Client attempted illegal TFTP operation"},
        refusal_case{"mode without its zero", u16(1) + "f.bin\0octet"s, illegal,
                     "Client attempted illegal TFTP operation"},
        refusal_case{"ACK shorter than four bytes", "\0\4\0"s, illegal, "Client attempted illegal TFTP operation"}));

#ifndef _WIN32
TEST_F(Transfer, ASiblingFolderDifferingOnlyInCaseIsOutsideTheRoot) {
  engine.folder.write("root/x.bin", "a sibling folder, not the root");
  auto reply = request(rrq("../root/x.bin"));
  EXPECT_EQ(reply.bytes, error_packet(2, "Access violation"));
  EXPECT_EQ(last_event().message, "Client attempted to access file outside root path");
}
#endif

TEST_F(Transfer, AFirstAckIsWarnedAboutAndLeavesNothingBehind) {
  int descriptors = open_descriptor_count();
  engine.send(client, engine.port(), ack(1));
  EXPECT_FALSE(client.receive(std::chrono::milliseconds(100)).has_value());
  ASSERT_EQ(engine.view.rows.size(), 2u);
  EXPECT_EQ(last_event().kind, event_kind::warning);
  EXPECT_EQ(last_event().message, "Client ACK is out-of-sequence");
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(engine.rows.size(), 0u);
  EXPECT_TRUE(engine.host.timers.empty());
  EXPECT_EQ(open_descriptor_count(), descriptors);
}

// ---- a running transfer

TEST_F(Transfer, RowAndTimersFollowTheTransfer) {
  put("f.bin", pattern_bytes(1000));
  auto d1 = request(rrq("f.bin"));
  ASSERT_EQ(engine.rows.size(), 1u);
  EXPECT_EQ(engine.rows[0].client, client_text);
  EXPECT_EQ(engine.rows[0].action, "GET f.bin");
  EXPECT_EQ(engine.rows[0].transfer, engine.only_transfer());
  EXPECT_EQ(engine.control.active_row_count(), 1);
  EXPECT_EQ(engine.host.timers, (std::map<int, int>{{0, 200}, {1, 5000}}));

  engine.send(client, d1.from_port, ack(1));
  engine.send(client, d1.from_port, ack(2));
  EXPECT_EQ(engine.rows.size(), 1u) << "a finished row stays until the purge";
  EXPECT_EQ(engine.rows[0].transfer, nullptr);
  EXPECT_EQ(engine.control.active_row_count(), 0);
  EXPECT_EQ(engine.host.timers, (std::map<int, int>{{1, 5000}})) << "timer 0 stops with the last active row";

  engine.control.on_timer(tftp::purge_timer);
  EXPECT_EQ(engine.rows.size(), 0u);
  EXPECT_TRUE(engine.host.timers.empty()) << "timer 1 stops once the list is empty";
}

TEST_F(Transfer, ARepeatedRequestIsASecondIndependentTransfer) {
  put("f.bin", pattern_bytes(2000));
  auto a = request(rrq("f.bin"));
  auto b = request(rrq("f.bin"));
  EXPECT_NE(a.from_port, b.from_port);
  EXPECT_EQ(engine.transfer_count(), 2u);
  EXPECT_EQ(engine.rows.size(), 2u);
  EXPECT_EQ(engine.control.active_row_count(), 2);
}

TEST_F(Transfer, AStraySenderGetsUnknownTransferIdAndChangesNothing) {
  put("f.bin", pattern_bytes(1000));
  auto d1 = request(rrq("f.bin"));
  engine.tick(3);
  auto before = engine.only_transfer()->timeout_ticks();

  udp_peer stranger;
  engine.send(stranger, d1.from_port, ack(1));
  auto reply = stranger.receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes.size(), 100u);
  EXPECT_EQ(reply->bytes.substr(0, 24), "\0\5\0\5Unknown transfer ID\0"s);
  EXPECT_EQ(last_event().kind, event_kind::error);
  EXPECT_EQ(last_event().message, "Unexpected Transaction ID");
  EXPECT_EQ(last_event().client, client_text) << "logged with the transfer's own client";
  EXPECT_EQ(engine.only_transfer()->block_number(), 1) << "the stray ACK did not advance the transfer";
  EXPECT_EQ(engine.only_transfer()->timeout_ticks(), before);
  EXPECT_FALSE(client.receive(std::chrono::milliseconds(50)).has_value());

  engine.send(client, d1.from_port, ack(1));
  EXPECT_EQ(block_of(client.receive()->bytes), 2) << "the transfer goes on";
}

TEST_F(Transfer, OutOfSequenceAcksSendNothingAndLeaveTheTimeoutAlone) {
  put("f.bin", pattern_bytes(3000));
  auto d1 = request(rrq("f.bin"));
  engine.send(client, d1.from_port, ack(1));
  ASSERT_TRUE(client.receive());
  engine.tick(5);
  for (std::uint16_t wrong : {1, 3, 0, 65535}) {
    engine.send(client, d1.from_port, ack(wrong));
    EXPECT_FALSE(client.receive(std::chrono::milliseconds(30)).has_value()) << "a duplicate ACK brings no retransmission";
    EXPECT_EQ(last_event().kind, event_kind::warning);
    EXPECT_EQ(last_event().message, "Client ACK is out-of-sequence");
    EXPECT_EQ(engine.only_transfer()->timeout_ticks(), 20) << "neither reset nor advanced";
  }
}

TEST_F(Transfer, AnUnansweredBlockIsSentThreeTimesThenAbandoned) {
  put("f.bin", pattern_bytes(1000));
  auto d1 = request(rrq("f.bin"));
  engine.send(client, d1.from_port, ack(1));
  auto d2 = client.receive();
  ASSERT_TRUE(d2);
  std::size_t events = engine.view.rows.size();

  for (int expiry = 1; expiry <= 2; ++expiry) {
    engine.tick(24);
    EXPECT_FALSE(client.receive(std::chrono::milliseconds(20)).has_value()) << "not before 25 ticks";
    engine.tick(1);
    auto again = client.receive();
    ASSERT_TRUE(again) << "expiry " << expiry;
    EXPECT_EQ(again->bytes, d2->bytes) << "the same packet, unchanged";
    EXPECT_EQ(again->from_port, d1.from_port);
    EXPECT_EQ(last_event().kind, event_kind::warning);
    EXPECT_EQ(last_event().message, "Client timed out, retrying packet 2 of 1");
  }
  engine.tick(25);
  EXPECT_FALSE(client.receive(std::chrono::milliseconds(30)).has_value()) << "the abort sends nothing";
  EXPECT_EQ(engine.view.rows.size(), events + 3);
  EXPECT_EQ(last_event().kind, event_kind::error);
  EXPECT_EQ(last_event().message, "File transfer aborted");
  EXPECT_EQ(last_event().client, client_text);
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(engine.control.active_row_count(), 0);
}

TEST_F(Transfer, AnAckAfterARetransmissionIsAcceptedAndTheNextBlockHasThreeSendsAgain) {
  put("f.bin", pattern_bytes(1500));
  auto d1 = request(rrq("f.bin"));
  engine.tick(25);
  ASSERT_TRUE(client.receive());  // the retransmission
  EXPECT_EQ(engine.only_transfer()->retries_left(), 2);
  engine.send(client, d1.from_port, ack(1));
  EXPECT_EQ(block_of(client.receive()->bytes), 2);
  EXPECT_EQ(engine.only_transfer()->retries_left(), 3);
  EXPECT_EQ(engine.only_transfer()->timeout_ticks(), 25);
}

TEST_F(Transfer, TwoTransfersGivenUpInOneTickAreBothLoggedAndEnded) {
  put("f.bin", pattern_bytes(1000));
  udp_peer other;
  put("g.bin", pattern_bytes(5000));
  request(rrq("f.bin"));
  engine.send(other, engine.port(), rrq("g.bin"));
  udp_peer third;
  engine.send(third, engine.port(), rrq("g.bin"));
  auto d3 = third.receive();
  ASSERT_TRUE(d3);
  ASSERT_EQ(engine.transfer_count(), 3u);
  engine.tick(50);
  engine.send(third, d3->from_port, ack(1));  // the third keeps going
  engine.tick(25);
  EXPECT_EQ(engine.transfer_count(), 1u);
  int aborted = 0;
  for (const auto& r : engine.view.rows) aborted += r.message == "File transfer aborted";
  EXPECT_EQ(aborted, 2);
  EXPECT_EQ(engine.control.active_row_count(), 1);
}

TEST_F(Transfer, ASecondRequestOnARunningTransferIsIllegal) {
  put("f.bin", pattern_bytes(2000));
  int descriptors_idle = open_descriptor_count();
  auto d1 = request(rrq("f.bin"));
  engine.send(client, d1.from_port, rrq("f.bin"));
  auto reply = client.receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->bytes, error_packet(4, "Illegal TFTP operation"));
  EXPECT_EQ(last_event().message, "Client attempted illegal TFTP operation");
  EXPECT_EQ(engine.transfer_count(), 0u);
  EXPECT_EQ(open_descriptor_count(), descriptors_idle) << "its file is closed";
}

TEST_F(Transfer, ClientErrorAndDataEndARunningTransfer) {
  put("f.bin", pattern_bytes(2000));
  auto d1 = request(rrq("f.bin"));
  engine.send(client, d1.from_port, error_packet(0, "cancelled"));
  EXPECT_FALSE(client.receive(std::chrono::milliseconds(30)).has_value());
  EXPECT_EQ(last_event().message, "Client sent unexpected ERROR packet");
  EXPECT_EQ(engine.transfer_count(), 0u);

  auto d2 = request(rrq("f.bin"));
  engine.send(client, d2.from_port, data_packet(1, "x"));
  EXPECT_EQ(client.receive()->bytes, error_packet(4, "Illegal TFTP operation"));
  EXPECT_EQ(last_event().message, "Client sent unexpected DATA packet");
  EXPECT_EQ(engine.transfer_count(), 0u);
}

// ---- time: completion line and rate, with the test's clock

TEST_F(Transfer, TheCompletionLineDividesTheFileSizeByTheElapsedTime) {
  put("f.bin", pattern_bytes(1000));
  auto d1 = request(rrq("f.bin"));
  engine.send(client, d1.from_port, ack(1));
  ASSERT_TRUE(client.receive());
  engine.advance_ms(2000);
  engine.send(client, d1.from_port, ack(2));
  EXPECT_EQ(last_event().message, "Transfer completed, 1000 bytes in 2.00 seconds (0.50 KBytes/sec)");

  auto e1 = request(rrq("f.bin"));
  engine.send(client, e1.from_port, ack(1));
  ASSERT_TRUE(client.receive());
  engine.send(client, e1.from_port, ack(2));
  EXPECT_EQ(last_event().message, "Transfer completed, 1000 bytes in 0.00 seconds (0.00 KBytes/sec)");
}

TEST_F(Transfer, TheRateCountsEveryBlockBuiltAsFull) {
  put("f.bin", pattern_bytes(512 * 12));
  auto d1 = request(rrq("f.bin"));
  EXPECT_EQ(engine.only_transfer()->transfer_rate(), 0.0) << "no millisecond elapsed";
  for (std::uint16_t b = 1; b <= 9; ++b) {
    engine.send(client, d1.from_port, ack(b));
    ASSERT_TRUE(client.receive());
  }
  ASSERT_EQ(engine.only_transfer()->block_number(), 10);
  engine.advance_ms(2000);
  EXPECT_DOUBLE_EQ(engine.only_transfer()->transfer_rate(), 2.56);
}

TEST_F(Transfer, TheTickCounterWrapsModulo32Bits) {
  engine.now_ms = 0xFFFFFC18;  // 1000 ms before the counter wraps
  put("f.bin", pattern_bytes(1000));
  auto d1 = request(rrq("f.bin"));
  engine.send(client, d1.from_port, ack(1));
  engine.now_ms += 2000;
  engine.send(client, d1.from_port, ack(2));
  EXPECT_EQ(last_event().message, "Transfer completed, 1000 bytes in 2.00 seconds (0.50 KBytes/sec)");
}

// ---- datagrams on the listening socket

TEST_F(Transfer, ADatagramLongerThanTheBufferIsDroppedWholeAndEndsTheDrain) {
  put("f.bin", "x");
  std::string huge = rrq("f.bin") + std::string(1500, 'z');
  client.send_to(engine.port(), huge);
  client.send_to(engine.port(), rrq("f.bin"));
  engine.control.on_socket_readable(engine.control.running_server()->listening_socket());
  EXPECT_EQ(engine.transfer_count(), 0u) << "the long datagram is not handled";
  EXPECT_EQ(engine.view.rows.size(), 1u) << "nothing is logged for it";
  engine.control.on_socket_readable(engine.control.running_server()->listening_socket());
  EXPECT_EQ(engine.transfer_count(), 1u) << "the next notification reads the datagram behind it";
}

TEST_F(Transfer, ANotificationForAnUnknownSocketChangesNothing) {
  udp_peer unrelated;
  client.send_to(unrelated.port(), "hello");
  engine.control.on_socket_readable(unrelated.handle());
  EXPECT_TRUE(unrelated.receive(std::chrono::milliseconds(100)).has_value()) << "its datagram was not consumed";
}

// ---- start and stop

TEST_F(Transfer, StopEndsRunningTransfersSilently) {
  put("f.bin", pattern_bytes(5000));
  int descriptors_idle = open_descriptor_count();
  request(rrq("f.bin"));
  udp_peer other;
  engine.send(other, engine.port(), rrq("f.bin"));
  ASSERT_TRUE(other.receive());
  std::size_t events = engine.view.rows.size();

  engine.control.stop_server();
  ASSERT_EQ(engine.view.rows.size(), events + 1);
  EXPECT_EQ(last_event().message, "TFTP server stopped");
  EXPECT_EQ(last_event().client, "");
  EXPECT_EQ(engine.control.active_row_count(), 0);
  EXPECT_TRUE(engine.host.timers.empty());
  ASSERT_EQ(engine.rows.size(), 2u) << "retired rows stay until purged";
  EXPECT_EQ(engine.rows[0].transfer, nullptr);
  EXPECT_EQ(engine.rows[1].transfer, nullptr);
  EXPECT_FALSE(client.receive(std::chrono::milliseconds(50)).has_value());
  EXPECT_EQ(engine.host.buttons, (std::map<int, bool>{{109, true}, {110, false}}));
  EXPECT_FALSE(engine.log.log_file_open());
  EXPECT_LT(open_descriptor_count(), descriptors_idle) << "the listening socket is closed too";

  engine.control.stop_server();
  EXPECT_EQ(engine.view.rows.size(), events + 1) << "stopping a stopped server does nothing";
  engine.control.on_transfer_tick();  // a tick with no server does nothing
}

TEST_F(Transfer, AStartAfterAStopBeginsAnew) {
  put("f.bin", pattern_bytes(5000));
  request(rrq("f.bin"));
  engine.control.stop_server();
  ASSERT_TRUE(engine.start());
  EXPECT_EQ(engine.transfer_count(), 0u);
  engine.host.timers.clear();
  request(rrq("f.bin"));
  EXPECT_EQ(engine.host.timers, (std::map<int, int>{{0, 200}, {1, 5000}}));
}

TEST(ServerStart, FailsWhenThePortIsTakenAndLeavesTheButtonsAlone) {
  udp_peer holder;  // bound to 127.0.0.1, so the server's any-address bind collides
  platform::socket_handle taker = platform::create_udp_socket();
  ASSERT_TRUE(platform::bind_socket(taker, 0));
  std::uint16_t taken = platform::local_port(taker);

  engine_harness engine(nullptr, taken);
  EXPECT_FALSE(engine.start());
  ASSERT_FALSE(engine.view.rows.empty());
  const auto& e = engine.view.rows.back();
  EXPECT_EQ(e.kind, event_kind::error);
  EXPECT_EQ(e.client, "");
  EXPECT_EQ(e.message.rfind("Can't bind server socket (code ", 0), 0u) << e.message;
  EXPECT_TRUE(engine.host.buttons.empty());
  EXPECT_FALSE(engine.log.log_file_open());
  EXPECT_EQ(engine.host.watched_count(), 0u);
  platform::close_socket(taker);
}

TEST(ServerStart, LogsStartedToTheListAndTheFile) {
  engine_harness engine;
  ASSERT_TRUE(engine.start());
  EXPECT_EQ(engine.view.messages(), std::vector<std::string>{"TFTP server started"});
  EXPECT_EQ(engine.host.buttons, (std::map<int, bool>{{109, false}, {110, true}}));
  EXPECT_TRUE(engine.log.log_file_open());
  EXPECT_NE(engine.control.port(), 0);
}

}  // namespace
