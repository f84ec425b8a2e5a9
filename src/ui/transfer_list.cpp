#include "ui/transfer_list.h"

#include <algorithm>
#include <cmath>

#include <QHeaderView>
#include <QPainter>

#include "tftp/tftp_transfer.h"
#include "ui/visible_text.h"

namespace ostrel::ui {

std::optional<int> progress_percent(std::uint16_t block_number, std::uint16_t block_count) {
  if (block_count == 0) return std::nullopt;
  return static_cast<int>(block_number) * 100 / static_cast<int>(block_count);
}

QRect progress_bar_rect(const QRect& cell, std::uint16_t block_number, std::uint16_t block_count) {
  auto percent = progress_percent(block_number, block_count);
  if (!percent || *percent < 1) return {};
  int inner_width = cell.width() - 4;
  int inner_height = cell.height() - 4;
  if (inner_width <= 0 || inner_height <= 0) return {};
  int bar_width = inner_width * std::min(*percent, 100) / 100;
  if (bar_width <= 0) return {};
  return QRect(cell.x() + 2, cell.y() + 2, bar_width, inner_height);
}

QString rate_text(double kbytes_per_second) {
  if (!std::isfinite(kbytes_per_second) || kbytes_per_second < 0) return QStringLiteral("0");
  return QString::number(static_cast<qulonglong>(std::trunc(kbytes_per_second)));
}

// ---------------------------------------------------------------------------

transfer_model::transfer_model(tftp::transfer_rows& rows, QObject* parent) : QAbstractTableModel(parent), rows_(rows) {
  count_ = static_cast<int>(rows_.size());
  rows_.set_observer(this);
}

transfer_model::~transfer_model() { rows_.set_observer(nullptr); }

int transfer_model::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count_; }

int transfer_model::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

const tftp::tftp_transfer* transfer_model::transfer_at(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return rows_[static_cast<std::size_t>(row)].transfer;
}

QVariant transfer_model::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size()) return {};
  const auto& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      if (index.column() == column_client) return display_text(row.client);
      if (index.column() == column_action) return display_text(row.action);
      return {};  // progress and rate are drawn, never stored
    case Qt::TextAlignmentRole:
      if (index.column() == column_rate) return QVariant::fromValue(Qt::AlignRight | Qt::AlignTop);
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant transfer_model::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    switch (section) {
      case column_client: return QStringLiteral("Client IP");
      case column_action: return QStringLiteral("Action");
      case column_progress: return QStringLiteral("Progress");
      case column_rate: return QStringLiteral("KBytes/sec");
      default: return {};
    }
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(section == column_rate ? (Qt::AlignRight | Qt::AlignVCenter)
                                                      : (Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

void transfer_model::row_appended(std::size_t index) {
  int row = static_cast<int>(index);
  beginInsertRows({}, row, row);
  ++count_;
  endInsertRows();
}

void transfer_model::row_retired(std::size_t index) {
  int row = static_cast<int>(index);
  emit dataChanged(this->index(row, 0), this->index(row, 3));
}

void transfer_model::rows_about_to_be_removed(std::size_t first, std::size_t last) {
  removing_ = static_cast<int>(last - first + 1);
  beginRemoveRows({}, static_cast<int>(first), static_cast<int>(last));
}

void transfer_model::rows_removed() {
  count_ -= removing_;
  removing_ = 0;
  endRemoveRows();
}

// ---------------------------------------------------------------------------

void draw_cell_grid(QPainter* painter, const QStyleOptionViewItem& option) {
  QColor grid = option.palette.color(QPalette::Mid);
  painter->save();
  painter->setPen(grid);
  const QRect& r = option.rect;
  painter->drawLine(r.topRight(), r.bottomRight());
  painter->drawLine(r.bottomLeft(), r.bottomRight());
  painter->restore();
}

transfer_delegate::transfer_delegate(const transfer_model& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {}

void transfer_delegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  int column = index.column();
  if (column == column_client || column == column_action) {
    QStyledItemDelegate::paint(painter, option, index);
    draw_cell_grid(painter, option);
    return;
  }

  // The cell's background (selection included), then what the live transfer shows now.
  QStyleOptionViewItem opt = option;
  initStyleOption(&opt, index);
  const QWidget* widget = opt.widget;
  QStyle* style = widget ? widget->style() : nullptr;
  if (style) style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

  const tftp::tftp_transfer* t = model_.transfer_at(index.row());
  if (t) {
    auto percent = progress_percent(t->block_number(), t->block_count());
    if (percent && *percent >= 1) {
      if (column == column_progress) {
        QRect bar = progress_bar_rect(option.rect, t->block_number(), t->block_count());
        if (!bar.isEmpty()) painter->fillRect(bar, QColor(progress_bar_colour));
      } else {
        bool selected = opt.state & QStyle::State_Selected;
        painter->save();
        painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        painter->drawText(option.rect, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                          rate_text(t->transfer_rate()));
        painter->restore();
      }
    }
  }
  draw_cell_grid(painter, option);
}

// ---------------------------------------------------------------------------

QTreeView* create_transfer_list(transfer_model& model, QWidget* parent) {
  auto* view = new QTreeView(parent);
  view->setObjectName(QStringLiteral("transfer_list"));
  view->setModel(&model);
  view->setItemDelegate(new transfer_delegate(model, view));
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setAllColumnsShowFocus(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSortingEnabled(false);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QHeaderView* header = view->header();
  header->setSectionsClickable(false);
  header->setSectionsMovable(false);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  const int widths[] = {120, 200, 100, 75};
  for (int c = 0; c < 4; ++c) view->setColumnWidth(c, widths[c]);
  return view;
}

}  // namespace ostrel::ui
