#include "platform/data/sheet/sheet_table.h"

#include <gtest/gtest.h>

#include <utility>

#include "sheet_test_cells.h"

namespace platform::data::sheet {
namespace {

using namespace sheet_test;

TEST(SheetTableTest, UsedRangeHeaderNamesWidthsAndValues) {
  struct Case {
    const char* what;
    std::vector<Cell> cells;
    std::vector<std::pair<std::string, std::int32_t>> fields;
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"the range by content; empty text counts for nothing",
       {T(2, 2, "first"), T(2, 4, "third"), N(3, 3, 42), T(4, 2, "x"), T(6, 5, "corner"), T(9, 9, ""), T(8, 1, ""),
        T(1, 3, "")},
       {{"first", 1}, {"F2", 2}, {"third", 1}, {"F4", 6}},
       {"-|42|-|-|", "x|-|-|-|", "-|-|-|-|", "-|-|-|corner|"}},
      {"widths: code page 936 bytes of the text forms, at least 1, the header not measured",
       {T(0, 0, "名称"), N(0, 1, 7), B(0, 2, true), S(0, 3, 0), D(0, 4, 44941), T(0, 5, "a very long header"),
        S(1, 0, 1), N(1, 1, 0.333333333333333), B(1, 2, false), S(1, 3, 1), D(1, 4, 44941), T(1, 5, ""),
        T(2, 0, "\xF0\xA0\x80\x80字"), N(2, 1, 13800138000), B(2, 2, true), S(2, 3, 1), D(2, 4, 44941.354166666664)},
       {{"名称", 6}, {"7", 17}, {"True", 5}, {"共享", 4}, {"2023-01-15", 19}, {"a very long header", 1}},
       {"苹果|0.333333333333333|False|苹果|2023-01-15||", "\xF0\xA0\x80\x80字|13800138000|True|苹果|2023-01-15 08:30:00|-|"}},
      {"out of order, repeated: the last value handed over",
       {N(2, 0, 1), T(0, 0, "a"), N(2, 0, 9), T(0, 0, "b")}, {{"b", 1}}, {"-|", "9|"}},
      {"a header row alone", {T(0, 3, "only")}, {{"only", 1}}, {}},
      {"no content", {T(0, 0, ""), T(5, 5, "")}, {}, {}},
      {"nothing", {}, {}, {}},
      {"the largest positions",
       {T(kMaxRows - 2, kMaxColumns - 2, "h"), N(kMaxRows - 1, kMaxColumns - 1, 5)}, {{"h", 1}, {"F2", 1}}, {"-|5|"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SheetTable table(Build(c.cells, {"共享", "苹果"}));
    std::vector<std::pair<std::string, std::int32_t>> fields;
    for (const FieldInfo& f : table.Fields()) fields.emplace_back(f.name, f.defined_size);
    EXPECT_EQ(fields, c.fields);
    EXPECT_EQ(RowsOf(table), c.rows);
  }
}

// A big sheet's layout is learnt in two halves at once; what each half
// alone sees (a wider value, a column further left or right, the last
// row, no content at all, the header in the lower half of the stored
// rows) must join into the layout of the whole.
TEST(SheetTableTest, BigSheetsLayoutLearntInHalvesIsTheWholeSheets) {
  using Fields = std::vector<std::pair<std::string, std::int32_t>>;
  struct Case {
    const char* what;
    std::vector<Cell> cells;
    Fields fields;
    std::int64_t rows;
  };
  const auto data_rows = [](std::uint32_t from, std::uint32_t to) {
    std::vector<Cell> cells;
    for (std::uint32_t r = from; r <= to; ++r) {
      cells.push_back(N(r, 1, r));
      cells.push_back(T(r, 2, "x"));
    }
    return cells;
  };
  const auto join = [](std::vector<std::vector<Cell>> parts) {
    std::vector<Cell> all;
    for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  const auto empty_rows = [](std::uint32_t from, std::uint32_t to) {
    std::vector<Cell> cells;
    for (std::uint32_t r = from; r <= to; ++r) cells.push_back(T(r, 0, ""));
    return cells;
  };
  const std::vector<Case> cases = {
      {"the lower half widens, adds columns on both sides and the last row",
       join({{T(0, 0, ""), T(0, 5, ""), T(1, 1, "名称"), T(1, 2, "值")}, data_rows(2, 29999),
             {T(30000, 0, "左边"), T(30000, 2, "a long value of 20 b")}, data_rows(30001, 40001),
             {S(40002, 7, 1), N(40005, 3, 1.5)}}),
       {{"F1", 4}, {"名称", 5}, {"值", 20}, {"F4", 3}, {"F5", 1}, {"F6", 1}, {"F7", 1}, {"F8", 4}},
       40004},
      {"the lower half holds only empty text",
       join({{T(0, 1, "名称"), T(0, 2, "值")}, data_rows(1, 40000), empty_rows(40001, 80000)}),
       {{"名称", 5}, {"值", 1}},
       40000},
      {"the header below the middle of the stored rows",
       join({empty_rows(0, 49999), {T(50000, 1, "名称")}, data_rows(50001, 90000)}),
       {{"名称", 5}, {"F2", 1}},
       40000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_GE(c.cells.size(), std::size_t{1} << 16);
    const SheetTable table(Build(c.cells, {"共享", "苹果"}));
    Fields fields;
    for (const FieldInfo& f : table.Fields()) fields.emplace_back(f.name, f.defined_size);
    EXPECT_EQ(fields, c.fields);
    EXPECT_EQ(table.RowCount(), c.rows);
  }
}

TEST(SheetTableTest, ValuesKeepTheirKindAndTextViewsTheCells) {
  const SheetTable table(Build({T(0, 0, "a"), T(0, 1, "b"), T(0, 2, "c"), T(0, 3, "d"), N(1, 0, 1.5),
                                D(1, 1, 45000.5), B(1, 2, true), S(1, 3, 0)},
                               {"共享"}));
  Variant v;
  table.ReadValue(0, 0, v);
  EXPECT_EQ(v, Variant::Number(1.5));
  table.ReadValue(0, 1, v);
  EXPECT_EQ(v.kind(), Variant::Kind::kDate);
  EXPECT_EQ(v.number(), 45000.5);
  table.ReadValue(0, 2, v);
  EXPECT_EQ(v, Variant::Boolean(true));
  table.ReadValue(0, 3, v);
  EXPECT_EQ(v, Variant::Text("共享"));
  // Fields read in any order find their cells.
  for (const int field : {3, 0, 2, 1, 3}) {
    table.ReadValue(0, field, v);
    EXPECT_FALSE(v.IsNull()) << field;
  }
}

}  // namespace
}  // namespace platform::data::sheet
