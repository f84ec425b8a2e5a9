#include "settings/config_dialog.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

#include "platform/path.h"

namespace ostrel::settings {

std::string field_value(const QString& text) {
  QString cut = text.left(static_cast<qsizetype>(platform::max_path_length));
  QByteArray bytes = QFile::encodeName(cut);
  while (bytes.size() > static_cast<qsizetype>(platform::max_path_length) && !cut.isEmpty()) {
    cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
    bytes = QFile::encodeName(cut);
  }
  return bytes.toStdString();
}

config_dialog::config_dialog(settings& values, const settings_location& where, QWidget* parent, QWidget* picker_owner)
    : QDialog(parent), values_(values), where_(where), picker_owner_(picker_owner ? picker_owner : parent) {
  setWindowTitle(QStringLiteral("Server Configuration"));
  setObjectName(QStringLiteral("config_dialog"));

  // Created in tab order: root field, its picker, log field, its picker, OK, Cancel.
  auto* root_label = new QLabel(QStringLiteral("Root folder:"), this);
  root_edit_ = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(values_.root_folder)), this);
  root_button_ = new QPushButton(QStringLiteral("..."), this);
  auto* log_label = new QLabel(QStringLiteral("Log file:"), this);
  log_edit_ = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(values_.log_file_path)), this);
  log_button_ = new QPushButton(QStringLiteral("..."), this);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  root_edit_->setObjectName(QStringLiteral("root_edit"));
  log_edit_->setObjectName(QStringLiteral("log_edit"));

  for (QPushButton* b : {root_button_, log_button_}) {
    b->setAutoDefault(false);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
  }
  ok_->setDefault(true);
  cancel_->setAutoDefault(false);
  root_edit_->setMinimumWidth(340);
  log_edit_->setMinimumWidth(340);

  // Fields on the left, OK and Cancel stacked at the top right.
  auto* grid = new QGridLayout(this);
  grid->addWidget(root_label, 0, 0, 1, 2);
  grid->addWidget(root_edit_, 1, 0);
  grid->addWidget(root_button_, 1, 1);
  grid->addWidget(log_label, 3, 0, 1, 2);
  grid->addWidget(log_edit_, 4, 0);
  grid->addWidget(log_button_, 4, 1);
  grid->setRowMinimumHeight(2, 10);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addStretch(1);
  grid->addLayout(buttons, 0, 3, 5, 1);
  grid->setColumnMinimumWidth(2, 40);
  grid->setColumnStretch(0, 1);

  setTabOrder(root_edit_, root_button_);
  setTabOrder(root_button_, log_edit_);
  setTabOrder(log_edit_, log_button_);
  setTabOrder(log_button_, ok_);
  setTabOrder(ok_, cancel_);

  connect(ok_, &QPushButton::clicked, this, &config_dialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(root_button_, &QPushButton::clicked, this, [this] {
    QString path = root_edit_->text().left(static_cast<qsizetype>(platform::max_path_length));
    if (browse_root_folder(picker_owner_, path)) root_edit_->setText(path);
  });
  connect(log_button_, &QPushButton::clicked, this, [this] {
    QString path = log_edit_->text().left(static_cast<qsizetype>(platform::max_path_length));
    if (choose_log_file(this, path)) log_edit_->setText(path);
  });
  root_edit_->setFocus();
}

void config_dialog::accept() {
  set_root_folder(values_, where_, field_value(root_edit_->text()));
  set_log_file_path(values_, field_value(log_edit_->text()));
  save_settings(where_, values_);
  QDialog::accept();
}

bool config_dialog::browse_root_folder(QWidget* owner, QString& path) {
  QString chosen = QFileDialog::getExistingDirectory(owner, QStringLiteral("Select server root folder:"), path,
                                                     QFileDialog::ShowDirsOnly);
  if (chosen.isEmpty()) return false;
  path = QDir::toNativeSeparators(chosen);
  return true;
}

bool config_dialog::choose_log_file(QWidget* owner, QString& path) {
  QFileDialog dialog(owner, QStringLiteral("Select server log file:"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The log is appended to, never overwritten: choosing an existing file asks nothing.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilter(QStringLiteral("Log files (*.csv)"));
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  if (!path.isEmpty()) {
    QFileInfo current(path);
    if (current.dir().exists()) dialog.setDirectory(current.absolutePath());
    dialog.selectFile(current.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return false;
  path = QDir::toNativeSeparators(files.front());
  return true;
}

}  // namespace ostrel::settings
