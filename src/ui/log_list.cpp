#include "ui/log_list.h"

#include <algorithm>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>

#include "ui/transfer_list.h"
#include "ui/visible_text.h"

namespace ostrel::ui {

namespace {

class grid_delegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    draw_cell_grid(painter, option);
  }
};

}  // namespace

log_model::log_model(QObject* parent) : QAbstractTableModel(parent) {
  QStyle* style = QApplication::style();
  icons_[0] = style->standardIcon(QStyle::SP_MessageBoxInformation);
  icons_[1] = style->standardIcon(QStyle::SP_MessageBoxWarning);
  icons_[2] = style->standardIcon(QStyle::SP_MessageBoxCritical);
}

int log_model::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int log_model::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant log_model::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
  const auto& r = rows_[static_cast<std::size_t>(index.row())];
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case 0: return display_text(r.timestamp);
      case 1: return display_text(r.client);
      case 2: return display_text(r.message);
      default: return {};
    }
  }
  if (role == Qt::DecorationRole && index.column() == 0) {
    int kind = static_cast<int>(r.kind);
    if (kind >= 0 && kind < 3) return icons_[kind];
  }
  return {};
}

QVariant log_model::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0: return QStringLiteral("Timestamp");
    case 1: return QStringLiteral("Client IP");
    case 2: return QStringLiteral("Message");
    default: return {};
  }
}

void log_model::append(const log::log_row& row) {
  int at = static_cast<int>(rows_.size());
  beginInsertRows({}, at, at);
  rows_.push_back(row);
  endInsertRows();
}

void log_model::clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  endResetModel();
}

// ---------------------------------------------------------------------------

log_list::log_list(int client_width, QWidget* parent) : QTreeView(parent) {
  setObjectName(QStringLiteral("log_list"));
  setModel(&model_);
  setItemDelegate(new grid_delegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setIconSize(QSize(16, 16));
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);

  QHeaderView* h = header();
  h->setSectionsClickable(false);
  h->setSectionsMovable(false);
  h->setStretchLastSection(false);
  h->setSectionResizeMode(QHeaderView::Interactive);
  // 175 pixels, or what a timestamp with its icon needs in a wider font.
  int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  int timestamp_width = std::max(
      175, fontMetrics().horizontalAdvance(QStringLiteral("Wed Sep 30 00:00:00 2000")) + 16 + 6 * margin + 8);
  setColumnWidth(0, timestamp_width);
  setColumnWidth(1, 120);
  // The message column takes the rest of the list's width at creation,
  // but never less than its header needs; later resizes leave it alone.
  // Room is left for the vertical scroll bar that the rows soon bring.
  int scroll_bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  int rest = client_width - 2 * frameWidth() - scroll_bar - timestamp_width - 120;
  setColumnWidth(2, std::max(rest, h->sectionSizeHint(2)));

  // Only a move of the view (by the operator, or a clamp when rows go)
  // decides whether the list follows; a range that grows because rows
  // arrived or the layout caught up keeps a following list at the end.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { view_moved(); });
  connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
    if (following_) request_scroll();
  });
}

bool log_list::last_row_fully_visible() const {
  // Rows have one height, so the last row is fully in view exactly when the
  // view is scrolled to its end (or everything fits).
  const QScrollBar* bar = verticalScrollBar();
  return bar->value() >= bar->maximum();
}

void log_list::view_moved() {
  // Arriving rows only widen the range; a change of the value is a move of
  // the view, which decides (a pending scroll then does nothing if it left the end).
  following_ = last_row_fully_visible();
}

void log_list::append_log_row(const log::log_row& row) {
  model_.append(row);
  if (following_) request_scroll();
}

void log_list::request_scroll() {
  if (scroll_pending_) return;
  // One scroll per pass of the event loop, however many rows arrive in it.
  scroll_pending_ = true;
  QTimer::singleShot(0, this, [this] { scroll_to_newest(); });
}

void log_list::scroll_to_newest() {
  scroll_pending_ = false;
  if (!following_) return;
  // Lay the rows out and size the scroll bar first, so the end is the real one.
  executeDelayedItemsLayout();
  updateGeometries();
  scrollToBottom();
  following_ = true;
}

void log_list::clear_log_rows() {
  model_.clear();
  following_ = true;
}

void log_list::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  if (following_) request_scroll();
}

}  // namespace ostrel::ui
