#pragma once
// The transfer list: one row per read transfer with the client, the action,
// a drawn progress bar and the rate. Progress and rate are never stored;
// the delegate reads them from the live transfer at every paint.

#include <cstdint>
#include <optional>

#include <QAbstractTableModel>
#include <QRect>
#include <QString>
#include <QStyledItemDelegate>
#include <QTreeView>

#include "tftp/transfer_rows.h"

namespace ostrel::tftp {
class tftp_transfer;
}

namespace ostrel::ui {

enum transfer_column : int { column_client = 0, column_action = 1, column_progress = 2, column_rate = 3 };

// block_number * 100 / block_count, or nothing when block_count is 0. It
// exceeds 100 on the last block, whose number is block_count + 1.
std::optional<int> progress_percent(std::uint16_t block_number, std::uint16_t block_count);

// The bar inside a progress cell: the cell shrunk by 2 pixels on every side,
// as wide as min(percent, 100) % of that. Nothing (an empty rect) below 1 %,
// for block_count 0, or when the cell is too small to hold a bar.
QRect progress_bar_rect(const QRect& cell, std::uint16_t block_number, std::uint16_t block_count);

// The rate in whole KBytes/sec, the fraction dropped.
QString rate_text(double kbytes_per_second);

// The colour of the bar.
inline constexpr QRgb progress_bar_colour = qRgb(0, 160, 0);

class transfer_model : public QAbstractTableModel, private tftp::transfer_rows::observer {
  Q_OBJECT
 public:
  explicit transfer_model(tftp::transfer_rows& rows, QObject* parent = nullptr);
  ~transfer_model() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The live transfer of a row, or null for a retired row.
  const tftp::tftp_transfer* transfer_at(int row) const;

 private:
  void row_appended(std::size_t index) override;
  void row_retired(std::size_t index) override;
  void rows_about_to_be_removed(std::size_t first, std::size_t last) override;
  void rows_removed() override;

  tftp::transfer_rows& rows_;
  int count_ = 0;  // the rows announced to the views
  int removing_ = 0;
};

class transfer_delegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit transfer_delegate(const transfer_model& model, QObject* parent = nullptr);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const transfer_model& model_;
};

// A QTreeView set up as the transfer list (columns 120/200/100/75, grid,
// whole-row single selection, inert header), showing model.
QTreeView* create_transfer_list(transfer_model& model, QWidget* parent);

// Grid lines along the right and bottom edges of a cell, in the view's grid colour.
void draw_cell_grid(QPainter* painter, const QStyleOptionViewItem& option);

}  // namespace ostrel::ui
