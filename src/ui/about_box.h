#pragma once

#include <QDialog>

namespace ostrel::ui {

// The About box: the application icon, the version line, the maker's
// notice and OK (Enter and Esc close it too).
class about_box : public QDialog {
  Q_OBJECT
 public:
  explicit about_box(QWidget* parent = nullptr);
};

}  // namespace ostrel::ui
