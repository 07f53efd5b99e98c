#include <gtest/gtest.h>

#include <functional>

#include "platform/data/connection.h"
#include "platform/runtime/error.h"
#include "support/errors.h"

namespace platform::data {
namespace {

std::unique_ptr<RowSource> TwoRows() {
  return std::make_unique<TableRowSource>(
      std::vector<FieldInfo>{{"Code", 8}, {"名称", 255}},
      std::vector<std::vector<Variant>>{{Variant::Number(1), Variant::Text("苹果")},
                                        {Variant::Number(2), Variant::Null()}});
}

int ErrorNumber(const std::function<void()>& f) { return testing_support::ErrorOf(f).number(); }

TEST(RecordsetTest, WalksRowsAndFields) {
  Recordset rs;
  EXPECT_EQ(rs.State(), adStateClosed);
  rs.OpenRows(TwoRows());
  EXPECT_EQ(rs.State(), adStateOpen);
  EXPECT_EQ(rs.RecordCount(), 2);
  ASSERT_EQ(rs.fields().Count(), 2);
  EXPECT_EQ(rs.fields()[1].Name(), "名称");
  EXPECT_EQ(rs.fields()[1].DefinedSize(), 255);
  rs.MoveFirst();
  EXPECT_EQ(rs.fields()[1].Value(), Variant::Text("苹果"));
  rs.MoveNext();
  EXPECT_EQ(rs.fields()[0].Value(), Variant::Number(2));
  EXPECT_TRUE(rs.fields()[1].Value().IsNull());
  rs.MoveNext();
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(ErrorNumber([&] { rs.fields()[0].Value(); }), err::kNoCurrentRow);
  EXPECT_EQ(ErrorNumber([&] { rs.MoveNext(); }), err::kNoCurrentRow);
  EXPECT_EQ(ErrorNumber([&] { rs.fields()[2]; }), err::kFieldIndexOutOfRange);
}

TEST(RecordsetTest, ClosedRecordsetRaisesAndCanReopen) {
  Recordset rs;
  EXPECT_EQ(ErrorNumber([&] { rs.IsEOF(); }), err::kRecordsetClosed);
  EXPECT_EQ(ErrorNumber([&] { rs.Close(); }), err::kRecordsetClosed);
  rs.OpenRows(TwoRows());
  EXPECT_EQ(ErrorNumber([&] { rs.OpenRows(TwoRows()); }), err::kConnectionAlreadyOpen);
  rs.Close();
  rs.OpenRows(std::make_unique<TableRowSource>(std::vector<FieldInfo>{{"A", 1}},
                                               std::vector<std::vector<Variant>>{}));
  EXPECT_TRUE(rs.IsEOF());
  EXPECT_EQ(rs.RecordCount(), 0);
}

}  // namespace
}  // namespace platform::data
