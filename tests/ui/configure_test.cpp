// Configure: the server stops for the dialog and starts again afterwards
// whatever the result; OK writes both fields and the settings file, Cancel
// changes nothing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "settings/config_dialog.h"
#include "ui_support.h"

namespace ostrel::ui_test {
namespace {

using settings::config_dialog;

// Runs the dialog without a human: checks the state it opens in, then
// fills the fields and presses OK, or presses Cancel.
struct scripted_dialog {
  bool ok = true;
  std::optional<QString> root, log;
  bool ran = false;
  bool server_was_running_inside = true;
  QString shown_root, shown_log, title;

  void install(app_fixture& f) {
    f.app->set_dialog_runner([this, &f](QDialog& d) {
      auto& dialog = dynamic_cast<config_dialog&>(d);
      ran = true;
      server_was_running_inside = f.app->control().running();
      title = dialog.windowTitle();
      shown_root = dialog.root_edit()->text();
      shown_log = dialog.log_edit()->text();
      if (root) dialog.root_edit()->setText(*root);
      if (log) dialog.log_edit()->setText(*log);
      (ok ? dialog.ok_button() : dialog.cancel_button())->click();
      return dialog.result();
    });
  }
};

std::vector<std::string> lines_of(const std::string& csv) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < csv.size()) {
    auto end = csv.find("\r\n", start);
    if (end == std::string::npos) end = csv.size();
    out.push_back(csv.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

std::string message_of(const std::string& line) {
  auto q = line.find(",\"");
  return q == std::string::npos ? std::string() : line.substr(q + 2, line.size() - q - 3);
}

TEST(Configure, CancelRestartsTheServerWithTheSettingsUnchanged) {
  app_fixture f;
  auto before = f.app->current_settings();
  scripted_dialog script;
  script.ok = false;
  script.root = "/somewhere/else";
  script.install(f);

  f.app->window().action(tftp::command_configure)->trigger();

  ASSERT_TRUE(script.ran);
  EXPECT_EQ(script.title, "Server Configuration");
  EXPECT_FALSE(script.server_was_running_inside);
  EXPECT_EQ(script.shown_root.toStdString(), before.root_folder);  // with its trailing separator
  EXPECT_EQ(script.shown_log.toStdString(), before.log_file_path);
  EXPECT_TRUE(f.app->control().running());
  EXPECT_EQ(f.app->current_settings().root_folder, before.root_folder);
  EXPECT_EQ(f.app->current_settings().log_file_path, before.log_file_path);
  EXPECT_FALSE(std::filesystem::exists(f.ini()));
  auto messages = f.log_messages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(messages[messages.size() - 2], "TFTP server stopped");
  EXPECT_EQ(messages.back(), "TFTP server started");
}

TEST(Configure, OkSavesBothFieldsAndTheNewLogFileTakesEffectAtTheRestart) {
  app_fixture f;
  auto old_log = f.log_file();
  auto new_root = f.folder.path() / "served";
  auto new_log = f.folder.path() / "new.csv";
  std::filesystem::create_directory(new_root);
  scripted_dialog script;
  script.root = QString::fromStdString(new_root.string());
  script.log = QString::fromStdString(new_log.string());
  script.install(f);

  f.app->window().action(tftp::command_configure)->trigger();

  ASSERT_TRUE(script.ran);
  EXPECT_FALSE(script.server_was_running_inside);
  EXPECT_TRUE(f.app->control().running());
  EXPECT_EQ(f.app->current_settings().root_folder, new_root.string() + "/");
  EXPECT_EQ(f.app->current_settings().log_file_path, new_log.string());
  std::string ini = read_file(f.ini());
  EXPECT_NE(ini.find("Root=" + new_root.string() + "\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("LogFile=" + new_log.string()), std::string::npos) << ini;

  f.app->window().action(tftp::command_stop_server)->trigger();
  // "TFTP server stopped" is the last line of the old file; the new one starts with its header.
  auto old_lines = lines_of(read_file(old_log));
  ASSERT_FALSE(old_lines.empty());
  EXPECT_EQ(message_of(old_lines.back()), "TFTP server stopped");
  auto new_lines = lines_of(read_file(new_log));
  ASSERT_EQ(new_lines.size(), 3u);
  EXPECT_EQ(new_lines[0], "Timestamp,Event,Client,Message");
  EXPECT_EQ(message_of(new_lines[1]), "TFTP server started");
  EXPECT_EQ(message_of(new_lines[2]), "TFTP server stopped");
}

TEST(Configure, OkWhileStoppedSavesAndLeavesTheServerStopped) {
  app_fixture f;
  f.app->window().action(tftp::command_stop_server)->trigger();
  scripted_dialog script;
  script.install(f);
  f.app->window().action(tftp::command_configure)->trigger();
  ASSERT_TRUE(script.ran);
  EXPECT_FALSE(f.app->control().running());
  EXPECT_TRUE(f.enabled(tftp::command_start_server));
  // The untouched root is stored without its trailing separator.
  std::string ini = read_file(f.ini());
  EXPECT_NE(ini.find("Root=" + f.root().string() + "\n"), std::string::npos) << ini;
  EXPECT_EQ(f.app->current_settings().root_folder, f.root().string() + "/");
}

TEST(Configure, FieldsAreCutTo259CharactersAndAnEmptyRootMeansTheDefault) {
  app_fixture f;
  scripted_dialog script;
  script.root = QString();
  script.log = QString(300, QChar('x'));
  script.install(f);
  f.app->window().action(tftp::command_configure)->trigger();
  EXPECT_EQ(f.app->current_settings().root_folder, f.root().string() + "/");
  EXPECT_EQ(f.app->current_settings().log_file_path, std::string(259, 'x'));
  // Multi-byte characters are never cut in half.
  std::string cut = settings::field_value(QString(200, QChar(0x00e9)));
  EXPECT_LE(cut.size(), 259u);
  EXPECT_EQ(cut.size() % 2, 0u);
  EXPECT_EQ(QString::fromUtf8(cut), QString(static_cast<qsizetype>(cut.size() / 2), QChar(0x00e9)));
}

TEST(Configure, TheLogFilePickerAddsCsvAndAcceptsAFileThatDoesNotExistYet) {
  harness::temp_folder folder;
  QString path = QString::fromStdString((folder.path() / "old.csv").string());
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(picker, nullptr);
    seen = true;
    EXPECT_EQ(picker->windowTitle(), "Select server log file:");
    EXPECT_EQ(picker->nameFilters(), QStringList{"Log files (*.csv)"});
    EXPECT_TRUE(picker->testOption(QFileDialog::DontConfirmOverwrite));
    picker->selectFile("fresh");
    static_cast<QDialog*>(picker)->accept();
  });
  ASSERT_TRUE(config_dialog::choose_log_file(nullptr, path));
  EXPECT_TRUE(seen);
  EXPECT_EQ(path.toStdString(), (folder.path() / "fresh.csv").string());
}

}  // namespace
}  // namespace ostrel::ui_test
