// The log list: icons by kind, safe display, and following the newest row
// only while the previous last row is fully in view.

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QStyle>
#include <QTest>

#include "ui/log_list.h"
#include "ui_support.h"

namespace ostrel::ui {
namespace {

log::log_row event(int i, log::event_kind kind = log::event_kind::info) {
  return {"Sun May 07 14:03:09 2006", kind, "127.0.0.1:1234", "event " + std::to_string(i)};
}

struct shown_log {
  log_list list{550};
  shown_log() {
    list.resize(550, 200);
    list.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
  }
  QScrollBar* bar() { return list.verticalScrollBar(); }
  void append(int from, int count) {
    for (int i = from; i < from + count; ++i) list.append_log_row(event(i));
  }
  bool newest_in_view() {
    QRect r = list.visualRect(list.model()->index(list.model()->rowCount() - 1, 0));
    return r.isValid() && list.viewport()->rect().contains(r);
  }
};

TEST(LogList, ColumnsIconsAndEscapedMessages) {
  log_list list(550);
  const char* headers[] = {"Timestamp", "Client IP", "Message"};
  for (int c = 0; c < 3; ++c)
    EXPECT_EQ(list.model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(), headers[c]);
  EXPECT_GE(list.columnWidth(0), 175);
  EXPECT_EQ(list.columnWidth(1), 120);
  // The message column fills the rest of the 550 pixels it was created
  // with, leaving room for the vertical scroll bar.
  int scroll_bar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
  EXPECT_EQ(list.columnWidth(0) + list.columnWidth(1) + list.columnWidth(2) + 2 * list.frameWidth() + scroll_bar, 550);

  list.append_log_row(event(0, log::event_kind::info));
  list.append_log_row(event(1, log::event_kind::warning));
  list.append_log_row({"", log::event_kind::error, "", std::string("Client wants file: a\nb\x1b]0;x\x07")});
  auto* m = list.model();
  for (int r = 0; r < 3; ++r) ASSERT_FALSE(m->data(m->index(r, 0), Qt::DecorationRole).value<QIcon>().isNull()) << r;
  EXPECT_EQ(m->data(m->index(2, 2), Qt::DisplayRole).toString(),
            QStringLiteral("Client wants file: a\\x0ab\\x1b]0;x\\x07"));
  EXPECT_EQ(m->data(m->index(2, 1), Qt::DisplayRole).toString(), QString());
  // The three kinds have three different pictures.
  auto picture = [&](int r) { return m->data(m->index(r, 0), Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage(); };
  EXPECT_NE(picture(0), picture(1));
  EXPECT_NE(picture(1), picture(2));
  EXPECT_NE(picture(0), picture(2));
}

TEST(LogList, FollowsTheNewestRowOnlyWhileTheLastRowIsInView) {
  shown_log f;
  f.append(0, 100);
  ASSERT_TRUE(ui_test::wait_for([&] { return f.newest_in_view(); }));
  EXPECT_GT(f.bar()->maximum(), 0);

  // Scrolled back by one row: new events leave the view where it is.
  int back = f.bar()->maximum() - 1;
  f.bar()->setValue(back);
  ASSERT_FALSE(f.list.last_row_fully_visible());
  f.append(100, 20);
  QTest::qWait(20);
  EXPECT_EQ(f.bar()->value(), back);
  EXPECT_FALSE(f.newest_in_view());

  // Back at the end: following resumes.
  f.bar()->setValue(f.bar()->maximum());
  f.append(120, 5);
  EXPECT_TRUE(ui_test::wait_for([&] { return f.newest_in_view() && f.bar()->value() == f.bar()->maximum(); }));
  EXPECT_EQ(f.list.model()->rowCount(), 125);
}

TEST(LogList, FollowsInTheWindowAfterStartingHiddenWithNoHeight) {
  // As in the window: created with no height, a first row before it is
  // shown, then laid out and filled by events.
  ui_test::app_fixture f;
  auto& w = f.app->window();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto& list = w.log_view();
  for (int i = 0; i < 40; ++i) {
    f.app->event_log().log_event(nullptr, log::event_kind::info, "event " + std::to_string(i));
    if (i % 7 == 0) QTest::qWait(1);
  }
  auto newest_in_view = [&] {
    QRect r = list.visualRect(list.model()->index(list.model()->rowCount() - 1, 0));
    return r.isValid() && list.viewport()->rect().contains(r);
  };
  EXPECT_TRUE(ui_test::wait_for(newest_in_view));
  // A taller window keeps the newest row in view.
  w.resize(550, 600);
  EXPECT_TRUE(ui_test::wait_for(newest_in_view));
  QTest::qWait(20);
  EXPECT_TRUE(newest_in_view());
}

TEST(LogList, ClearEmptiesTheListAndFollowsAgain) {
  shown_log f;
  f.append(0, 50);
  f.bar()->setValue(0);
  f.list.clear_log_rows();
  EXPECT_EQ(f.list.model()->rowCount(), 0);
  f.append(0, 60);
  EXPECT_TRUE(ui_test::wait_for([&] { return f.newest_in_view(); }));
}

TEST(LogList, AHundredThousandRowsAppendAndTheViewEndsOnTheNewest) {
  shown_log f;
  f.append(0, 100000);
  EXPECT_EQ(f.list.model()->rowCount(), 100000);
  EXPECT_TRUE(ui_test::wait_for([&] { return f.newest_in_view(); }, 10000));
}

}  // namespace
}  // namespace ostrel::ui
