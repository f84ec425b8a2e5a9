// The event log: rows, the CSV file, clearing.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine_harness.h"
#include "log/csv.h"
#include "log/event_log.h"

using namespace ostrel;
using namespace ostrel::log;
namespace fs = std::filesystem;

namespace {

// An RFC 4180 reader: records of fields; quoted fields may hold commas,
// doubled quotes and line breaks.
std::vector<std::vector<std::string>> read_csv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false, field_started = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"' && !field_started) {
      quoted = field_started = true;
    } else if (c == ',') {
      record.push_back(field);
      field.clear();
      field_started = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(field);
      records.push_back(record);
      record.clear();
      field.clear();
      field_started = false;
      ++i;
    } else {
      field += c;
      field_started = true;
    }
  }
  return records;
}

class EventLog : public ::testing::Test {
 protected:
  harness::temp_folder folder;
  std::string path = (folder.path() / "Log.csv").string();
  harness::recording_log_view view;
  std::time_t fixed_time = 0;
  event_log log{view, path, [this] { return fixed_time; }};
  platform::ipv4_address client = platform::make_address(0xC0000201, 1234);  // 192.0.2.1:1234
};

TEST(Timestamp, IsTheAsctimeFormWithAZeroPaddedDay) {
  std::tm t{};
  t.tm_year = 2006 - 1900;
  t.tm_mon = 4;
  t.tm_mday = 7;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_sec = 9;
  t.tm_wday = 0;
  EXPECT_EQ(format_timestamp(t), "Sun May 07 14:03:09 2006");
  t.tm_mon = 3, t.tm_mday = 4, t.tm_wday = 2, t.tm_hour = 9, t.tm_min = 5, t.tm_sec = 7;
  EXPECT_EQ(format_timestamp(t), "Tue Apr 04 09:05:07 2006");
}

TEST_F(EventLog, RowsCarryTimestampKindClientAndMessage) {
  std::tm t{};
  t.tm_year = 106, t.tm_mon = 4, t.tm_mday = 7, t.tm_hour = 14, t.tm_min = 3, t.tm_sec = 9, t.tm_isdst = -1;
  fixed_time = std::mktime(&t);  // local time, as the log shows it
  log.log_event(&client, event_kind::warning, "Client ACK is out-of-sequence");
  log.log_event(nullptr, event_kind::info, "TFTP server started");
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[0].timestamp, "Sun May 07 14:03:09 2006");
  EXPECT_EQ(view.rows[0].client, "192.0.2.1:1234");
  EXPECT_EQ(view.rows[0].kind, event_kind::warning);
  EXPECT_EQ(view.rows[1].client, "");
}

TEST_F(EventLog, TheHeaderIsWrittenOnlyToAnEmptyFileAndLinesAreAppended) {
  log.open_log_file();
  log.log_event(nullptr, event_kind::info, "TFTP server started");
  log.close_log_file();
  std::string first = harness::read_file(path);
  ASSERT_EQ(first.rfind("Timestamp,Event,Client,Message\r\n", 0), 0u);

  log.open_log_file();
  log.log_event(&client, event_kind::error, "File not found");
  log.close_log_file();
  auto records = read_csv(harness::read_file(path));
  ASSERT_EQ(records.size(), 3u) << "one header, two events";
  EXPECT_EQ(records[2], (std::vector<std::string>{view.rows[1].timestamp, "Error", "192.0.2.1:1234", "File not found"}));
  EXPECT_EQ(records[1][2], "") << "an event without a client has an empty third field";

  fs::resize_file(path, 0);
  log.open_log_file();
  log.close_log_file();
  EXPECT_EQ(harness::read_file(path), "Timestamp,Event,Client,Message\r\n") << "an existing empty file gets the header";
}

TEST_F(EventLog, AnyMessageReadsBackAsExactlyOneField) {
  const std::string hostile[] = {
      "Transfer completed, 1000 bytes in 2.00 seconds (0.50 KBytes/sec)",
      "Client wants file: a\"b.bin",
      "Client wants file: x\",Error,,\"forged",
      "Client wants file: line\r\nTue Apr 04 09:05:07 2006,Info,,\"forged\"",
      "Client wants file: \"\"",
  };
  log.open_log_file();
  for (const auto& m : hostile) log.log_event(&client, event_kind::info, m);
  log.close_log_file();
  auto records = read_csv(harness::read_file(path));
  ASSERT_EQ(records.size(), 1 + std::size(hostile));
  for (std::size_t i = 0; i < std::size(hostile); ++i) {
    ASSERT_EQ(records[i + 1].size(), 4u) << hostile[i];
    EXPECT_EQ(records[i + 1][1], "Info");
    EXPECT_EQ(records[i + 1][3], hostile[i]);
  }
  EXPECT_EQ(view.rows[1].message, hostile[1]) << "the row shows the text unchanged";
}

TEST_F(EventLog, LinesWaitInTheBufferUntilTheFileIsClosed) {
  log.open_log_file();
  log.log_event(nullptr, event_kind::info, "TFTP server started");
  EXPECT_EQ(harness::read_file(path), "") << "no flush per event";
  log.close_log_file();
  EXPECT_NE(harness::read_file(path).find("TFTP server started"), std::string::npos);
}

TEST_F(EventLog, AFileThatCannotBeOpenedIsReportedToTheListOnly) {
  std::string bad = (folder.path() / "missing" / "Log.csv").string();
  event_log bad_log(view, bad);
  bad_log.open_log_file();
  EXPECT_FALSE(bad_log.log_file_open());
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0].kind, event_kind::error);
  EXPECT_EQ(view.rows[0].message, "Can't create or open log file");
  EXPECT_EQ(view.rows[0].client, "");
}

TEST_F(EventLog, ClearLogRecreatesTheFileWithOnlyTheHeaderAndEmptiesTheList) {
  log.open_log_file();
  log.log_event(nullptr, event_kind::info, "TFTP server started");
  log.clear_log();
  EXPECT_TRUE(view.rows.empty());
  EXPECT_TRUE(log.log_file_open()) << "the file stays open after clearing";
  log.log_event(nullptr, event_kind::info, "after");
  log.close_log_file();
  auto records = read_csv(harness::read_file(path));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1][3], "after");
}

TEST_F(EventLog, ClearLogWhenTheFileCannotBeRecreatedLeavesAnEmptyList) {
  std::string bad = (folder.path() / "missing" / "Log.csv").string();
  event_log bad_log(view, bad);
  bad_log.log_event(nullptr, event_kind::info, "before");
  bad_log.clear_log();
  EXPECT_TRUE(view.rows.empty()) << "the Error row of the failed reopen goes with the rest";
  EXPECT_FALSE(bad_log.log_file_open());
}

TEST_F(EventLog, ANewPathTakesEffectAtTheNextOpen) {
  std::string configured = path;
  event_log l(view, configured);
  l.open_log_file();
  l.log_event(nullptr, event_kind::info, "first");
  configured = (folder.path() / "second.csv").string();
  l.open_log_file();
  l.log_event(nullptr, event_kind::info, "second");
  l.close_log_file();
  EXPECT_NE(harness::read_file(path).find("first"), std::string::npos);
  EXPECT_NE(harness::read_file(configured).find("second"), std::string::npos);
  EXPECT_EQ(harness::read_file(configured).find("first"), std::string::npos);
}

}  // namespace
