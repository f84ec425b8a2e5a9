#pragma once
// Helpers for the widget tests: a desktop program on an ephemeral port in a
// temporary folder, and a TFTP client that lets the Qt loop run while it waits.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>

#include "engine_harness.h"
#include "settings/settings_file.h"
#include "ui/desktop_app.h"

namespace ostrel::ui_test {

// The text of a whole file, or empty.
std::string read_file(const std::filesystem::path& p);

// Runs the Qt loop until pred holds or the timeout passes.
bool wait_for(const std::function<bool()>& pred, int timeout_ms = 3000);

// Receives the next datagram on peer while the Qt loop runs.
std::optional<harness::udp_peer::datagram> receive_while_running(const harness::udp_peer& peer, int timeout_ms = 3000);

// A UDP port that nobody held a moment ago.
std::uint16_t free_udp_port();

// The desktop program over a temporary folder: settings file, default root
// and log file all inside it; the server on an ephemeral port (or the one given).
struct app_fixture {
  explicit app_fixture(std::uint16_t port = 0);
  std::filesystem::path ini() const { return folder.path() / "ostrel-tftp.ini"; }
  std::filesystem::path log_file() const { return folder.path() / "Log.csv"; }
  std::filesystem::path root() const { return folder.path() / "Root"; }

  harness::temp_folder folder;
  settings::settings_location where;
  std::unique_ptr<ui::desktop_app> app;

  // Messages of the log list, oldest first.
  std::vector<std::string> log_messages();
  bool enabled(int command);
};

}  // namespace ostrel::ui_test
