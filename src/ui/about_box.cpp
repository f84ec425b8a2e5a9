#include "ui/about_box.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace ostrel::ui {

about_box::about_box(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setObjectName(QStringLiteral("about_box"));

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("about_icon"));
  icon->setPixmap(QIcon(QStringLiteral(":/images/app-icon.svg")).pixmap(32, 32));
  auto* version = new QLabel(QStringLiteral("TFTPServer Version 1.0"), this);
  version->setTextFormat(Qt::PlainText);
  auto* notice = new QLabel(QStringLiteral("Copyright (C) the ostrel-tftp developers"), this);
  notice->setTextFormat(Qt::PlainText);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setDefault(true);
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* grid = new QGridLayout(this);
  grid->setHorizontalSpacing(18);
  grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(version, 0, 1);
  grid->addWidget(notice, 1, 1);
  grid->addWidget(ok, 0, 2, Qt::AlignTop);
  grid->setColumnStretch(1, 1);
  ok->setFocus();
  setSizeGripEnabled(false);
  setFixedSize(sizeHint().expandedTo(QSize(345, 0)));
}

}  // namespace ostrel::ui
