#pragma once
// The rows of the transfer list. A row refers to its running transfer, or
// to none once retired; the list view draws progress and rate from the
// live transfer at every paint and stores nothing of its own.

#include <cstddef>
#include <string>
#include <vector>

namespace ostrel::tftp {

class tftp_transfer;

struct transfer_row {
  std::string client;  // "a.b.c.d:port"
  std::string action;  // "GET <name as sent>"
  const tftp_transfer* transfer;  // null once retired
};

class transfer_rows {
 public:
  // Told of every change, so a view model can announce it.
  class observer {
   public:
    virtual ~observer() = default;
    virtual void row_appended(std::size_t index) = 0;
    virtual void row_retired(std::size_t index) = 0;
    virtual void rows_about_to_be_removed(std::size_t first, std::size_t last) = 0;
    virtual void rows_removed() = 0;
  };

  void set_observer(observer* o) { observer_ = o; }

  void append(std::string client, std::string action, const tftp_transfer* transfer);
  // Retires the first row that refers to transfer; false when there is none.
  bool retire(const tftp_transfer* transfer);
  // Removes every retired row; active rows keep their order.
  void purge_retired();

  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const transfer_row& operator[](std::size_t i) const { return rows_[i]; }

 private:
  std::vector<transfer_row> rows_;
  observer* observer_ = nullptr;
};

}  // namespace ostrel::tftp
