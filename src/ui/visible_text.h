#pragma once
// Texts that come from clients (requested file names inside log messages
// and transfer actions) are shown with their control characters made
// visible, so a name cannot break a row, fake a line or steer a terminal.

#include <string>
#include <string_view>

#include <QString>

namespace ostrel::ui {

// Bytes below 0x20 and 0x7f become "\xNN" (two lower-case hex digits);
// every other byte is kept.
std::string visible_text(std::string_view text);

// visible_text decoded as UTF-8; invalid bytes become replacement characters.
QString display_text(std::string_view text);

}  // namespace ostrel::ui
