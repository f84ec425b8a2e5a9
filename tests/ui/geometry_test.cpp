// The pure rules behind the window: the split of the client area, the
// progress bar's rectangle, the rate's text and the safe display of names.

#include <gtest/gtest.h>

#include "ui/main_window.h"
#include "ui/transfer_list.h"
#include "ui/visible_text.h"

namespace ostrel::ui {
namespace {

TEST(LayoutMainWindow, SplitsTheRestBelowTheToolbarWithTheOddPixelForTheLog) {
  struct layout_case {
    int width, height, toolbar;
    QRect transfers, log;
  };
  const layout_case cases[] = {
      {400, 300, 55, {0, 55, 400, 122}, {0, 177, 400, 123}},
      {400, 301, 55, {0, 55, 400, 123}, {0, 178, 400, 123}},
      {550, 400, 0, {0, 0, 550, 200}, {0, 200, 550, 200}},
      // Shorter than the toolbar (a minimised window): zero heights, never negative.
      {0, 0, 55, {0, 55, 0, 0}, {0, 28, 0, 0}},
      {300, 40, 55, {0, 55, 300, 0}, {0, 48, 300, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " under " << c.toolbar);
    auto l = layout_main_window(c.width, c.height, c.toolbar);
    EXPECT_EQ(l.toolbar, QRect(0, 0, c.width, c.toolbar));
    EXPECT_EQ(l.transfer_list, c.transfers);
    EXPECT_EQ(l.log_list, c.log);
  }
}

TEST(ProgressBar, FillsThePercentOfTheCellShrunkByTwoPixels) {
  struct bar_case {
    QRect cell;
    std::uint16_t block_number, block_count;
    QRect bar;  // empty: nothing drawn
  };
  const bar_case cases[] = {
      // Half way through ten blocks in a 100-pixel cell: inner 96, bar 48.
      {{0, 0, 100, 20}, 5, 10, {2, 2, 48, 16}},
      {{300, 40, 100, 20}, 5, 10, {302, 42, 48, 16}},
      // Block 1 of 150: percent 0, no bar.
      {{0, 0, 100, 20}, 1, 150, {}},
      // A file shorter than one block (block_count 0): never a bar, no division.
      {{0, 0, 100, 20}, 1, 0, {}},
      {{0, 0, 100, 20}, 0, 0, {}},
      // The last block of a 1000-byte file is 200 %: capped at the inner width.
      {{0, 0, 100, 20}, 2, 1, {2, 2, 96, 16}},
      {{0, 0, 100, 20}, 101, 100, {2, 2, 96, 16}},
      {{0, 0, 100, 20}, 100, 100, {2, 2, 96, 16}},
      // Integer division: 99 % of 96 is 95 pixels; 1 % of 96 is none.
      {{0, 0, 100, 20}, 99, 100, {2, 2, 95, 16}},
      {{0, 0, 100, 20}, 1, 100, {}},
      // A column dragged too narrow for a bar.
      {{0, 0, 4, 20}, 5, 10, {}},
      // Block numbers up to 65535 do not overflow the percent.
      {{0, 0, 100, 20}, 65535, 65535, {2, 2, 96, 16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block_number << " of " << c.block_count << " in width "
                                    << c.cell.width());
    QRect bar = progress_bar_rect(c.cell, c.block_number, c.block_count);
    if (c.bar.isEmpty()) {
      EXPECT_TRUE(bar.isEmpty()) << bar.x() << "," << bar.y() << " " << bar.width() << "x" << bar.height();
    } else {
      EXPECT_EQ(bar, c.bar);
    }
  }
}

TEST(ProgressBar, PercentIsOnlyWorkedOutForANonZeroBlockCount) {
  EXPECT_FALSE(progress_percent(7, 0).has_value());
  EXPECT_EQ(progress_percent(5, 10), 50);
  EXPECT_EQ(progress_percent(2, 1), 200);
  EXPECT_EQ(progress_percent(1, 150), 0);
}

TEST(RateText, ShowsTheWholeNumberPart) {
  const std::pair<double, const char*> cases[] = {
      {123.9, "123"}, {0.7, "0"}, {0.0, "0"}, {999999999.99, "999999999"}, {4096.0, "4096"},
  };
  for (const auto& [rate, text] : cases) EXPECT_EQ(rate_text(rate).toStdString(), text) << rate;
}

TEST(VisibleText, ControlCharactersAreShownAsHexEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"boot.bin", "boot.bin"},
      {"a\nb", "a\\x0ab"},
      {"\x1b[31mred", "\\x1b[31mred"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"del\x7f", "del\\x7f"},
      {"tab\there\r", "tab\\x09here\\x0d"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},  // UTF-8 is kept as it is
  };
  for (const auto& [raw, shown] : cases) EXPECT_EQ(visible_text(raw), shown);
}

TEST(VisibleText, DisplayTextDecodesUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(display_text("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
  QString broken = display_text("a\xff" "b");
  EXPECT_EQ(broken.size(), 3);
  EXPECT_EQ(broken.at(1), QChar(QChar::ReplacementCharacter));
  EXPECT_EQ(display_text("x\n"), QStringLiteral("x\\x0a"));
}

}  // namespace
}  // namespace ostrel::ui
