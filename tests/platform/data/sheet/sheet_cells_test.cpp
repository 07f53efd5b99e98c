#include "platform/data/sheet/sheet_cells.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "sheet_test_cells.h"
#include "support/errors.h"

namespace platform::data::sheet {
namespace {

using namespace sheet_test;
using testing_support::ErrorOf;

// Every stored cell as "row,column kind:value", in the order stored.
std::vector<std::string> Stored(const SheetCells& cells) {
  std::vector<std::string> out;
  for (std::size_t k = 0; k < cells.row_count(); ++k) {
    const SheetCells::Row row = cells.row(k);
    for (std::size_t i = row.begin; i < row.end; ++i) {
      std::string value;
      switch (cells.Kind(i)) {
        case CellKind::kNumber: value = "n:" + std::to_string(cells.Number(i)); break;
        case CellKind::kDate: value = "d:" + std::to_string(cells.Number(i)); break;
        case CellKind::kBoolean: value = cells.Boolean(i) ? "b:1" : "b:0"; break;
        case CellKind::kSharedText: value = "s:" + std::string(cells.Text(i)); break;
        case CellKind::kOwnText: value = "t:" + std::string(cells.Text(i)); break;
      }
      out.push_back(std::to_string(row.number) + "," + std::to_string(cells.Column(i)) + " " + value);
    }
  }
  return out;
}

TEST(SheetCellsTest, CellsComeOutInOrderAndTheLastOfARepeatedPositionWins) {
  struct Case {
    const char* what;
    std::vector<Cell> cells;
    std::vector<std::string> stored;
  };
  const std::vector<Case> cases = {
      {"in order", {T(0, 0, "a"), N(0, 3, 1), B(2, 1, true)}, {"0,0 t:a", "0,3 n:1.000000", "2,1 b:1"}},
      {"column by column", {N(1, 0, 1), N(0, 1, 2), N(0, 0, 3), N(2, 2, 4)},
       {"0,0 n:3.000000", "0,1 n:2.000000", "1,0 n:1.000000", "2,2 n:4.000000"}},
      {"repeated at once", {N(0, 0, 1), T(0, 0, "later")}, {"0,0 t:later"}},
      {"repeated after others", {D(1, 1, 5), N(0, 0, 1), S(1, 1, 0), N(3, 0, 2)},
       {"0,0 n:1.000000", "1,1 s:共享", "3,0 n:2.000000"}},
      {"rows back and forth", {N(5, 0, 1), N(1, 0, 2), N(5, 1, 3), N(1, 0, 4)},
       {"1,0 n:4.000000", "5,0 n:1.000000", "5,1 n:3.000000"}},
      {"nothing", {}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Stored(Build(c.cells, {"共享"})), c.stored) << c.what;
  }
}

TEST(SheetCellsTest, PositionsUpToTheLimitsAreKept) {
  // The largest sheet either format describes: row 1,048,576, column 16,384.
  const SheetCells cells = Build({N(kMaxRows - 1, kMaxColumns - 1, 1), N(kMaxRows - 1, 0, 2), N(65536, 256, 3)});
  EXPECT_EQ(Stored(cells),
            (std::vector<std::string>{"65536,256 n:3.000000", "1048575,0 n:2.000000", "1048575,16383 n:1.000000"}));
}

// Shared strings given after the cells: the cell refused is the first to
// name a missing string in the order the cells came, as it would have been
// had the strings been there from the start.
TEST(SheetCellsTest, SharedStringsCheckedLaterRefuseTheFirstMissingInArrivalOrder) {
  const struct {
    std::vector<std::uint64_t> indexes;  // of cells at rows 9, 8, 7, ... (out of order)
    const char* error;                   // nullptr: accepted
  } cases[] = {
      {{0, 1, 2, 1}, nullptr},
      {{0, 9, 8, 3}, "工作簿已损坏：单元格引用了不存在的共享字符串 9"},
      {{3, 9}, "工作簿已损坏：单元格引用了不存在的共享字符串 3"},
      {{2, 4000000000u, 5}, "工作簿已损坏：单元格引用了不存在的共享字符串 4000000000"},
      {{}, nullptr},
  };
  for (const auto& c : cases) {
    SheetCellsBuilder builder(nullptr);
    builder.CheckSharedLater();
    std::uint32_t row = 9;
    for (const std::uint64_t index : c.indexes) builder.AddSharedText(row--, 0, index);
    auto strings = std::make_shared<StringTable>();
    for (const char* s : {"a", "b", "c"}) strings->Add(s);
    if (c.error == nullptr) {
      builder.SetSharedStrings(strings);
      const SheetCells cells = builder.Finish();
      ASSERT_EQ(cells.size(), c.indexes.size());
      if (!c.indexes.empty()) {
        EXPECT_EQ(cells.Text(0), "b");  // row 6's cell, first once sorted
      }
    } else {
      const Error e = ErrorOf([&] { builder.SetSharedStrings(strings); });
      EXPECT_EQ(e.description(), c.error);
    }
  }
}

TEST(SheetCellsTest, CellsBeyondTheLimitsAreDamage) {
  struct Case {
    SheetLimits limits;
    Cell cell;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{65536, 256}, N(0, 256, 1), "工作簿已损坏：单元格的列号 257 超出 256 列"},
      {{65536, 256}, T(65536, 0, "x"), "工作簿已损坏：单元格的行号 65537 超出 65536 行"},
      {{}, B(0, kMaxColumns, true), "工作簿已损坏：单元格的列号 16385 超出 16384 列"},
      {{}, D(kMaxRows, 0, 1), "工作簿已损坏：单元格的行号 1048577 超出 1048576 行"},
      // Limits above the largest sheet are cut to it.
      {{UINT32_MAX, UINT32_MAX}, N(0, kMaxColumns, 1), "工作簿已损坏：单元格的列号 16385 超出 16384 列"},
      {{UINT32_MAX, UINT32_MAX}, S(UINT32_MAX, 0, 0), "工作簿已损坏：单元格的行号 4294967296 超出 1048576 行"},
  };
  for (const auto& c : cases) {
    const Error e = ErrorOf([&] { Build({N(0, 0, 1), c.cell}, {"s"}, c.limits); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged) << c.text;
    EXPECT_EQ(e.description(), c.text);
  }
}

TEST(SheetCellsTest, ASharedStringThatDoesNotExistIsDamage) {
  for (const auto& [shared, index] : std::vector<std::pair<std::vector<std::string>, std::uint32_t>>{
           {{"a", "b"}, 2}, {{}, 0}}) {
    const Error e = ErrorOf([&] { Build({S(0, 0, index)}, shared); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), "工作簿已损坏：单元格引用了不存在的共享字符串 " + std::to_string(index));
  }
  // A reader without shared strings passes none.
  SheetCellsBuilder builder(nullptr);
  EXPECT_EQ(ErrorOf([&] { builder.AddSharedText(0, 0, 0); }).number(), err::kWorkbookDamaged);
  builder.AddText(0, 0, "own");
  EXPECT_EQ(builder.Finish().Text(0), "own");
}

}  // namespace
}  // namespace platform::data::sheet
