#pragma once
// The main window: the toolbar on top, the transfer list in the upper half
// of the rest and the log list below, placed by hand on every resize.

#include <map>

#include <QAction>
#include <QRect>
#include <QToolBar>
#include <QTreeView>
#include <QWidget>

#include "ui/log_list.h"
#include "ui/transfer_list.h"

namespace ostrel::ui {

struct main_layout {
  QRect toolbar;
  QRect transfer_list;
  QRect log_list;
};

// Toolbar on top (width x toolbar_height), the transfer list in the upper
// half of the rest, the log list below with the odd pixel. A client area
// shorter than the toolbar gives zero list heights.
main_layout layout_main_window(int width, int height, int toolbar_height);

class main_window : public QWidget {
  Q_OBJECT
 public:
  // Builds the window in start-up order: title and size, the toolbar
  // (Start and Stop disabled), the transfer list, the log list.
  explicit main_window(transfer_model& transfers, QWidget* parent = nullptr);

  QToolBar* toolbar() const { return toolbar_; }
  QTreeView* transfer_view() const { return transfer_view_; }
  log_list& log_view() const { return *log_view_; }
  // The action of a command id (104, 109, 110, 111, 119), or null.
  QAction* action(int command) const;
  void enable_button(int command, bool enabled);

 signals:
  void command(int id);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QAction* add_command(int id, const QString& text, const QString& image);

  QToolBar* toolbar_ = nullptr;
  QTreeView* transfer_view_ = nullptr;
  log_list* log_view_ = nullptr;
  std::map<int, QAction*> actions_;
};

}  // namespace ostrel::ui
