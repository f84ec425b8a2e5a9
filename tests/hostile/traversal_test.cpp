// Requests that try to leave the root folder, by every known trick, sent to
// the real server over UDP on 127.0.0.1. Beside the root lie files that a
// faulty server would serve: a secret, the CSV log, a folder whose name
// extends the root's ("Root2") and one that differs from it only in case
// ("root"). Every open the server makes goes through a recording seam.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "hostile_support.h"
#include "log/event_log.h"
#include "platform/path.h"
#include "settings/settings_file.h"
#include "tftp/event_loop.h"
#include "tftp/tftp_server.h"
#include "tftp/transfer_rows.h"

namespace ostrel::hostile {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

const std::string secret = "the secret beside the root";

class kept_rows : public log::log_view {
 public:
  void append_log_row(const log::log_row& row) override { rows.push_back(row); }
  void clear_log_rows() override { rows.clear(); }
  std::vector<log::log_row> rows;
};

struct traversal_case {
  const char* family;
  std::string request;  // the whole datagram
  // 2: refused as outside the root. 1: the name stays inside the root on
  // this system and names nothing there. 0: served (a control case).
  int expected_code;
};

std::string raw_rrq(const std::string& name) { return rrq(name); }

// The attack families, built around the tree's real paths. `top` is the
// folder holding the root, without a final separator.
std::vector<traversal_case> traversal_cases(const std::string& top) {
  const std::string top_back = [&] {
    std::string s = top;
    for (char& c : s)
      if (c == '/') c = '\\';
    return s;
  }();
  return {
      // Control cases: the table's plumbing serves what lies inside.
      {"inside", raw_rrq("inside.txt"), 0},
      {"inside, climbing back", raw_rrq("sub/../sub/..\\inside.txt"), 0},
      {"inside, one leading separator", raw_rrq("\\sub\\inner.txt"), 0},

      {"../", raw_rrq("../secret.txt"), 2},
      {"../", raw_rrq("../../../../../../../../../../etc/passwd"), 2},
      {"../", raw_rrq("sub/../../secret.txt"), 2},
      {"../", raw_rrq("../Log.csv"), 2},
      {"../ after one leading separator", raw_rrq("/../secret.txt"), 2},
      {"..\\", raw_rrq("..\\secret.txt"), 2},
      {"..\\", raw_rrq("..\\..\\..\\..\\..\\..\\..\\..\\etc\\passwd"), 2},
      {"..\\", raw_rrq("\\..\\secret.txt"), 2},
      {"..\\", raw_rrq("sub\\..\\..\\secret.txt"), 2},
      {"mixed separators", raw_rrq("..\\/secret.txt"), 2},
      {"mixed separators", raw_rrq("sub/..\\../secret.txt"), 2},
      {"mixed separators", raw_rrq("sub\\..//..\\\\secret.txt"), 2},
      {"...", raw_rrq("...\\..\\..\\secret.txt"), 2},
      {"...", raw_rrq(".../../../secret.txt"), 2},
      {"....//", raw_rrq("....//../../secret.txt"), 2},
      {"....//", raw_rrq("....\\\\..\\..\\secret.txt"), 2},
      {"..././", raw_rrq("..././../../secret.txt"), 2},
      {"absolute path, doubled leading separator", raw_rrq("/" + top + "/secret.txt"), 2},
      {"absolute path, doubled leading separator", raw_rrq("//etc/passwd"), 2},
      {"absolute path, doubled leading separator", raw_rrq("\\" + top_back + "\\secret.txt"), 2},
      {"absolute path, doubled leading separator", raw_rrq("\\/" + top.substr(1) + "/secret.txt"), 2},
      {"absolute path, tripled leading separator", raw_rrq("//" + top + "/secret.txt"), 2},
      {"sibling sharing the root's name prefix", raw_rrq("../Root2/x.bin"), 2},
      {"sibling sharing the root's name prefix", raw_rrq("/" + top + "/Root2/x.bin"), 2},
      {"sibling differing only in case", raw_rrq("../root/x.bin"), 2},
      {"sibling differing only in case", raw_rrq("/" + top + "/root/x.bin"), 2},
      // A case-blind prefix check would take this as inside and answer "File not found".
      {"root differing only in case", raw_rrq("/" + top + "/ROOT/inside.txt"), 2},
      {"control characters", raw_rrq("\x7f/../../secret.txt"), 2},
      {"control characters", raw_rrq("\x1b[2J/../../secret.txt"), 2},
      // The name ends at the first zero byte: what follows is the mode.
      {"name cut short by a zero byte", u16(1) + "..\0/secret.txt\0octet\0"s, 2},
      {"write request", wrq("../secret.txt"), 2},
      {"write request", wrq("/" + top + "/secret.txt"), 2},
      {"longer than a path may be", raw_rrq(std::string(300, 'x')), 2},

      // On this system these names stay inside the root: "..." and "...."
      // are ordinary names (not the parent's parent as on old Windows),
      // "....//" and "..././" only climb for a server that strips "../"
      // once, a single leading separator makes the name root-relative, and
      // a component with a control character is not "..". A sound server
      // looks them up under the root, finds nothing and says so.
      {"... (an ordinary name here)", raw_rrq(".../secret.txt"), 1},
      {"....// (no stripping here)", raw_rrq("....//secret.txt"), 1},
      {"....// (no stripping here)", raw_rrq("....//....//secret.txt"), 1},
      {"..././ (no stripping here)", raw_rrq("..././secret.txt"), 1},
      {"absolute path, one leading separator (root-relative)", raw_rrq(top + "/secret.txt"), 1},
      {"absolute path, one leading separator (root-relative)", raw_rrq("/etc/passwd"), 1},
      {"control characters", raw_rrq("a\x01" "b"), 1},
      {"control characters", raw_rrq("..\x01/secret.txt"), 1},
      {"control characters", raw_rrq("..\n/secret.txt"), 1},
      {"control characters", raw_rrq("..\t\\secret.txt"), 1},
  };
}

class traversal : public ::testing::Test {
 protected:
  traversal()
      : root(tree.path() / "Root"),
        values{root.string() + "/", (tree.path() / "Log.csv").string()},
        log(view, values.log_file_path),
        control(loop, log, values, rows, 0, platform::system_tick_count, &seam) {
    tree.write("Root/inside.txt", "inside the root");
    tree.write("Root/sub/inner.txt", "inside a folder of the root");
    tree.write("secret.txt", secret);
    tree.write("Root2/x.bin", secret);
    tree.write("root/x.bin", secret);
    tree.write("root/inside.txt", secret);
    loop.attach(control);
    control.start_server();
  }

  // Sends the request and handles it; the server's first reply, if any.
  std::optional<udp_endpoint::datagram> ask(const std::string& request) {
    client.send_to(control.port(), request);
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (std::chrono::steady_clock::now() < deadline) {
      loop.run_once(10ms);
      if (auto reply = client.receive(std::chrono::milliseconds(0))) return reply;
    }
    return std::nullopt;
  }

  // Every transfer ended and every file it opened closed.
  bool nothing_left() const {
    return control.running_server() && control.running_server()->transfer_table.empty();
  }

  temp_tree tree;
  std::filesystem::path root;
  settings::settings values;
  kept_rows view;
  log::event_log log;
  tftp::transfer_rows rows;
  recording_seam seam;
  tftp::event_loop loop;
  tftp::server_control control;
  udp_endpoint client;
};

TEST_F(traversal, every_attack_family_is_refused_and_nothing_outside_the_root_is_opened) {
  ASSERT_TRUE(control.running());
  const std::string root_text = values.root_folder;
  const std::string top = tree.path().string();

  for (const auto& c : traversal_cases(top)) {
    SCOPED_TRACE(std::string(c.family) + ": \"" + c.request.substr(2) + "\"");
    seam.opened.clear();
    view.rows.clear();

    auto reply = ask(c.request);
    ASSERT_TRUE(reply) << "no answer";
    EXPECT_EQ(reply->bytes.find(secret), std::string::npos) << "the secret was sent";
    for (const auto& path : seam.opened) EXPECT_TRUE(platform::path_has_prefix(path, root_text)) << "opened " << path;

    if (c.expected_code == 0) {
      ASSERT_EQ(opcode_of(reply->bytes), 3);
      EXPECT_EQ(second_field(reply->bytes), 1);
      client.send_to(reply->from_port, ack(1));
      auto deadline = std::chrono::steady_clock::now() + 2s;
      while (!nothing_left() && std::chrono::steady_clock::now() < deadline) loop.run_once(10ms);
      EXPECT_TRUE(nothing_left()) << "the served transfer did not complete";
      continue;
    }

    ASSERT_EQ(opcode_of(reply->bytes), 5) << "not an ERROR packet";
    EXPECT_EQ(second_field(reply->bytes), c.expected_code);
    ASSERT_FALSE(view.rows.empty());
    const auto& last = view.rows.back();
    EXPECT_EQ(last.kind, log::event_kind::error);
    if (c.expected_code == 2) {
      EXPECT_EQ(reply->bytes, u16(5) + u16(2) + "Access violation" + std::string(1, '\0'));
      EXPECT_EQ(last.message, "Client attempted to access file outside root path");
      EXPECT_TRUE(seam.opened.empty()) << "refused names are never opened";
    } else {
      EXPECT_EQ(reply->bytes, u16(5) + u16(1) + "File not found" + std::string(1, '\0'));
      EXPECT_EQ(last.message, "File not found");
    }
    EXPECT_TRUE(nothing_left());
    EXPECT_FALSE(client.receive(5ms)) << "a second packet followed the refusal";
  }
}

}  // namespace
}  // namespace ostrel::hostile
