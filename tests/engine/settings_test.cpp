// The settings file beside the executable.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine_harness.h"
#include "platform/path.h"
#include "settings/settings_file.h"

using namespace ostrel;
using ostrel::settings::load_settings;
using ostrel::settings::locate_settings;
using ostrel::settings::save_settings;
using ostrel::settings::set_log_file_path;
using ostrel::settings::set_root_folder;
using ostrel::settings::settings_location;
using ostrel::settings::settings_path_for;
using config = ostrel::settings::settings;
namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  harness::temp_folder folder;
  std::string exe = (folder.path() / "ostrel-tftp").string();
  settings_location where = locate_settings(exe);
  std::string sep = std::string(1, platform::path_separator);
};

TEST(SettingsPath, ReplacesOrAppendsTheExtension) {
  EXPECT_EQ(settings_path_for("/opt/tools/ostrel-tftp"), "/opt/tools/ostrel-tftp.ini");
  EXPECT_EQ(settings_path_for("D:\\Tools\\Server.exe"), "D:\\Tools\\Server.ini");
  EXPECT_EQ(settings_path_for("/opt/v1.2/server"), "/opt/v1.2/server.ini");  // a dot in a folder is no extension
}

TEST_F(SettingsFile, FirstStartUsesDefaultsBesideTheExecutableAndCreatesTheRoot) {
  config s = load_settings(where);
  EXPECT_EQ(s.root_folder, (folder.path() / "Root").string() + sep);
  EXPECT_EQ(s.log_file_path, (folder.path() / "Log.csv").string());
  EXPECT_TRUE(fs::is_directory(folder.path() / "Root"));
  EXPECT_FALSE(fs::exists(where.ini_path)) << "loading never writes the file";
}

TEST_F(SettingsFile, RootGetsOneTrailingSeparatorOnLoadAndIsStoredWithout) {
  folder.write("ostrel-tftp.ini", "[Server]\nRoot=/srv/tftp\n");
  config s = load_settings(where);
  EXPECT_EQ(s.root_folder, "/srv/tftp" + sep);
  EXPECT_EQ(s.log_file_path, (folder.path() / "Log.csv").string()) << "a missing key takes its default";
  EXPECT_TRUE(fs::is_directory(folder.path() / "Root")) << "the default root is created on every load";

  folder.write("ostrel-tftp.ini", "[Server]\nRoot=/srv/tftp" + sep + "\n");
  EXPECT_EQ(load_settings(where).root_folder, "/srv/tftp" + sep);

  save_settings(where, s);
  EXPECT_EQ(s.root_folder, "/srv/tftp" + sep);
  EXPECT_NE(harness::read_file(where.ini_path).find("Root=/srv/tftp\n"), std::string::npos) << harness::read_file(where.ini_path);
}

TEST_F(SettingsFile, SavingKeepsEverythingElseOfAHandEditedFile) {
  folder.write("ostrel-tftp.ini",
               "; written by hand\n[Other]\nRoot=keep me\n\n[server]\n  Root = \"/old\"  \nExtra=1\n[Last]\nk=v\n");
  config s = load_settings(where);
  EXPECT_EQ(s.root_folder, "/old" + sep) << "names ignore case, blanks and quotes are dropped";
  s.root_folder = "/new" + sep;
  s.log_file_path = "/var/log/x.csv";
  save_settings(where, s);
  EXPECT_EQ(harness::read_file(where.ini_path),
            "; written by hand\n[Other]\nRoot=keep me\n\n[server]\nRoot=/new\nExtra=1\nLogFile=/var/log/x.csv\n"
            "[Last]\nk=v\n");
  config again = load_settings(where);
  EXPECT_EQ(again.root_folder, "/new" + sep);
  EXPECT_EQ(again.log_file_path, "/var/log/x.csv");
}

TEST_F(SettingsFile, ANewFileGetsTheServerSection) {
  config s{"/a/b" + sep, "/c/Log.csv"};
  save_settings(where, s);
  // A new file gets the platform's line end.
#ifdef _WIN32
  const std::string eol = "\r\n";
#else
  const std::string eol = "\n";
#endif
  EXPECT_EQ(harness::read_file(where.ini_path), "[Server]" + eol + "Root=/a/b" + eol + "LogFile=/c/Log.csv" + eol);
}

TEST_F(SettingsFile, AnEmptyRootMeansTheDefaultRootNeverTheTopOfTheFileSystem) {
  folder.write("ostrel-tftp.ini", "[Server]\nRoot=\n");
  EXPECT_EQ(load_settings(where).root_folder, (folder.path() / "Root").string() + sep);
  config s = load_settings(where);
  set_root_folder(s, where, "");
  EXPECT_EQ(s.root_folder, (folder.path() / "Root").string() + sep);
}

TEST_F(SettingsFile, ValuesAreCutTo259Characters) {
  config s;
  set_root_folder(s, where, std::string(300, 'r'));
  EXPECT_EQ(s.root_folder, std::string(259, 'r') + sep);
  set_log_file_path(s, std::string(300, 'l'));
  EXPECT_EQ(s.log_file_path.size(), 259u);
}

TEST_F(SettingsFile, AnotherSettingsFileKeepsTheDefaultsBesideTheExecutable) {
  fs::path other = folder.path() / "elsewhere" / "my.ini";
  folder.write("elsewhere/my.ini", "[Server]\nLogFile=/tmp/other.csv\n");
  config s = load_settings(locate_settings(exe, other.string()));
  EXPECT_EQ(s.root_folder, (folder.path() / "Root").string() + sep);
  EXPECT_EQ(s.log_file_path, "/tmp/other.csv");
}

#ifndef _WIN32
TEST_F(SettingsFile, AFileThatCannotBeWrittenIsIgnored) {
  fs::create_directories(folder.path() / "ro");
  settings_location ro{(folder.path() / "ro" / "x.ini").string(), folder.path().string()};
  fs::permissions(folder.path() / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  config s{"/a" + sep, "/b"};
  EXPECT_NO_THROW(save_settings(ro, s));
  EXPECT_EQ(s.root_folder, "/a" + sep);
}
#endif

}  // namespace
