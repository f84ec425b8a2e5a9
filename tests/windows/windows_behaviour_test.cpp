// Behaviour that is Windows's own: Winsock and Win32 error numbers in the
// failure messages, refusals of folders, devices and files held by another
// program, confinement without regard to case, CR LF in the CSV file held
// without sharing, and the settings file beside the executable.

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <share.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "engine_harness.h"
#include "platform/executable_path.h"
#include "platform/io_seam.h"
#include "platform/path.h"
#include "settings/settings_file.h"
#include "tftp/failures.h"
#include "tftp/packets.h"
#include "tftp/request_path.h"

using namespace ostrel;
using namespace ostrel::harness;
using log::event_kind;
namespace fs = std::filesystem;

namespace {

// A UDP socket of "another program": plain Winsock, no options unless asked.
class foreign_socket {
 public:
  explicit foreign_socket(bool reuse_address = false) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    sock_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (reuse_address) {
      BOOL on = TRUE;
      setsockopt(sock_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    }
  }
  ~foreign_socket() {
    closesocket(sock_);
    WSACleanup();
  }
  // Binds to all local addresses; returns the Winsock error, 0 on success.
  int bind_any(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    return bind(sock_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : WSAGetLastError();
  }
  std::uint16_t port() const { return platform::local_port(sock_); }

 private:
  SOCKET sock_;
};

// ---- error numbers

TEST(WindowsErrorCodes, AStartOnATakenPortFailsWithWinsockCode10048) {
  foreign_socket holder;
  ASSERT_EQ(holder.bind_any(0), 0);
  engine_harness engine(nullptr, holder.port());

  EXPECT_FALSE(engine.start());
  ASSERT_FALSE(engine.view.rows.empty());
  const auto& row = engine.view.rows.back();
  EXPECT_EQ(row.kind, event_kind::error);
  EXPECT_EQ(row.message, "Can't bind server socket (code 10048)");  // WSAEADDRINUSE
  EXPECT_FALSE(engine.log.log_file_open());
  EXPECT_TRUE(engine.host.buttons.empty()) << "the toolbar stays as it was";

  // The failed start released its socket and the socket library: the port is
  // still only the holder's, and a later start on a free port succeeds.
  engine_harness other;
  EXPECT_TRUE(other.start());
}

TEST(WindowsErrorCodes, TheRunningServersPortCannotBeSharedByAnotherProgram) {
  engine_harness engine;
  ASSERT_TRUE(engine.start());
  foreign_socket plain;
  EXPECT_EQ(plain.bind_any(engine.port()), WSAEADDRINUSE);
  // Asking to share the address must not take the server's datagrams away.
  foreign_socket sharing(true);
  EXPECT_NE(sharing.bind_any(engine.port()), 0);

  udp_peer client;
  engine.folder.write("Root/f.bin", "abc");
  EXPECT_EQ(engine.download(client, "f.bin"), std::optional<std::string>("abc"));
}

TEST(WindowsErrorCodes, AFailedSendCarriesTheWinsockNumberThroughGetLastError) {
  // raise_win32_error reads GetLastError, which holds the code Winsock left.
  ASSERT_TRUE(platform::start_socket_library());
  platform::io_seam io;
  auto to = platform::make_address(0x7f000001, 9);
  try {
    tftp::send_error_packet(io, INVALID_SOCKET, to, 1, nullptr);
    ADD_FAILURE() << "no failure raised";
  } catch (const tftp::win32_exception& e) {
    EXPECT_STREQ(e.what(), "sendto() failed (code 10038)");  // WSAENOTSOCK
  }
  platform::stop_socket_library();
}

// ---- files that are not served

struct refusal_case {
  const char* name;
  std::uint16_t code;
  const char* text;
};

class WindowsRefusal : public ::testing::Test {
 protected:
  engine_harness engine;
  udp_peer client;

  void SetUp() override {
    ASSERT_TRUE(engine.start());
    engine.folder.write("Root/sub/inner.bin", "x");
    engine.folder.write("Root/held.bin", "held");
    engine.folder.write("Root/f.bin", "data");
  }

  void expect_refused(const refusal_case& c) {
    SCOPED_TRACE(c.name);
    engine.send(client, engine.port(), rrq(c.name));
    auto reply = client.receive();
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->bytes, error_packet(c.code, c.text));
    EXPECT_EQ(engine.view.rows.back().kind, event_kind::error);
    EXPECT_EQ(engine.view.rows.back().message, c.text);
    EXPECT_EQ(engine.transfer_count(), 0u);
  }
};

TEST_F(WindowsRefusal, FoldersDevicesAndHeldFilesAreRefusedByTheirErrno) {
  // Held by another program without sharing: the open fails with EACCES.
  std::FILE* held = _fsopen((engine.root / "held.bin").string().c_str(), "rb", _SH_DENYRW);
  ASSERT_NE(held, nullptr);
  for (const refusal_case& c : {
           refusal_case{"sub", 2, "Access violation"},         // fopen on a folder: errno 13
           refusal_case{"sub\\", 2, "Access violation"},
           refusal_case{"NUL", 2, "Access violation"},         // a device, not a file on disk
           refusal_case{"sub\\nul.txt", 2, "Access violation"},
           refusal_case{"held.bin", 2, "Access violation"},
           refusal_case{"missing.bin", 1, "File not found"},   // errno 2
           refusal_case{"f.bin\\x", 1, "File not found"},      // a file where a folder should be
           refusal_case{"missing\\x", 1, "File not found"},
       })
    expect_refused(c);
  std::fclose(held);

  auto got = engine.download(client, "held.bin");
  EXPECT_EQ(got, std::optional<std::string>("held")) << "served once the other program lets go";
}

TEST(WindowsOpenForReading, SetsErrnoTheWayTheTransferReadsIt) {
  temp_folder folder;
  folder.write("sub/f.bin", "x");
  platform::io_seam io;
  struct {
    fs::path path;
    int error;
  } cases[] = {
      {folder.path() / "sub", EACCES},
      {folder.path() / "NUL", EACCES},
      {folder.path() / "sub" / "missing.bin", ENOENT},
  };
  for (const auto& c : cases) {
    errno = 0;
    std::FILE* f = io.open_for_reading(c.path.string().c_str());
    EXPECT_EQ(f, nullptr) << c.path;
    EXPECT_EQ(errno, c.error) << c.path;
    if (f) std::fclose(f);
  }
  std::FILE* f = io.open_for_reading((folder.path() / "SUB" / "F.BIN").string().c_str());
  ASSERT_NE(f, nullptr) << "names ignore case on Windows file systems";
  EXPECT_EQ(io.file_size(f), 1);
  std::fclose(f);
}

// ---- confinement

struct confine_case {
  const char* name;
  const char* expected;  // null: refused
};

void PrintTo(const confine_case& c, std::ostream* os) { *os << c.name; }

class WindowsConfinement : public ::testing::TestWithParam<confine_case> {};

TEST_P(WindowsConfinement, ComparesWithTheRootWithoutRegardToCase) {
  const auto& c = GetParam();
  auto r = tftp::confine_to_root("C:\\Srv\\Root\\", c.name);
  if (!c.expected) {
    EXPECT_FALSE(r.has_value()) << *r;
    return;
  }
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(*r, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsConfinement,
    ::testing::Values(confine_case{"..\\ROOT\\x.bin", "C:\\Srv\\ROOT\\x.bin"},  // the same folder here
                      confine_case{"../root/a/b.bin", "C:\\Srv\\root\\a\\b.bin"},
                      confine_case{"c:\\srv\\root\\x.bin", "c:\\srv\\root\\x.bin"},
                      confine_case{"sub/../../rOOt/x", "C:\\Srv\\rOOt\\x"},
                      confine_case{"..\\Rooted\\x.bin", nullptr},  // a sibling extending the root's name
                      confine_case{"..\\x.bin", nullptr}, confine_case{"C:\\f.bin", nullptr},
                      confine_case{"D:\\Srv\\Root\\x.bin", nullptr},
                      confine_case{"C:x.bin", nullptr},             // relative to the drive's current folder
                      confine_case{"\\\\server\\share\\x", nullptr}  // one separator dropped, then absolute
                      ));

// ---- the CSV file

TEST(WindowsLogFile, LinesEndInCrLfAndNoOtherProgramMayOpenTheOpenFile) {
  temp_folder folder;
  std::string path = (folder.path() / "Log.csv").string();
  recording_log_view view;
  log::event_log log(view, path, [] { return std::time_t(1144141507); });
  log.open_log_file();
  ASSERT_TRUE(log.log_file_open());
  auto client = platform::make_address(0xc000020a, 1234);
  log.log_event(&client, event_kind::info, "Transfer completed, 3 bytes in 0.00 seconds (0.00 KBytes/sec)");
  log.log_event(nullptr, event_kind::warning, "two");

  errno = 0;
  std::FILE* other = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(other, nullptr) << "the open log file is not shared";
  EXPECT_EQ(errno, EACCES);
  if (other) std::fclose(other);

  // A second stream on the same path is refused too, and says so.
  recording_log_view second_view;
  log::event_log second(second_view, path);
  second.open_log_file();
  EXPECT_FALSE(second.log_file_open());
  EXPECT_TRUE(second_view.contains(event_kind::error, "Can't create or open log file"));

  log.close_log_file();
  std::string text = read_file(path);
  ASSERT_EQ(text.rfind("Timestamp,Event,Client,Message\r\n", 0), 0u) << text;
  int lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    ++lines;
    EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "a bare line feed at " << i;
  }
  EXPECT_EQ(lines, 3);
  EXPECT_NE(text.find(",Info,192.0.2.10:1234,\"Transfer completed, 3 bytes in 0.00 seconds (0.00 KBytes/sec)\"\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

// ---- the settings file

TEST(WindowsSettings, TheSettingsFileIsTheExecutablesPathWithIni) {
  std::string exe = platform::executable_path();
  ASSERT_GT(exe.size(), 4u);
  EXPECT_EQ(exe.find('/'), std::string::npos) << exe;
  EXPECT_EQ(exe.substr(1, 2), ":\\") << "a full path with a drive: " << exe;
  EXPECT_EQ(fs::path(exe).filename().string(), "windows_tests.exe");

  auto where = settings::locate_settings(exe);
  EXPECT_EQ(where.ini_path, exe.substr(0, exe.size() - 4) + ".ini");
  std::string folder = exe.substr(0, exe.rfind('\\'));
  EXPECT_EQ(where.exe_folder, folder);
  EXPECT_EQ(settings::default_root_folder(where), folder + "\\Root");
  EXPECT_EQ(settings::default_log_file(where), folder + "\\Log.csv");
}

TEST(WindowsSettings, PathsAreJoinedWithBackslashes) {
  EXPECT_EQ(settings::settings_path_for("D:\\Tools\\Server.exe"), "D:\\Tools\\Server.ini");
  EXPECT_EQ(settings::settings_path_for("D:\\v1.2\\Server"), "D:\\v1.2\\Server.ini");
  auto where = settings::locate_settings("D:\\Tools\\Server.exe");
  EXPECT_EQ(settings::default_root_folder(where), "D:\\Tools\\Root");
  EXPECT_EQ(settings::default_log_file(where), "D:\\Tools\\Log.csv");
  EXPECT_EQ(platform::path_folder("D:\\Server.exe"), "D:\\");
  EXPECT_EQ(platform::with_trailing_separator("E:\\tftp"), "E:\\tftp\\");
  EXPECT_EQ(platform::without_trailing_separator("E:\\tftp\\"), "E:\\tftp");
  EXPECT_EQ(platform::without_trailing_separator("E:\\"), "E:\\") << "a drive's top folder keeps its backslash";
}

}  // namespace
