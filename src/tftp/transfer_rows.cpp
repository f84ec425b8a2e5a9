#include "tftp/transfer_rows.h"

#include <algorithm>

namespace ostrel::tftp {

void transfer_rows::append(std::string client, std::string action, const tftp_transfer* transfer) {
  rows_.push_back({std::move(client), std::move(action), transfer});
  if (observer_) observer_->row_appended(rows_.size() - 1);
}

bool transfer_rows::retire(const tftp_transfer* transfer) {
  if (!transfer) return false;
  auto it = std::find_if(rows_.begin(), rows_.end(), [&](const transfer_row& r) { return r.transfer == transfer; });
  if (it == rows_.end()) return false;
  it->transfer = nullptr;
  if (observer_) observer_->row_retired(static_cast<std::size_t>(it - rows_.begin()));
  return true;
}

void transfer_rows::purge_retired() {
  // Remove runs of retired rows from the bottom up, so the indices a view
  // is told about stay valid while it is told.
  std::size_t end = rows_.size();
  while (end > 0) {
    if (rows_[end - 1].transfer) {
      --end;
      continue;
    }
    std::size_t first = end - 1;
    while (first > 0 && !rows_[first - 1].transfer) --first;
    if (observer_) observer_->rows_about_to_be_removed(first, end - 1);
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(first), rows_.begin() + static_cast<std::ptrdiff_t>(end));
    if (observer_) observer_->rows_removed();
    end = first;
  }
}

}  // namespace ostrel::tftp
