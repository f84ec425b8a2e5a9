#pragma once
// The Server Configuration dialog: the root folder and the log file path,
// each with a picker. The edit fields are the working copy; the settings
// change only on OK, which also writes the settings file.

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "settings/settings_file.h"

namespace ostrel::settings {

class config_dialog : public QDialog {
  Q_OBJECT
 public:
  // picker_owner: the window that owns the folder picker (the main window).
  config_dialog(settings& values, const settings_location& where, QWidget* parent = nullptr,
                QWidget* picker_owner = nullptr);

  QLineEdit* root_edit() const { return root_edit_; }
  QLineEdit* log_edit() const { return log_edit_; }
  QPushButton* root_button() const { return root_button_; }
  QPushButton* log_button() const { return log_button_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* cancel_button() const { return cancel_; }

  // OK: both fields into the settings (at most 259 characters each), then
  // the settings file; then the dialog ends with Accepted.
  void accept() override;

  // The pickers; each returns true and updates path when the operator chose.
  static bool browse_root_folder(QWidget* owner, QString& path);
  static bool choose_log_file(QWidget* owner, QString& path);

 private:
  settings& values_;
  const settings_location& where_;
  QWidget* picker_owner_;
  QLineEdit* root_edit_;
  QLineEdit* log_edit_;
  QPushButton* root_button_;
  QPushButton* log_button_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// A field's text as a settings value: at most 259 characters, and never
// more than 259 bytes once encoded, cut at a character boundary.
std::string field_value(const QString& text);

}  // namespace ostrel::settings
