// Real TFTP clients from Debian's packages download files from the engine
// on 127.0.0.1, byte-exact, including the file whose block numbers wrap
// from 65535 to 0.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine_harness.h"

extern char** environ;

using namespace ostrel;
using namespace ostrel::harness;
namespace fs = std::filesystem;

namespace {

struct client {
  const char* name;
  // The command line for a download of name from port into local.
  std::vector<std::string> (*command)(std::uint16_t port, const std::string& name, const std::string& local);
};

const client clients[] = {
    {"tftp-hpa",
     [](std::uint16_t port, const std::string& name, const std::string& local) {
       return std::vector<std::string>{"tftp", "-m", "binary", "127.0.0.1", std::to_string(port), "-c", "get", name, local};
     }},
    {"curl",
     [](std::uint16_t port, const std::string& name, const std::string& local) {
       return std::vector<std::string>{"curl", "-sS", "--fail", "-o", local,
                                       "tftp://127.0.0.1:" + std::to_string(port) + "/" + name};
     }},
    {"atftp",
     [](std::uint16_t port, const std::string& name, const std::string& local) {
       return std::vector<std::string>{"atftp", "-g", "-r", name, "-l", local, "127.0.0.1", std::to_string(port)};
     }},
    {"busybox",
     [](std::uint16_t port, const std::string& name, const std::string& local) {
       return std::vector<std::string>{"busybox", "tftp", "-g", "-r", name, "-l", local, "127.0.0.1", std::to_string(port)};
     }},
};

struct sized_file {
  const char* name;
  std::size_t size;
};

// 65535 blocks carry 33,553,920 bytes: this one needs block numbers 0 and 1 again.
constexpr std::size_t wrap_size = 33553920 + 1000;

const sized_file files[] = {
    {"empty.bin", 0}, {"one-block.bin", 512}, {"1000.bin", 1000}, {"1mib.bin", 1 << 20}, {"wrap.bin", wrap_size}};

void PrintTo(const client& c, std::ostream* os) { *os << c.name; }
void PrintTo(const sized_file& f, std::ostream* os) { *os << f.name; }

// One server for the whole suite; each test downloads into its own folder.
class RealClient : public ::testing::TestWithParam<std::tuple<client, sized_file>> {
 protected:
  static void SetUpTestSuite() {
    server = new engine_harness();
    ASSERT_TRUE(server->start());
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  // Runs the client while the engine serves; the client's exit status.
  int run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      ADD_FAILURE() << args[0] << " could not be started (is its package installed?)";
      return -1;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << args[0] << " did not finish in time";
        return -1;
      }
      server->host.run_once(std::chrono::milliseconds(5));
    }
    server->pump();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static engine_harness* server;
};

engine_harness* RealClient::server = nullptr;

TEST_P(RealClient, DownloadsTheFileByteExact) {
  const auto& [c, f] = GetParam();
  temp_folder out;
  fs::path local = out.path() / "download";
  server->folder.write("Root/" + std::string(f.name), pattern_bytes(f.size));
  std::size_t events = server->view.rows.size();

  EXPECT_EQ(run(c.command(server->port(), f.name, local.string())), 0);
  if (f.size > 0 || fs::exists(local)) {  // curl writes no file for an empty download
    ASSERT_TRUE(fs::exists(local));
    EXPECT_EQ(fs::file_size(local), f.size);
    EXPECT_TRUE(read_file(local) == pattern_bytes(f.size)) << "content differs";
  }
  bool completed = false;
  for (std::size_t i = events; i < server->view.rows.size(); ++i)
    completed |= server->view.rows[i].message.rfind("Transfer completed, " + std::to_string(f.size) + " bytes", 0) == 0;
  EXPECT_TRUE(completed) << "the server logged the completion";
  EXPECT_EQ(server->transfer_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(ClientsAndFiles, RealClient,
                         ::testing::Combine(::testing::ValuesIn(clients), ::testing::ValuesIn(files)),
                         [](const auto& info) {
                           std::string n = std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                           for (char& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

}  // namespace
