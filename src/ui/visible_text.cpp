#include "ui/visible_text.h"

namespace ostrel::ui {

std::string visible_text(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      shown += "\\x";
      shown += hex[byte >> 4];
      shown += hex[byte & 0x0f];
    } else {
      shown += c;
    }
  }
  return shown;
}

QString display_text(std::string_view text) {
  std::string shown = visible_text(text);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace ostrel::ui
