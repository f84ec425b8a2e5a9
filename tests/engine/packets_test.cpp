// The bytes this server reads and writes.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine_harness.h"
#include "platform/error_code.h"
#include "tftp/failures.h"
#include "tftp/packets.h"

using namespace ostrel;
using namespace ostrel::tftp;

namespace {

const std::uint8_t* bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// Captures what send_error_packet puts on the wire; can fail the send.
class capturing_io : public platform::io_seam {
 public:
  long send_to(platform::socket_handle, const void* data, std::size_t length, const platform::ipv4_address&) override {
    sent.assign(static_cast<const char*>(data), length);
    if (fail_with) {
      platform::set_last_socket_error(fail_with);
      return -1;
    }
    return static_cast<long>(length);
  }
  std::string sent;
  int fail_with = 0;
};

struct error_case {
  std::uint16_t code;
  const char* message;  // null: the table text
  std::size_t length;
  const char* text_on_wire;
};

void PrintTo(const error_case& c, std::ostream* os) { *os << c.code << " " << (c.message ? c.message : "(table text)"); }

class ErrorPacketLength : public ::testing::TestWithParam<error_case> {};

TEST_P(ErrorPacketLength, IsHeaderTextAndOneZeroByte) {
  const auto& c = GetParam();
  capturing_io io;
  send_error_packet(io, platform::invalid_socket, platform::make_address(0x7f000001, 1), c.code, c.message);
  ASSERT_EQ(io.sent.size(), c.length);
  EXPECT_EQ(io.sent.substr(0, 4), std::string("\0\5\0", 3) + static_cast<char>(c.code));
  EXPECT_EQ(io.sent.substr(4, c.length - 5), c.text_on_wire);
  EXPECT_EQ(io.sent.back(), '\0');
}

INSTANTIATE_TEST_SUITE_P(
    EveryErrorThisServerSends, ErrorPacketLength,
    ::testing::Values(error_case{1, nullptr, 19, "File not found"},
                      error_case{2, nullptr, 21, "Access violation"},
                      error_case{2, "Write access is disabled", 29, "Write access is disabled"},
                      error_case{4, nullptr, 27, "Illegal TFTP operation"},
                      error_case{0, "mode not supported", 23, "mode not supported"},
                      error_case{0, "Unable to open file", 24, "Unable to open file"},
                      error_case{0, "Can't read from file", 25, "Can't read from file"}));

TEST(UnknownTidPacket, IsAlwaysOneHundredBytesWithTheTextAtTheStart) {
  capturing_io io;
  send_unknown_tid_error(io, platform::invalid_socket, platform::make_address(0x7f000001, 1));
  ASSERT_EQ(io.sent.size(), 100u);
  EXPECT_EQ(io.sent.substr(0, 4), std::string("\0\5\0\5", 4));
  EXPECT_EQ(io.sent.substr(4, 20), std::string("Unknown transfer ID\0", 20));
}

TEST(ErrorPacketSend, WouldBlockIsDroppedSilentlyOtherFailuresRaise) {
  capturing_io io;
#ifdef _WIN32
  io.fail_with = 10035;
#else
  io.fail_with = EWOULDBLOCK;
#endif
  EXPECT_NO_THROW(send_error_packet(io, platform::invalid_socket, {}, 1));
  EXPECT_NO_THROW(send_unknown_tid_error(io, platform::invalid_socket, {}));

  io.fail_with = 101;
  try {
    send_error_packet(io, platform::invalid_socket, {}, 1);
    FAIL() << "no failure raised";
  } catch (const win32_exception& e) {
    EXPECT_STREQ(e.what(), "sendto() failed (code 101)");
  }
  EXPECT_THROW(send_unknown_tid_error(io, platform::invalid_socket, {}), win32_exception);
}

struct request_case {
  const char* what;
  std::string datagram;
  bool accepted;
  const char* name;
  const char* mode;
};

void PrintTo(const request_case& c, std::ostream* os) { *os << c.what; }

class RequestParsing : public ::testing::TestWithParam<request_case> {};

TEST_P(RequestParsing, ReadsNameAndModeWithinTheDatagramOnly) {
  const auto& c = GetParam();
  // Copy into a buffer of exactly the datagram's size, so a read past the
  // end is caught by the sanitizers.
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[c.datagram.size() + 1]);
  std::memcpy(exact.get(), c.datagram.data(), c.datagram.size());
  auto r = read_request(exact.get(), c.datagram.size());
  ASSERT_EQ(r.has_value(), c.accepted) << c.what;
  if (!c.accepted) return;
  EXPECT_EQ(r->name, c.name) << c.what;
  EXPECT_EQ(r->mode, c.mode) << c.what;
}

using std::string_literals::operator""s;

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestParsing,
    ::testing::Values(
        request_case{"plain", "\0\1boot.bin\0octet\0"s, true, "boot.bin", "octet"},
        request_case{"options after the mode are ignored", "\0\1a\0octet\0blksize\0" "1428\0tsize\0" "0\0"s, true, "a",
                     "octet"},
        request_case{"empty name", "\0\1\0octet\0"s, true, "", "octet"},
        request_case{"empty mode", "\0\1a\0\0"s, true, "a", ""},
        request_case{"name without its zero", "\0\1abc"s, false, "", ""},
        request_case{"mode without its zero", "\0\1a\0oct"s, false, "", ""},
        request_case{"nothing after the name's zero", "\0\1a\0"s, false, "", ""},
        request_case{"opcode only", "\0\1"s, false, "", ""},
        request_case{"too short", "\0"s, false, "", ""}));

TEST(ModeCheck, OctetAndNetasciiInAnyCaseOnly) {
  for (const char* mode : {"octet", "OCTET", "Octet", "netascii", "NetAscii", "NETASCII"})
    EXPECT_TRUE(is_supported_mode(mode)) << mode;
  for (const char* mode : {"mail", "", "octets", "binary", "octet "}) EXPECT_FALSE(is_supported_mode(mode)) << mode;
}

TEST(AckParsing, ReadsTheFirstFourBytesAndNeedsAllOfThem) {
  EXPECT_EQ(read_ack_block(bytes("\0\4\1\2"s), 4), 0x0102);
  EXPECT_EQ(read_ack_block(bytes("\0\4\xff\xff trailing"s), 13), 0xffff);
  EXPECT_FALSE(read_ack_block(bytes("\0\4\1"s), 3).has_value());
  EXPECT_FALSE(read_opcode(bytes("\0"s), 1).has_value());
  EXPECT_EQ(read_opcode(bytes("\1\2"s), 2), 0x0102);
}

TEST(DataHeader, IsOpcodeThreeAndTheBlockInNetworkOrder) {
  std::uint8_t p[4];
  write_data_header(p, 0xABCD);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 4), "\0\3\xAB\xCD"s);
}

TEST(ErrorTexts, AreTheEightStandardTexts) {
  const char* expected[] = {"Not defined",           "File not found",       "Access violation",
                            "Disk full or allocation exceeded", "Illegal TFTP operation", "Unknown transfer ID",
                            "File already exists",   "No such user"};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(error_texts[i], expected[i]);
}

}  // namespace
