#include "ui_support.h"

#include <fstream>
#include <sstream>

#include <QAction>
#include <QTest>

#include "platform/udp_socket.h"

namespace ostrel::ui_test {

std::string read_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool wait_for(const std::function<bool()>& pred, int timeout_ms) { return QTest::qWaitFor(pred, timeout_ms); }

std::optional<harness::udp_peer::datagram> receive_while_running(const harness::udp_peer& peer, int timeout_ms) {
  std::optional<harness::udp_peer::datagram> got;
  wait_for(
      [&] {
        got = peer.receive(std::chrono::milliseconds(0));
        return got.has_value();
      },
      timeout_ms);
  return got;
}

std::uint16_t free_udp_port() {
  auto s = platform::create_udp_socket();
  platform::bind_socket(s, 0, 0x7f000001);
  auto port = platform::local_port(s);
  platform::close_socket(s);
  return port;
}

app_fixture::app_fixture(std::uint16_t port) {
  where.ini_path = (folder.path() / "ostrel-tftp.ini").string();
  where.exe_folder = folder.path().string();
  app = std::make_unique<ui::desktop_app>(where, port);
}

std::vector<std::string> app_fixture::log_messages() {
  std::vector<std::string> out;
  auto& rows = app->log_rows();
  for (int i = 0; i < rows.rowCount(); ++i) out.push_back(rows.row(i).message);
  return out;
}

bool app_fixture::enabled(int command) { return app->window().action(command)->isEnabled(); }

}  // namespace ostrel::ui_test
