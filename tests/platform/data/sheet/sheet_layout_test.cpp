#include "platform/data/sheet/sheet_layout.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "sheet_test_cells.h"

namespace platform::data::sheet {
namespace {

using namespace sheet_test;

auto Parts(const SheetLayout& l) {
  return std::tie(l.has_content, l.header_row, l.last_row, l.first_column, l.last_column, l.column_width,
                  l.header);
}

// Rows taken whole must learn exactly what the cells handed over one by
// one learn, from wherever the rows are split and whatever came before.
TEST(LayoutSinkTest, RowsTakenWholeLearnWhatCellByCellLearns) {
  const std::vector<std::string> shared = {"", "共享", "a much longer shared string", "苹果😀"};
  std::mt19937 random(11);
  for (int round = 0; round < 60; ++round) {
    std::vector<Cell> cells;
    const std::uint32_t first_row = random() % 4;
    for (std::uint32_t row = first_row; row < first_row + 40; row += 1 + random() % 3) {
      // Empty text at the edges, which widens nothing.
      if (random() % 5 == 0) cells.push_back(T(row, 0, ""));
      for (std::uint32_t column = 1 + random() % 3; column < 12; column += 1 + random() % 4) {
        switch (random() % 7) {
          case 0: cells.push_back(N(row, column, static_cast<double>(random() % 100000) / 8)); break;
          case 1: cells.push_back(D(row, column, 40000 + static_cast<double>(random() % 1000) / 4)); break;
          case 2: cells.push_back(B(row, column, random() % 2 == 0)); break;
          case 3: cells.push_back(T(row, column, std::string(random() % 6, 'x') + (random() % 2 ? "字" : ""))); break;
          case 4: cells.push_back(T(row, column, "")); break;
          default: cells.push_back(S(row, column, random() % shared.size())); break;
        }
      }
    }
    if (random() % 2 == 0) cells.push_back(T(first_row + 41, 12, ""));
    const SheetCells held = Build(cells, shared);
    const std::size_t split = held.row_count() == 0 ? 0 : random() % held.row_count();
    for (const bool below_header : {false, true}) {
      for (const bool fingerprinted : {false, true}) {
        SCOPED_TRACE("round " + std::to_string(round) + (below_header ? ", below the header" : "") +
                     (fingerprinted ? ", fingerprinted" : ""));
        LayoutSink one_by_one(held.shared_strings(), {});
        LayoutSink whole_rows(held.shared_strings(), {});
        for (LayoutSink* sink : {&one_by_one, &whole_rows}) {
          if (!fingerprinted) sink->SkipFingerprint();
          if (below_header) sink->StartBelowHeader(first_row);
        }
        HandOver(held, 0, held.row_count(), one_by_one);
        whole_rows.TakeRows(held, 0, split);
        whole_rows.TakeRows(held, split, held.row_count());
        EXPECT_EQ(Parts(whole_rows.layout()), Parts(one_by_one.layout()));
        EXPECT_EQ(whole_rows.in_order(), one_by_one.in_order());
        EXPECT_EQ(whole_rows.fingerprint(), one_by_one.fingerprint());
        // A fingerprint that counts nothing would match as well.
        EXPECT_EQ(fingerprinted, !(whole_rows.fingerprint() == CellFingerprint()));
      }
    }
  }
}

TEST(LayoutSinkTest, RowsTakenAfterLaterCellsEndTheLearning) {
  const SheetCells held = Build({T(0, 0, "名称"), N(1, 0, 5), N(2, 0, 123456)});
  LayoutSink sink(held.shared_strings(), {});
  sink.SkipFingerprint();
  sink.TakeRows(held, 0, 2);
  sink.Number(5, 0, 1);
  sink.TakeRows(held, 2, 3);  // row 2 comes after row 5
  EXPECT_FALSE(sink.in_order());
  EXPECT_EQ(sink.layout().column_width, std::vector<std::size_t>{1});
  EXPECT_EQ(sink.layout().last_row, 5u);
}

}  // namespace
}  // namespace platform::data::sheet
