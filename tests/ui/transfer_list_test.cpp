// The transfer list's model over the engine's rows: appends, retirement and
// the purge of retired rows, checked with Qt's model tester so that every
// change is announced the way views rely on.

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "tftp/transfer_rows.h"
#include "ui/transfer_list.h"

namespace ostrel::ui {
namespace {

// The model only compares row pointers with null; these stand in for live transfers.
const tftp::tftp_transfer* fake_transfer(int i) {
  static const char places[16] = {};
  return reinterpret_cast<const tftp::tftp_transfer*>(&places[i]);
}

struct model_fixture {
  tftp::transfer_rows rows;
  transfer_model model{rows};
  QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};

  std::vector<std::string> clients() const {
    std::vector<std::string> out;
    for (int r = 0; r < model.rowCount(); ++r)
      out.push_back(model.data(model.index(r, column_client), Qt::DisplayRole).toString().toStdString());
    return out;
  }
};

TEST(TransferModel, ShowsClientAndActionWithHeadersAndNoStoredProgress) {
  model_fixture f;
  f.rows.append("127.0.0.1:1234", "GET boot.bin", fake_transfer(0));
  ASSERT_EQ(f.model.rowCount(), 1);
  EXPECT_EQ(f.model.data(f.model.index(0, 0), Qt::DisplayRole).toString(), "127.0.0.1:1234");
  EXPECT_EQ(f.model.data(f.model.index(0, 1), Qt::DisplayRole).toString(), "GET boot.bin");
  EXPECT_FALSE(f.model.data(f.model.index(0, 2), Qt::DisplayRole).isValid());
  EXPECT_FALSE(f.model.data(f.model.index(0, 3), Qt::DisplayRole).isValid());
  const char* headers[] = {"Client IP", "Action", "Progress", "KBytes/sec"};
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(f.model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString(), headers[c]);
  auto align = f.model.headerData(column_rate, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
  EXPECT_TRUE(align & Qt::AlignRight);
}

TEST(TransferModel, ControlCharactersInARequestedNameAreShownEscaped) {
  model_fixture f;
  f.rows.append("127.0.0.1:1234", std::string("GET a\nb\x1b[2J"), fake_transfer(0));
  EXPECT_EQ(f.model.data(f.model.index(0, 1), Qt::DisplayRole).toString(), QStringLiteral("GET a\\x0ab\\x1b[2J"));
}

TEST(TransferModel, RetiringARowKeepsItsTextsAndAnnouncesTheChange) {
  model_fixture f;
  f.rows.append("127.0.0.1:1", "GET one", fake_transfer(0));
  f.rows.append("127.0.0.1:2", "GET two", fake_transfer(1));
  QSignalSpy changed(&f.model, &QAbstractItemModel::dataChanged);
  ASSERT_TRUE(f.rows.retire(fake_transfer(1)));
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed.at(0).at(0).toModelIndex().row(), 1);
  EXPECT_EQ(f.model.transfer_at(1), nullptr);
  EXPECT_EQ(f.model.transfer_at(0), fake_transfer(0));
  EXPECT_EQ(f.model.data(f.model.index(1, 1), Qt::DisplayRole).toString(), "GET two");
}

TEST(TransferModel, OnePurgeRemovesEveryRetiredRowAndActiveRowsKeepTheirOrder) {
  model_fixture f;
  // Retired rows at the top next to one another, one between active rows, one at the end.
  const char* names[] = {"r0", "r1", "a2", "r3", "a4", "r5", "r6", "a7"};
  for (int i = 0; i < 8; ++i) f.rows.append(names[i], std::string("GET ") + names[i], fake_transfer(i));
  for (int i : {0, 1, 3, 5, 6}) ASSERT_TRUE(f.rows.retire(fake_transfer(i)));
  QSignalSpy removed(&f.model, &QAbstractItemModel::rowsRemoved);

  f.rows.purge_retired();

  EXPECT_EQ(f.clients(), (std::vector<std::string>{"a2", "a4", "a7"}));
  EXPECT_EQ(f.model.transfer_at(0), fake_transfer(2));
  EXPECT_EQ(f.model.transfer_at(1), fake_transfer(4));
  EXPECT_EQ(f.model.transfer_at(2), fake_transfer(7));
  int announced = 0;
  for (const auto& call : removed) announced += call.at(2).toInt() - call.at(1).toInt() + 1;
  EXPECT_EQ(announced, 5);

  // The remaining rows retire and go in the next purge; the list is then empty.
  for (int i : {2, 4, 7}) f.rows.retire(fake_transfer(i));
  f.rows.purge_retired();
  EXPECT_EQ(f.model.rowCount(), 0);
  f.rows.append("again", "GET again", fake_transfer(9));
  EXPECT_EQ(f.clients(), (std::vector<std::string>{"again"}));
}

}  // namespace
}  // namespace ostrel::ui
