#include "ui/main_window.h"

#include <algorithm>

#include <QEvent>
#include <QKeySequence>
#include <QResizeEvent>
#include <QToolButton>

#include "tftp/tftp_server.h"

namespace ostrel::ui {

namespace {

constexpr int initial_width = 550;
constexpr int initial_height = 400;

// The toolbar shows no tooltips: the label under each image says it all.
class no_tooltips : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

}  // namespace

main_layout layout_main_window(int width, int height, int toolbar_height) {
  int half = (height - toolbar_height) / 2;  // truncates toward zero
  main_layout l;
  l.toolbar = QRect(0, 0, width, toolbar_height);
  l.transfer_list = QRect(0, toolbar_height, width, std::max(0, half));
  l.log_list = QRect(0, toolbar_height + half, width, std::max(0, height - toolbar_height - half));
  return l;
}

main_window::main_window(transfer_model& transfers, QWidget* parent) : QWidget(parent) {
  setWindowTitle(QStringLiteral("Ostrel TFTP Server"));
  resize(initial_width, initial_height);

  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("toolbar"));
  toolbar_->setIconSize(QSize(32, 32));
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  add_command(tftp::command_start_server, QStringLiteral("Start server"), QStringLiteral(":/images/start.svg"));
  add_command(tftp::command_stop_server, QStringLiteral("Stop server"), QStringLiteral(":/images/stop.svg"));
  add_command(tftp::command_clear_log, QStringLiteral("Clear log"), QStringLiteral(":/images/clear-log.svg"));
  add_command(tftp::command_configure, QStringLiteral("Configure"), QStringLiteral(":/images/configure.svg"));
  actions_[tftp::command_start_server]->setEnabled(false);
  actions_[tftp::command_stop_server]->setEnabled(false);
  auto* filter = new no_tooltips(toolbar_);
  for (QAction* a : toolbar_->actions())
    if (QWidget* w = toolbar_->widgetForAction(a)) w->installEventFilter(filter);

  // About: Alt with the character "?" or "/", wherever the focus is in
  // this window. The character may need Shift on the keyboard at hand
  // ("?" mostly does, "/" does on some layouts), which arrives as a
  // modifier of its own.
  auto* about = new QAction(QStringLiteral("About"), this);
  about->setShortcuts({QKeySequence(Qt::ALT | Qt::Key_Question), QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Question),
                       QKeySequence(Qt::ALT | Qt::Key_Slash), QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Slash)});
  about->setShortcutContext(Qt::WindowShortcut);
  connect(about, &QAction::triggered, this, [this] { emit command(tftp::command_about); });
  addAction(about);
  actions_[tftp::command_about] = about;

  transfer_view_ = create_transfer_list(transfers, this);
  log_view_ = new log_list(initial_width, this);

  // The lists are created with no height; resizeEvent places them.
  auto l = layout_main_window(width(), 0, 0);
  transfer_view_->setGeometry(l.transfer_list);
  log_view_->setGeometry(l.log_list);
  setFocusPolicy(Qt::StrongFocus);
}

QAction* main_window::add_command(int id, const QString& text, const QString& image) {
  QAction* a = toolbar_->addAction(QIcon(image), text);
  connect(a, &QAction::triggered, this, [this, id] { emit command(id); });
  actions_[id] = a;
  return a;
}

QAction* main_window::action(int command) const {
  auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

void main_window::enable_button(int command, bool enabled) {
  if (QAction* a = action(command)) a->setEnabled(enabled);
}

void main_window::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  auto l = layout_main_window(event->size().width(), event->size().height(), toolbar_->sizeHint().height());
  toolbar_->setGeometry(l.toolbar);
  transfer_view_->setGeometry(l.transfer_list);
  log_view_->setGeometry(l.log_list);
}

}  // namespace ostrel::ui
