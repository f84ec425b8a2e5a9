// The real executable: the headless mode serving a real client and stopping
// on SIGTERM, a port that is taken, and the command line's errors.

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <regex>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include "platform/udp_socket.h"
#include "ui_support.h"

namespace ostrel::ui_test {
namespace {

const QString program = QStringLiteral(OSTREL_TFTP_EXE);

struct outcome {
  int exit_code;
  QProcess::ExitStatus status;
  std::string out, err;
};

// Runs the program to its end (it must end by itself).
outcome run(const QStringList& arguments) {
  QProcess p;
  p.start(program, arguments);
  EXPECT_TRUE(p.waitForFinished(10000));
  return {p.exitCode(), p.exitStatus(), p.readAllStandardOutput().toStdString(),
          p.readAllStandardError().toStdString()};
}

std::vector<std::string> split_lines(const std::string& text, const std::string& end) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    auto stop = text.find(end, start);
    if (stop == std::string::npos) stop = text.size();
    out.push_back(text.substr(start, stop - start));
    start = stop + end.size();
  }
  return out;
}

// A headless server over a temporary folder: root, settings file and log file inside it.
struct headless_server {
  harness::temp_folder folder;
  std::filesystem::path root = folder.path() / "served";
  std::filesystem::path log = folder.path() / "events.csv";
  std::filesystem::path ini = folder.path() / "test.ini";
  QProcess process;
  std::uint16_t port = 0;
  std::string out;

  headless_server() {
    std::filesystem::create_directory(root);
    std::ofstream(ini) << "[Server]\nRoot=" << root.string() << "\nLogFile=" << log.string() << "\n";
    // No display at all: the headless mode must not need one.
    auto env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.insert("QT_QPA_PLATFORM", "xcb");
    process.setProcessEnvironment(env);
  }
  ~headless_server() {
    if (process.state() != QProcess::NotRunning) {
      process.kill();
      process.waitForFinished(5000);
    }
  }

  // Starts on a free port; a port taken in between gets one more try.
  bool start() {
    for (int attempt = 0; attempt < 2; ++attempt) {
      port = free_udp_port();
      out.clear();
      process.start(program, {"--headless", "--port", QString::number(port), "--settings",
                              QString::fromStdString(ini.string())});
      if (!process.waitForStarted(5000)) return false;
      while (out.find("\n") == std::string::npos && process.waitForReadyRead(5000))
        out += process.readAllStandardOutput().toStdString();
      if (out.find("\"TFTP server started\"") != std::string::npos) return true;
      process.waitForFinished(5000);
      if (out.find("Can't bind server socket") == std::string::npos) return false;
    }
    return false;
  }

  // SIGTERM, then the rest of standard output.
  int stop() {
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    EXPECT_TRUE(process.waitForFinished(10000));
    out += process.readAllStandardOutput().toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return process.exitCode();
  }
};

TEST(Headless, ServesARealClientAndStopsCleanlyOnSigterm) {
  QString curl = QStandardPaths::findExecutable("curl");
  if (curl.isEmpty()) GTEST_SKIP() << "curl is not installed";
  headless_server server;
  std::string content = harness::pattern_bytes(3 * 512 + 77);
  std::ofstream(server.root / "boot.bin", std::ios::binary) << content;
  ASSERT_TRUE(server.start()) << server.out;

  auto fetched = server.folder.path() / "fetched.bin";
  QProcess client;
  client.start(curl, {"--silent", "--show-error", "--max-time", "20", "--output",
                      QString::fromStdString(fetched.string()),
                      QStringLiteral("tftp://127.0.0.1:%1/boot.bin").arg(server.port)});
  ASSERT_TRUE(client.waitForFinished(30000));
  ASSERT_EQ(client.exitCode(), 0) << client.readAllStandardError().toStdString();
  EXPECT_EQ(read_file(fetched), content);

  // The completion is logged once the last ACK is in; curl may be gone before that.
  QProcess& p = server.process;
  while (server.out.find("Transfer completed") == std::string::npos && p.waitForReadyRead(5000))
    server.out += p.readAllStandardOutput().toStdString();
  EXPECT_EQ(server.stop(), 0);

  // Standard output: one CSV line per event, LF-terminated.
  auto lines = split_lines(server.out, "\n");
  ASSERT_EQ(lines.size(), 4u) << server.out;
  const std::string stamp = R"re([A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4})re";
  const std::string client_field = R"re(127\.0\.0\.1:\d+)re";
  const std::regex expected[] = {
      std::regex(stamp + R"re(,Info,,"TFTP server started")re"),
      std::regex(stamp + ",Info," + client_field + R"re(,"Client wants file: boot\.bin")re"),
      std::regex(stamp + ",Info," + client_field +
                 R"re(,"Transfer completed, 1613 bytes in \d+\.\d\d seconds \(\d+\.\d\d KBytes/sec\)")re"),
      std::regex(stamp + R"re(,Info,,"TFTP server stopped")re"),
  };
  for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(std::regex_match(lines[i], expected[i])) << lines[i];

  // The CSV file: the header, then the same lines with CR LF.
  auto csv = split_lines(read_file(server.log), "\r\n");
  ASSERT_EQ(csv.size(), 5u) << read_file(server.log);
  EXPECT_EQ(csv[0], "Timestamp,Event,Client,Message");
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(csv[i + 1], lines[i]);
}

TEST(Headless, ClientNamesAreShownWithTheirControlCharactersEscaped) {
  headless_server server;
  ASSERT_TRUE(server.start()) << server.out;
  harness::udp_peer client;
  client.send_to(server.port, harness::rrq("evil\x1b[2Jname"));
  ASSERT_TRUE(client.receive(std::chrono::milliseconds(3000)).has_value());  // the File not found ERROR
  while (server.out.find("File not found") == std::string::npos && server.process.waitForReadyRead(5000))
    server.out += server.process.readAllStandardOutput().toStdString();
  EXPECT_EQ(server.stop(), 0);
  EXPECT_NE(server.out.find("\"Client wants file: evil\\x1b[2Jname\""), std::string::npos) << server.out;
  EXPECT_EQ(server.out.find('\x1b'), std::string::npos);
  // The file keeps the exact text.
  EXPECT_NE(read_file(server.log).find("evil\x1b[2Jname"), std::string::npos);
}

TEST(Headless, ATakenPortPrintsTheErrorAndExitsNonZero) {
  auto holder = platform::create_udp_socket();
  ASSERT_TRUE(platform::bind_socket(holder, 0));
  std::uint16_t port = platform::local_port(holder);
  headless_server server;
  server.process.start(program, {"--headless", "--port", QString::number(port), "--settings",
                                 QString::fromStdString(server.ini.string())});
  ASSERT_TRUE(server.process.waitForFinished(10000));
  platform::close_socket(holder);
  std::string out = server.process.readAllStandardOutput().toStdString();
  EXPECT_NE(server.process.exitCode(), 0);
  EXPECT_TRUE(std::regex_search(out, std::regex(R"re(,Error,,"Can't bind server socket \(code \d+\)")re"))) << out;
}

TEST(WindowProcess, SigtermEndsTheProgramLikeClosingTheWindow) {
  headless_server server;  // its folder and settings; the window runs offscreen
  auto env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  server.process.setProcessEnvironment(env);
  server.port = free_udp_port();
  server.process.start(program, {"--port", QString::number(server.port), "--settings",
                                 QString::fromStdString(server.ini.string())});
  ASSERT_TRUE(server.process.waitForStarted(5000));

  // Ask for a missing file until the server answers with its ERROR.
  harness::udp_peer client;
  bool answered = false;
  for (int i = 0; i < 50 && !answered && server.process.state() == QProcess::Running; ++i) {
    client.send_to(server.port, harness::rrq("absent.bin"));
    answered = client.receive(std::chrono::milliseconds(200)).has_value();
  }
  ASSERT_TRUE(answered);

  ::kill(static_cast<pid_t>(server.process.processId()), SIGTERM);
  ASSERT_TRUE(server.process.waitForFinished(10000));
  EXPECT_EQ(server.process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(server.process.exitCode(), 0);
  // The lines still buffered at the signal were written out on the way; the
  // server was not stopped, so the file ends with the last event.
  auto csv = split_lines(read_file(server.log), "\r\n");
  ASSERT_GE(csv.size(), 4u) << read_file(server.log);
  EXPECT_NE(csv[1].find("\"TFTP server started\""), std::string::npos);
  EXPECT_NE(csv[csv.size() - 2].find("\"Client wants file: absent.bin\""), std::string::npos);
  EXPECT_NE(csv.back().find(",Error,127.0.0.1:"), std::string::npos) << csv.back();
  EXPECT_EQ(read_file(server.log).find("TFTP server stopped"), std::string::npos);
}

TEST(CommandLine, BadOptionsExitWithCodeTwoAndTheUsageBeforeAnythingStarts) {
  harness::temp_folder folder;
  const QStringList cases[] = {
      {"--bogus"},
      {"--headless", "--port", "abc"},
      {"--headless", "--port", "0"},
      {"--headless", "--port", "65536"},
      {"--headless", "--port", "-5"},
      {"--headless", "--port"},
      {"--headless", "stray"},
      {"--headless", "--port", "7001", "--port", "7002"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    auto r = run(arguments + QStringList{"--settings", QString::fromStdString((folder.path() / "s.ini").string())});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err.rfind("ostrel-tftp: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("Usage: ostrel-tftp [options]"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
  // Nothing was started: no settings or log file appeared.
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST(CommandLine, HelpAndVersion) {
  auto help = run({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  for (const char* option : {"--headless", "--port <N>", "--settings <FILE>", "--help", "--version"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  auto version = run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "ostrel-tftp 1.0\n");
}

}  // namespace
}  // namespace ostrel::ui_test
