#include "platform/data/sheet/streamed_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "platform/data/connection.h"
#include "platform/data/sheet/sheet_session.h"
#include "platform/data/sheet/sheet_table.h"
#include "platform/runtime/error.h"
#include "sheet_test_cells.h"
#include "support/errors.h"

namespace platform::data::sheet {
namespace {

using namespace sheet_test;
using testing_support::ErrorOf;

// One worksheet whose scans see passes[k] (the last one from then on), so
// that a workbook changing between the passes can be played.
class ScannedWorkbook : public WorkbookReader {
 public:
  ScannedWorkbook(std::vector<std::vector<Cell>> passes, std::vector<std::string> shared)
      : passes_(std::move(passes)) {
    auto strings = std::make_shared<StringTable>();
    for (const std::string& s : shared) strings->Add(s);
    shared_ = std::move(strings);
  }
  std::vector<Worksheet> Worksheets() const override { return {{"S", true}}; }
  std::unique_ptr<SheetScan> ScanCells(std::size_t) const override {
    return std::make_unique<MemoryScan>(passes_[std::min(scans_++, passes_.size() - 1)]);
  }
  std::shared_ptr<const StringTable> SharedStrings() const override { return shared_; }
  std::size_t scans() const { return scans_; }

 private:
  std::vector<std::vector<Cell>> passes_;
  std::shared_ptr<const StringTable> shared_;
  mutable std::size_t scans_ = 0;
};

const std::vector<std::string> kShared = {"共享", "苹果"};

// No cell held: every sheet in order is streamed.
constexpr std::size_t kStreamAll = 0;

std::vector<std::pair<std::string, std::int32_t>> FieldList(const RowSource& table) {
  std::vector<std::pair<std::string, std::int32_t>> fields;
  for (const FieldInfo& f : table.Fields()) fields.emplace_back(f.name, f.defined_size);
  return fields;
}

// Cells in order beyond the budget are read twice and never held; out of
// order they are held. Either way the table is the one the held cells make.
TEST(StreamedTableTest, GivesTheTableTheHeldCellsGive) {
  struct Case {
    const char* what;
    std::vector<Cell> cells;
    bool streamed;
  };
  const std::vector<Case> cases = {
      {"range by content, empty text inside and outside it",
       {T(1, 3, ""), T(2, 2, "first"), T(2, 4, "third"), N(3, 3, 42), T(4, 2, "x"), T(4, 3, ""), T(6, 5, "corner"),
        T(8, 1, ""), T(9, 9, "")},
       true},
      {"widths of every kind, a header of every kind",
       {T(0, 0, "名称"), N(0, 1, 7), B(0, 2, true), S(0, 3, 0), D(0, 4, 44941), T(0, 5, "a very long header"),
        S(1, 0, 1), N(1, 1, 0.333333333333333), B(1, 2, false), S(1, 3, 1), D(1, 4, 44941), T(1, 5, ""),
        T(2, 0, "\xF0\xA0\x80\x80字"), N(2, 1, 13800138000), B(2, 2, true), S(2, 3, 1), D(2, 4, 44941.354166666664)},
       true},
      {"rows with no cells inside the range", {T(0, 0, "h"), N(3, 0, 1), N(7, 0, 2)}, true},
      {"a header row alone", {T(0, 3, "only")}, true},
      {"no content", {T(0, 0, ""), T(5, 5, "")}, true},
      {"out of order", {N(2, 0, 1), T(0, 0, "a"), N(1, 1, 9)}, false},
      {"one position twice", {T(0, 0, "a"), N(1, 0, 1), N(1, 0, 2)}, false},
      {"the largest positions", {T(kMaxRows - 2, kMaxColumns - 2, "h"), N(kMaxRows - 1, kMaxColumns - 1, 5)}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SheetTable held(Build(c.cells, kShared));
    const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{c.cells}, kShared);
    const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, kStreamAll);
    EXPECT_EQ(dynamic_cast<const StreamedSheetTable*>(table.get()) != nullptr, c.streamed);
    EXPECT_EQ(FieldList(*table), FieldList(held));
    EXPECT_EQ(RowsOf(*table), RowsOf(held));
  }
}

// A sheet whose cells fit the budget is read once and held; one beyond it
// is read a second time, streamed from cells in order or held from cells
// out of order. Either way the table is the one the held cells make (a
// hand-over that lost, repeated or reordered a cell would also fail the
// second pass's check).
TEST(StreamedTableTest, HeldUnderTheBudgetReadAgainBeyondIt) {
  // Held: 40 bytes after row 0, 70 after row 1, 107 after row 2, 137 in
  // all (11 a cell, 8 a row, a copied text's bytes and 4).
  const std::vector<Cell> in_order = {T(0, 0, "a"), T(0, 1, "b"), N(1, 0, 1), S(1, 1, 0),
                                      N(2, 0, 2), T(2, 1, "two"), N(3, 0, 3), S(3, 1, 1)};
  std::vector<Cell> late_disorder = in_order;
  late_disorder.push_back(N(1, 1, 9));
  std::vector<Cell> early_disorder = in_order;
  std::swap(early_disorder[0], early_disorder[2]);
  const std::vector<Cell> long_text = {T(0, 0, "h"), T(1, 0, std::string(1000, 'x')), N(2, 0, 1)};
  struct Case {
    const char* what;
    const std::vector<Cell>& cells;
    std::size_t budget;
    std::size_t scans;
    bool streamed;
  };
  const std::vector<Case> cases = {
      {"in order, under", in_order, 1000, 1, false},
      {"in order, exactly at it", in_order, 137, 1, false},
      {"in order, passed in row 1", in_order, 50, 2, true},
      {"in order, passed in the last row", in_order, 120, 2, true},
      {"in order, passed at the last cell", in_order, 136, 2, true},
      {"out of order after the hand-over", late_disorder, 50, 2, false},
      {"out of order before it: held beyond it", early_disorder, 50, 1, false},
      {"out of order, under", late_disorder, 1000, 1, false},
      {"own texts count", long_text, 500, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SheetTable held(Build(c.cells, kShared));
    const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{c.cells}, kShared);
    const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, c.budget);
    EXPECT_EQ(FieldList(*table), FieldList(held));
    EXPECT_EQ(RowsOf(*table), RowsOf(held));
    EXPECT_EQ(reader->scans(), c.scans);
    EXPECT_EQ(dynamic_cast<const StreamedSheetTable*>(table.get()) != nullptr, c.streamed);
  }
}

// Past the budget the layout is learnt from batches of cells on a thread
// of its own: a sheet of several batches, in order or with two cells
// swapped anywhere around the end of the first batch (about 55,000 cells
// in), gives the held cells' table; swapped, it is held after all.
TEST(StreamedTableTest, ASheetOfManyBatchesGivesTheTableTheHeldCellsGive) {
  std::vector<Cell> cells = {T(0, 0, "名称"), T(0, 1, "值"), T(0, 2, "日期")};
  for (std::uint32_t row = 1; cells.size() < 130'000; ++row) {
    cells.push_back(N(row, 0, row * 0.25));
    cells.push_back(S(row, 1, row % 2));
    cells.push_back(D(row, 2, 40000 + row % 3000));
    if (row % 1000 == 0) cells.push_back(T(row, 3, std::string(row / 1000, 'w')));
  }
  const SheetTable held(Build(cells, kShared));
  const auto held_rows = RowsOf(held);
  const auto check = [&](const std::vector<Cell>& sheet, bool streamed) {
    const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{sheet}, kShared);
    const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, kStreamAll);
    EXPECT_EQ(dynamic_cast<const StreamedSheetTable*>(table.get()) != nullptr, streamed);
    EXPECT_EQ(FieldList(*table), FieldList(held));
    EXPECT_EQ(RowsOf(*table), held_rows);
    EXPECT_EQ(reader->scans(), 2u);
  };
  check(cells, true);
  {
    // A step back from the last batch to the first scans again.
    const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{cells}, kShared);
    const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, kStreamAll);
    Variant v;
    for (const std::int64_t row : {std::int64_t{40'000}, std::int64_t{3}}) {
      table->ReadValue(row, 0, v);
      EXPECT_EQ(v, Variant::Number(static_cast<double>(row + 1) * 0.25));
    }
    EXPECT_EQ(reader->scans(), 3u);
  }
  for (std::size_t at = 55'170; at < 55'200; ++at) {
    SCOPED_TRACE(at);
    std::vector<Cell> swapped = cells;
    std::swap(swapped[at], swapped[at + 1]);
    check(swapped, false);
  }
}

TEST(StreamedTableTest, AnEarlierRowScansTheSheetAgain) {
  const std::vector<Cell> cells = {T(0, 0, "a"), T(0, 1, "b"), T(1, 0, "one"), N(1, 1, 1), T(2, 0, "two"),
                                   T(3, 1, "three")};
  const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{cells}, kShared);
  const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, kStreamAll);
  EXPECT_EQ(reader->scans(), 1u);
  Variant v;
  const std::vector<std::pair<std::int64_t, std::string>> reads = {
      {1, "two"}, {0, "one"}, {0, "one"}, {2, ""}, {1, "two"}};
  for (const auto& [row, text] : reads) {
    table->ReadValue(row, 0, v);
    EXPECT_EQ(v.IsNull() ? "" : v.ToText(), text) << row;
  }
  // The first pass, the second (from row 1), and a new scan for the step
  // back to row 0; the later step back is to a row of the batch read.
  EXPECT_EQ(reader->scans(), 3u);
}

// A fault the second pass meets halfway is told when the row it ends is
// read (a row is complete once a cell after it is seen), not before; the
// rows before it are read, and the fault stays.
TEST(StreamedTableTest, AFaultOfTheSecondPassIsToldAtItsRow) {
  const std::vector<Cell> first = {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "y"), S(3, 0, 1), T(4, 0, "z")};
  const std::vector<Cell> second = {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "y"), S(3, 0, 7), T(4, 0, "z")};
  const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{first, second}, kShared);
  const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, kStreamAll);
  Variant v;
  table->ReadValue(0, 0, v);
  EXPECT_EQ(v, Variant::Text("x"));
  for (const std::int64_t row : {1, 2, 0}) {
    const Error e = ErrorOf([&] { table->ReadValue(row, 0, v); });
    EXPECT_EQ(e.description(), "工作簿已损坏：单元格引用了不存在的共享字符串 7") << row;
  }
}

// The second pass must see what the first saw: a workbook changed in
// between fails the table when its last row is read, before any value of
// that row is handed out.
TEST(StreamedTableTest, ASheetChangedBetweenThePassesFailsAtTheLastRow) {
  const std::vector<Cell> first = {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "y"), T(3, 0, "z")};
  const std::vector<std::pair<const char*, std::vector<Cell>>> cases = {
      {"a value changed", {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "Y"), T(3, 0, "z")}},
      {"a cell more after the range", {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "y"), T(3, 0, "z"), T(9, 9, "")}},
      {"a cell fewer", {T(0, 0, "h"), T(1, 0, "x"), T(3, 0, "z")}},
      {"the sheet cut short", {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "y")}},
      {"a kind changed", {T(0, 0, "h"), T(1, 0, "x"), T(2, 0, "y"), S(3, 0, 0)}},
  };
  // Streamed from the first cell, and with the first two held and handed
  // over (each copied text cell holds 11 + 4 + 1 bytes, its row 8 more).
  for (const std::size_t budget : {kStreamAll, std::size_t{40}}) {
  for (const auto& [what, second] : cases) {
    SCOPED_TRACE(what);
    SCOPED_TRACE(budget);
    const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{first, second}, kShared);
    const std::unique_ptr<RowSource> table = OpenSheetTable(reader, 0, budget);
    ASSERT_NE(dynamic_cast<const StreamedSheetTable*>(table.get()), nullptr);
    Variant v;
    table->ReadValue(0, 0, v);
    const Error e = ErrorOf([&] { table->ReadValue(2, 0, v); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(),
              "工作簿已损坏：第二次读取工作表时读到的单元格与第一次不同"
              "（转换期间工作簿被改动了？请关闭修改它的程序后重新转换）");
    // It stays failed.
    EXPECT_EQ(ErrorOf([&] { table->ReadValue(2, 0, v); }).number(), err::kWorkbookDamaged);
  }
  }
}

TEST(StreamedTableTest, DamageFoundInTheFirstPassFailsTheQuery) {
  const std::vector<std::pair<std::vector<Cell>, const char*>> cases = {
      {{T(0, 0, "h"), S(1, 0, 7)}, "工作簿已损坏：单元格引用了不存在的共享字符串 7"},
      {{T(0, 0, "h"), N(kMaxRows, 0, 1)}, "工作簿已损坏：单元格的行号 1048577 超出 1048576 行"},
      {{T(0, 0, "h"), N(1, kMaxColumns, 1)}, "工作簿已损坏：单元格的列号 16385 超出 16384 列"},
      // A missing string is told before the limits, in order or not.
      {{T(0, 0, "h"), N(2, 0, 1), S(kMaxRows, 0, 7)}, "工作簿已损坏：单元格引用了不存在的共享字符串 7"},
      {{T(0, 0, "h"), N(2, 0, 1), S(1, kMaxColumns, 7)}, "工作簿已损坏：单元格引用了不存在的共享字符串 7"},
      {{T(0, 0, "h"), N(2, 0, 1), S(1, kMaxColumns, 0)}, "工作簿已损坏：单元格的列号 16385 超出 16384 列"},
  };
  for (const auto& [cells, text] : cases) {
    const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{cells}, kShared);
    const Error e = ErrorOf([&] { OpenSheetTable(reader, 0, kStreamAll); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), text);
  }
}

// Text a streamed row views lives only while that row is read: a value
// the recordset read before MoveFirst must be read again after it.
TEST(StreamedTableTest, ARecordsetRewoundReadsItsValuesAgain) {
  const std::vector<Cell> cells = {T(0, 0, "a"), T(0, 1, "b"), T(1, 0, "one"), T(1, 1, "alpha"),
                                   T(2, 0, "omega!"), T(2, 1, "z")};
  const auto reader = std::make_shared<ScannedWorkbook>(std::vector<std::vector<Cell>>{cells}, kShared);
  Recordset rows;
  rows.OpenRows(OpenSheetTable(reader, 0, kStreamAll));
  EXPECT_EQ(rows.fields()[1].Value(), Variant::Text("alpha"));
  rows.MoveNext();
  EXPECT_EQ(rows.fields()[0].Value(), Variant::Text("omega!"));
  rows.MoveFirst();
  EXPECT_EQ(rows.fields()[1].Value(), Variant::Text("alpha"));
  EXPECT_EQ(rows.fields()[0].Value(), Variant::Text("one"));
}

}  // namespace
}  // namespace platform::data::sheet
