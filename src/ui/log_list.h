#pragma once
// The log list: one row per event (timestamp, client, message) with the
// information, warning or error icon of its kind. Rows live in a vector
// behind a table model, so tens of thousands of them append and scroll
// without one widget item each.

#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QTreeView>

#include "log/log_row.h"

namespace ostrel::ui {

class log_model : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit log_model(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void append(const log::log_row& row);
  void clear();
  const log::log_row& row(int i) const { return rows_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<log::log_row> rows_;
  QIcon icons_[3];  // by event_kind
};

// The view of the log list and the engine's log_view: it appends rows and
// follows the newest one only while the previous last row is fully in view,
// so an operator who has scrolled back to older rows is left there.
class log_list : public QTreeView, public log::log_view {
  Q_OBJECT
 public:
  // client_width: the width the list is created with; the "Message" column
  // fills what "Timestamp" and "Client IP" leave of it, once.
  log_list(int client_width, QWidget* parent = nullptr);

  void append_log_row(const log::log_row& row) override;
  void clear_log_rows() override;

  log_model& model_rows() { return model_; }
  // Whether the last row lies fully inside the viewport now.
  bool last_row_fully_visible() const;
  bool following() const { return following_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void request_scroll();
  void scroll_to_newest();
  void view_moved();

  log_model model_;
  bool following_ = true;
  bool scroll_pending_ = false;
};

}  // namespace ostrel::ui
