// The desktop program as a whole: the toolbar as the server starts and
// stops, Clear log, the About box on its accelerators, and a real transfer
// through the window's socket notifiers and timers, drawn in the list.

#include <gtest/gtest.h>

#include <fstream>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/udp_socket.h"
#include "tftp/tftp_transfer.h"
#include "ui/about_box.h"
#include "ui_support.h"

namespace ostrel::ui_test {
namespace {

using tftp::command_clear_log;
using tftp::command_configure;
using tftp::command_start_server;
using tftp::command_stop_server;

TEST(Window, StartUpBuildsTheWindowAndStartsTheServer) {
  app_fixture f;
  auto& w = f.app->window();
  EXPECT_EQ(w.windowTitle(), "Ostrel TFTP Server");
  EXPECT_EQ(w.size(), QSize(550, 400));
  EXPECT_EQ(w.toolbar()->iconSize(), QSize(32, 32));
  EXPECT_EQ(w.toolbar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
  std::vector<std::string> texts;
  for (QAction* a : w.toolbar()->actions()) texts.push_back(a->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"Start server", "Stop server", "Clear log", "Configure"}));
  const char* headers[] = {"Client IP", "Action", "Progress", "KBytes/sec"};
  const int widths[] = {120, 200, 100, 75};
  for (int c = 0; c < 4; ++c) {
    EXPECT_EQ(w.transfer_view()->model()->headerData(c, Qt::Horizontal).toString().toStdString(), headers[c]);
    EXPECT_EQ(w.transfer_view()->columnWidth(c), widths[c]);
  }

  EXPECT_TRUE(f.app->control().running());
  EXPECT_FALSE(f.enabled(command_start_server));
  EXPECT_TRUE(f.enabled(command_stop_server));
  EXPECT_TRUE(f.enabled(command_clear_log));
  EXPECT_TRUE(f.enabled(command_configure));
  EXPECT_EQ(f.log_messages(), (std::vector<std::string>{"TFTP server started"}));

  // The lists are placed by the window's own layout, under the toolbar.
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  int t = w.toolbar()->height();
  auto l = ui::layout_main_window(w.width(), w.height(), t);
  EXPECT_EQ(w.transfer_view()->geometry(), l.transfer_list);
  EXPECT_EQ(w.log_view().geometry(), l.log_list);
  w.resize(500, 300);
  l = ui::layout_main_window(500, 300, t);
  EXPECT_EQ(w.log_view().geometry(), l.log_list);
}

TEST(Window, StopAndStartSwitchTheToolbar) {
  app_fixture f;
  f.app->window().action(command_stop_server)->trigger();
  EXPECT_FALSE(f.app->control().running());
  EXPECT_TRUE(f.enabled(command_start_server));
  EXPECT_FALSE(f.enabled(command_stop_server));
  EXPECT_EQ(f.log_messages().back(), "TFTP server stopped");

  f.app->window().action(command_start_server)->trigger();
  EXPECT_TRUE(f.app->control().running());
  EXPECT_FALSE(f.enabled(command_start_server));
  EXPECT_TRUE(f.enabled(command_stop_server));
  EXPECT_EQ(f.log_messages().back(), "TFTP server started");
}

TEST(Window, AFailedStartAtLaunchLeavesStartAndStopDisabled) {
  // Someone else holds the port.
  auto holder = platform::create_udp_socket();
  ASSERT_TRUE(platform::bind_socket(holder, 0));
  std::uint16_t port = platform::local_port(holder);

  app_fixture f(port);
  platform::close_socket(holder);
  EXPECT_FALSE(f.app->control().running());
  EXPECT_FALSE(f.enabled(command_start_server));
  EXPECT_FALSE(f.enabled(command_stop_server));
  EXPECT_TRUE(f.enabled(command_clear_log));
  EXPECT_TRUE(f.enabled(command_configure));
  auto& rows = f.app->log_rows();
  ASSERT_EQ(rows.rowCount(), 1);
  EXPECT_EQ(rows.row(0).kind, log::event_kind::error);
  EXPECT_EQ(rows.row(0).message.rfind("Can't bind server socket (code ", 0), 0u) << rows.row(0).message;
  // The failure reached the log file, which is closed again.
  EXPECT_FALSE(f.app->event_log().log_file_open());
  EXPECT_NE(read_file(f.log_file()).find("Can't bind server socket"), std::string::npos);
}

TEST(Window, ClearLogEmptiesTheListAndStartsTheFileAfresh) {
  app_fixture f;
  f.app->window().action(command_stop_server)->trigger();
  f.app->window().action(command_start_server)->trigger();
  ASSERT_EQ(f.app->log_rows().rowCount(), 3);

  f.app->window().action(command_clear_log)->trigger();
  EXPECT_EQ(f.app->log_rows().rowCount(), 0);
  EXPECT_TRUE(f.app->event_log().log_file_open());
  f.app->window().action(command_stop_server)->trigger();
  std::string csv = read_file(f.log_file());
  EXPECT_EQ(csv.rfind("Timestamp,Event,Client,Message\r\n", 0), 0u);
  EXPECT_EQ(csv.find("TFTP server started"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",Info,,\"TFTP server stopped\"\r\n"), std::string::npos) << csv;
  EXPECT_EQ(f.log_messages(), (std::vector<std::string>{"TFTP server stopped"}));
}

TEST(Window, AboutBoxOpensOnAltSlashAndAltQuestionMark) {
  app_fixture f;
  auto& w = f.app->window();
  std::vector<std::string> opened;
  f.app->set_dialog_runner([&](QDialog& d) {
    opened.push_back(d.windowTitle().toStdString());
    return int(QDialog::Accepted);
  });
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

  QTest::keyClick(&w, Qt::Key_Slash, Qt::AltModifier);
  EXPECT_EQ(opened.size(), 1u);
  // "?" arrives with Shift on most keyboards, and without it on some.
  QTest::keyClick(&w, Qt::Key_Question, Qt::AltModifier | Qt::ShiftModifier);
  EXPECT_EQ(opened.size(), 2u);
  QTest::keyClick(&w, Qt::Key_Question, Qt::AltModifier);
  EXPECT_EQ(opened.size(), 3u);
  // Also while a list has the focus.
  w.log_view().setFocus();
  QTest::keyClick(&w.log_view(), Qt::Key_Slash, Qt::AltModifier);
  EXPECT_EQ(opened.size(), 4u);
  // Plain "/" and Alt with another character are no accelerators.
  QTest::keyClick(&w, Qt::Key_Slash);
  QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
  EXPECT_EQ(opened.size(), 4u);
  for (const auto& title : opened) EXPECT_EQ(title, "About");
}

TEST(Window, AboutBoxShowsItsTextsAndClosesWithEscapeAndEnter) {
  app_fixture f;
  auto& w = f.app->window();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<ui::about_box*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      seen = true;
      QStringList texts;
      for (auto* label : box->findChildren<QLabel*>()) texts << label->text();
      EXPECT_TRUE(texts.contains("TFTPServer Version 1.0"));
      auto* icon = box->findChild<QLabel*>("about_icon");
      ASSERT_NE(icon, nullptr);
      EXPECT_FALSE(icon->pixmap().isNull());
      auto buttons = box->findChildren<QPushButton*>();
      ASSERT_EQ(buttons.size(), 1);
      EXPECT_EQ(buttons[0]->text(), "OK");
      QTest::keyClick(box, key);
    });
    // Returns only once the box has closed.
    f.app->run_command(tftp::command_about);
    EXPECT_TRUE(seen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

// The file for the transfer below: ten whole blocks and a short one, so
// block_count is 10 and the percent is block_number * 10.
std::string ten_blocks() { return harness::pattern_bytes(10 * 512 + 100); }

std::uint16_t block_of(const std::string& packet) {
  return static_cast<std::uint16_t>((static_cast<unsigned char>(packet[2]) << 8) | static_cast<unsigned char>(packet[3]));
}

// Green pixels of the bar colour on the middle scan line of a cell.
int bar_pixels(const QImage& image, const QRect& cell) {
  int y = cell.center().y(), count = 0;
  for (int x = cell.left(); x <= cell.right(); ++x)
    if (image.pixel(x, y) == ui::progress_bar_colour) ++count;
  return count;
}

TEST(Window, ATransferShowsItsRowAndProgressAndIsPurgedAfterItEnds) {
  app_fixture f;
  std::ofstream(f.root() / "ten.bin", std::ios::binary) << ten_blocks();
  auto& w = f.app->window();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto& host = f.app->host();
  auto& model = f.app->transfers();

  harness::udp_peer client;
  client.send_to(f.app->control().port(), harness::rrq("ten.bin"));
  auto data = receive_while_running(client);
  ASSERT_TRUE(data.has_value());
  ASSERT_EQ(block_of(data->bytes), 1);

  ASSERT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString().toStdString(),
            "127.0.0.1:" + std::to_string(client.port()));
  EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "GET ten.bin");
  EXPECT_TRUE(host.timer_running(tftp::transfer_tick_timer));
  EXPECT_EQ(host.timer_interval(tftp::transfer_tick_timer), 200);
  EXPECT_TRUE(host.timer_running(tftp::purge_timer));
  EXPECT_EQ(host.timer_interval(tftp::purge_timer), 5000);

  // Acknowledge blocks 1 to 4: block 5 of 10 is out, 50 %.
  for (std::uint16_t b = 1; b <= 4; ++b) {
    client.send_to(data->from_port, harness::ack(b));
    data = receive_while_running(client);
    ASSERT_TRUE(data.has_value());
    ASSERT_EQ(block_of(data->bytes), b + 1);
  }
  const tftp::tftp_transfer* t = model.transfer_at(0);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->block_number(), 5);
  ASSERT_EQ(t->block_count(), 10);

  auto* view = w.transfer_view();
  QRect cell = view->visualRect(model.index(0, ui::column_progress));
  ASSERT_EQ(cell.width(), 100);
  QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(bar_pixels(shot, cell), 48);
  // No bar anywhere else in the row.
  EXPECT_EQ(bar_pixels(shot, view->visualRect(model.index(0, ui::column_rate))), 0);

  // To the end: the row is retired, its cells empty, timer 0 stops, timer 1 runs on.
  while (block_of(data->bytes) != 11) {
    client.send_to(data->from_port, harness::ack(block_of(data->bytes)));
    data = receive_while_running(client);
    ASSERT_TRUE(data.has_value());
  }
  client.send_to(data->from_port, harness::ack(11));
  ASSERT_TRUE(wait_for([&] { return model.transfer_at(0) == nullptr; }));
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(f.log_messages().back().rfind("Transfer completed, 5220 bytes", 0), 0u) << f.log_messages().back();
  EXPECT_FALSE(host.timer_running(tftp::transfer_tick_timer));
  EXPECT_TRUE(host.timer_running(tftp::purge_timer));
  shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(bar_pixels(shot, cell), 0);
  EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "GET ten.bin");

  // Timer 1 fires: the retired row goes and, the list being empty, the timer stops.
  f.app->control().on_timer(tftp::purge_timer);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_FALSE(host.timer_running(tftp::purge_timer));
}

TEST(Window, StoppingWithATransferRunningRetiresItsRowAndUnwatchesItsSocket) {
  app_fixture f;
  std::ofstream(f.root() / "ten.bin", std::ios::binary) << ten_blocks();
  harness::udp_peer client;
  client.send_to(f.app->control().port(), harness::rrq("ten.bin"));
  ASSERT_TRUE(receive_while_running(client).has_value());
  EXPECT_EQ(f.app->host().watched_count(), 2u);  // listening socket and the transfer's own

  f.app->window().action(command_stop_server)->trigger();
  EXPECT_EQ(f.app->host().watched_count(), 0u);
  EXPECT_EQ(f.app->transfers().transfer_at(0), nullptr);
  EXPECT_FALSE(f.app->host().timer_running(tftp::transfer_tick_timer));
  EXPECT_FALSE(f.app->host().timer_running(tftp::purge_timer));
  QTest::qWait(10);  // the notifiers are deleted once back in the loop
}

}  // namespace
}  // namespace ostrel::ui_test
