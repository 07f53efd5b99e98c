#include "platform/data/xls/workbook.h"

#include <gtest/gtest.h>

#include "platform/data/xls/biff_records.h"
#include "platform/runtime/error.h"
#include "xls_builder.h"
#include "support/errors.h"

namespace platform::data::xls {
namespace {

using namespace xls_builder;

using testing_support::ErrorOf;

using sheet::CellKind;
using sheet::SheetCells;

// The globals and the cells of the first sheet of a BIFF8 stream.
struct Read {
  WorkbookGlobals globals;
  SheetCells cells;
  // Cell i's kind and value as text ("n:2.500000", "t:公式").
  std::string Text(std::size_t i) const {
    switch (cells.Kind(i)) {
      case CellKind::kNumber: return "n:" + std::to_string(cells.Number(i));
      case CellKind::kDate: return "d:" + std::to_string(cells.Number(i));
      case CellKind::kBoolean: return cells.Boolean(i) ? "b:1" : "b:0";
      default: return "t:" + std::string(cells.Text(i));
    }
  }
  // Every cell as "row,column kind:value", in the order stored.
  std::vector<std::string> All() const {
    std::vector<std::string> out;
    for (std::size_t k = 0; k < cells.row_count(); ++k) {
      const SheetCells::Row row = cells.row(k);
      for (std::size_t i = row.begin; i < row.end; ++i) {
        out.push_back(std::to_string(row.number) + "," + std::to_string(cells.Column(i)) + " " + Text(i));
      }
    }
    return out;
  }
};

Read ReadOnlySheet(const std::string& stream) {
  MemoryFile file(stream);
  Read r;
  r.globals = ReadWorkbookGlobals(file);
  r.cells = ReadSheetCells(file, r.globals.sheets.at(0), r.globals);
  return r;
}

std::string Rk(std::uint32_t rk) { return Record(rec::kRk, U16(1) + U16(0) + U16(15) + U32(rk)); }

TEST(WorkbookGlobalsTest, RefusesWhatIsNotAnExcel97Workbook) {
  struct Case {
    std::string stream;
    int number;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"", err::kNotAWorkbook, "不是 Excel 97-2003 工作簿：工作簿数据是空的"},
      {Record(rec::kBofBiff4, U16(0) + U16(0x0100)), err::kNotAWorkbook,
       "不是 Excel 97-2003 工作簿：这是 Excel 2.x-4.0 的旧格式，请在 Excel 中另存为 97-2003 格式"},
      {Record(0x0809, U16(0x0400) + U16(5)), err::kNotAWorkbook,
       "不是 Excel 97-2003 工作簿：这是 Excel 2.x-4.0 的旧格式，请在 Excel 中另存为 97-2003 格式"},
      {Record(0x0203, "12345678"), err::kNotAWorkbook, "不是 Excel 97-2003 工作簿"},
      {Bof(0x0600, 0x0010) + Eof(), err::kNotAWorkbook,
       "不是 Excel 97-2003 工作簿：文件里只有单独的工作表或图表，没有工作簿"},
      {Bof(0x0600, 5) + Record(rec::kFilePass, U16(1) + std::string(52, 'k')) + Eof(), err::kWorkbookEncrypted,
       "工作簿已加密，无法读取"},
  };
  for (const auto& c : cases) {
    MemoryFile file(c.stream);
    const Error e = ErrorOf([&] { ReadWorkbookGlobals(file); });
    EXPECT_EQ(e.number(), c.number) << c.text;
    EXPECT_EQ(e.description(), c.text);
  }
}

TEST(WorkbookGlobalsTest, SharedStringsSplitMidStringWithACompressionChange) {
  // Second string: 6 characters, "abc" compressed in the SST record, then
  // a CONTINUE starting with option byte 1 and "中文字" in UTF-16. The
  // count fields claim 1000 strings; the data holds 3.
  const std::string part1 = U32(1000) + U32(1000) + Latin1String("first") + U16(6) + U8(0) + "abc";
  const std::string part2 = U8(1) + Utf16Bytes(u"中文字") + Utf16String(u"末");
  const std::string globals = Record(rec::kSst, part1) + Record(rec::kContinue, part2);
  const Read r = ReadOnlySheet(Biff8Stream(globals, {{"S", Record(rec::kLabelSst, U16(0) + U16(0) + U16(15) + U32(1))}}));
  ASSERT_EQ(r.globals.shared_strings->size(), 3u);
  EXPECT_EQ(r.globals.shared_strings->Get(0), "first");
  EXPECT_EQ(r.globals.shared_strings->Get(1), "abc中文字");
  EXPECT_EQ(r.globals.shared_strings->Get(2), "末");
  EXPECT_EQ(r.All(), std::vector<std::string>{"0,0 t:abc中文字"});
}

TEST(WorkbookGlobalsTest, AnEmptySharedStringEndingTheTableMayLackItsOptionByte) {
  const std::string globals = Record(rec::kSst, U32(2) + U32(2) + Latin1String("x") + U16(0));
  const Read r = ReadOnlySheet(Biff8Stream(globals, {{"S", Record(rec::kLabelSst, U16(0) + U16(0) + U16(15) + U32(1))}}));
  ASSERT_EQ(r.globals.shared_strings->size(), 2u);
  EXPECT_EQ(r.globals.shared_strings->Get(1), "");
}

TEST(WorkbookGlobalsTest, SheetListKeepsTabOrderTypesAndVisibility) {
  const std::string stream = Biff8Stream("", {{"A", "", 1, 0}, {"Chart", "", 0, 2}, {"C", "", 0, 0}});
  MemoryFile file(stream);
  const WorkbookGlobals g = ReadWorkbookGlobals(file);
  ASSERT_EQ(g.sheets.size(), 3u);
  EXPECT_EQ(g.sheets[0].name, "A");
  EXPECT_EQ(g.sheets[0].visibility, 1);
  EXPECT_EQ(g.sheets[1].type, 2);
  EXPECT_EQ(g.sheets[2].name, "C");
}

TEST(SheetCellsTest, EveryCellRecordAndFormulaResult) {
  std::string body;
  body += Formula(0, 0, 15, F64(2.5));
  body += Formula(0, 1, 15, FormulaResult(0));
  body += Record(0x04BC, std::string(10, '\0'));  // SHRFMLA before the STRING
  body += Record(rec::kString, Utf16String(u"公式"));
  body += Formula(0, 2, 15, FormulaResult(1, 1));
  body += Formula(0, 3, 15, FormulaResult(2, 7));  // #DIV/0!: null
  body += Formula(0, 4, 15, FormulaResult(3));     // empty text
  body += Formula(0, 5, 15, FormulaResult(0));     // text result with no STRING: null
  body += Number(0, 6, 15, 1.0);
  body += Record(rec::kBoolErr, U16(1) + U16(0) + U16(15) + U8(1) + U8(0));
  body += Record(rec::kBoolErr, U16(1) + U16(1) + U16(15) + U8(0x2A) + U8(1));  // #N/A: null
  body += Record(rec::kMulRk, U16(1) + U16(2) + U16(15) + U32((7u << 2) | 2) + U16(15) + U32((314u << 2) | 3) + U16(99));
  body += Record(rec::kBlank, U16(1) + U16(5) + U16(15));
  body += Record(rec::kMulBlank, U16(1) + U16(6) + U16(15) + U16(15) + U16(7));
  body += Record(rec::kRString, U16(1) + U16(8) + U16(15) + Latin1String("rich") + U16(1) + U32(0));
  body += Label(1, 9, "caf\xE9");
  const Read r = ReadOnlySheet(Biff8Stream("", {{"S", body}}));
  EXPECT_EQ(r.All(), (std::vector<std::string>{"0,0 n:2.500000", "0,1 t:公式", "0,2 b:1", "0,4 t:", "0,6 n:1.000000",
                                           "1,0 b:1", "1,2 n:7.000000", "1,3 n:3.140000", "1,8 t:rich",
                                           "1,9 t:café"}));
}

TEST(SheetCellsTest, RkValues) {
  struct Case {
    std::uint32_t rk;
    double value;
  };
  const std::vector<Case> cases = {
      {(123u << 2) | 2, 123},
      {static_cast<std::uint32_t>(-5) << 2 | 2, -5},
      {(12345u << 2) | 3, 123.45},
      {0x3FF00000u, 1.0},           // the top 30 bits of 1.0
      {0x3FF00000u | 1, 0.01},      // 1.0 / 100
      {static_cast<std::uint32_t>(0x80000000u) | 2, -536870912},
  };
  for (const auto& c : cases) {
    const Read r = ReadOnlySheet(Biff8Stream("", {{"S", Rk(c.rk)}}));
    ASSERT_EQ(r.cells.size(), 1u);
    EXPECT_EQ(r.cells.Number(0), c.value) << c.rk;
  }
}

TEST(SheetCellsTest, DatesFollowTheCellFormatAndThe1904System) {
  const std::string body = Number(0, 0, 16, 100.5) + Number(0, 1, 17, 100.5) + Number(0, 2, 15, 100.5) +
                           Number(0, 3, 99, 100.5);  // an XF that does not exist: a number
  const std::string format = Record(rec::kFormat, U16(170) + Latin1String("yyyy\\-mm"));
  for (const bool mac : {false, true}) {
    const std::string globals = format + (mac ? Record(rec::kDateMode, U16(1)) : "");
    const Read r = ReadOnlySheet(Biff8Stream(globals, {{"S", body}}, {14, 170}));
    ASSERT_EQ(r.cells.size(), 4u);
    const double serial = mac ? 100.5 + 1462 : 100.5;
    EXPECT_EQ(r.cells.Kind(0), CellKind::kDate);
    EXPECT_EQ(r.cells.Number(0), serial);
    EXPECT_EQ(r.cells.Kind(1), CellKind::kDate);
    EXPECT_EQ(r.cells.Kind(2), CellKind::kNumber);
    EXPECT_EQ(r.cells.Number(2), 100.5);  // numbers are not shifted
    EXPECT_EQ(r.cells.Kind(3), CellKind::kNumber);
  }
}

TEST(SheetCellsTest, OrderDuplicatesAndEmbeddedSubstreams) {
  // Written column-wise, one cell twice (the later wins), and a chart
  // inside the sheet whose own NUMBER is not a cell of the sheet.
  const std::string body = Number(1, 0, 15, 1) + Number(0, 1, 15, 2) + Number(0, 0, 15, 3) + Number(1, 0, 15, 4) +
                           Bof(0x0600, 0x0020) + Number(5, 5, 15, 99) + Eof() + Number(2, 2, 15, 5);
  const Read r = ReadOnlySheet(Biff8Stream("", {{"S", body}}));
  EXPECT_EQ(r.All(), (std::vector<std::string>{"0,0 n:3.000000", "0,1 n:2.000000", "1,0 n:4.000000", "2,2 n:5.000000"}));
}

TEST(SheetCellsTest, DamageInsideASheetIsReported) {
  {
    const std::string stream = Biff8Stream("", {{"S", Record(rec::kLabelSst, U16(0) + U16(0) + U16(15) + U32(7))}});
    MemoryFile file(stream);
    const WorkbookGlobals g = ReadWorkbookGlobals(file);
    const Error e = ErrorOf([&] { ReadSheetCells(file, g.sheets[0], g); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), "工作簿已损坏：单元格引用了不存在的共享字符串 7");
  }
  const std::string stream = Biff8Stream("", {{"S", Number(0, 0, 15, 1)}});
  MemoryFile file(stream);
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "工作簿已损坏：“S”不是工作表"},  // the globals' BOF
      {1000000, "工作簿已损坏：找不到工作表“S”的数据"},
      {3, "工作簿已损坏：记录在文件结尾处被截断"},  // inside a record
  };
  for (const auto& [offset, text] : cases) {
    WorkbookGlobals g = ReadWorkbookGlobals(file);
    g.sheets[0].offset = offset;
    const Error e = ErrorOf([&] { ReadSheetCells(file, g.sheets[0], g); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), text);
  }
}

void Put16(std::string& bytes, std::size_t at, std::uint16_t v) {
  bytes[at] = static_cast<char>(v & 0xFF);
  bytes[at + 1] = static_cast<char>(v >> 8);
}

TEST(SheetCellsTest, CellRecordsTooShortForTheirValueAreDamageNotEmptyCells) {
  const std::string label = Label(2, 1, "Brien");
  const std::string cells[] = {
      label.substr(0, label.size() - 2),  // claims 5 characters, holds 3
      Record(rec::kNumber, U16(2) + U16(1) + U16(15) + U32(0)),
      Record(rec::kRk, U16(2) + U16(1) + U16(15)),
      Record(rec::kLabelSst, U16(2) + U16(1) + U16(15)),
      Record(rec::kBoolErr, U16(2) + U16(1) + U16(15) + U8(1)),
  };
  for (std::string cell : cells) {
    // Keep the record header's length equal to what the record holds.
    Put16(cell, 2, static_cast<std::uint16_t>(cell.size() - 4));
    const Error e = ErrorOf([&] { ReadOnlySheet(Biff8Stream("", {{"S", cell}})); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), "工作簿已损坏：工作表“S”第 3 行第 2 列的单元格记录不完整");
  }
}

TEST(SheetCellsTest, ColumnsBeyondTheSheetsLastAreDamage) {
  // Column 256 would not fit a sheet; the table would get 65,536 fields.
  for (const std::string& cell : {Number(0, 256, 15, 1),
                                  Record(rec::kMulRk, U16(0) + U16(255) + U16(15) + U32(2) + U16(15) + U32(2) + U16(256))}) {
    const std::string stream = Biff8Stream("", {{"S", Number(0, 255, 15, 1) + cell}});
    const Error e = ErrorOf([&] { ReadOnlySheet(stream); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), "工作簿已损坏：单元格的列号 257 超出 256 列");
  }
}

TEST(SheetCellsTest, Biff5TextInTheWorkbookCodePage) {
  // Excel 5/95: BOUNDSHEET and LABEL hold 8-bit text in the code page.
  const std::string name = "\xCA\xFD\xBE\xDD";  // 数据 in code page 936
  const std::string label = "\xC6\xBB\xB9\xFB";  // 苹果
  const std::string sheet = Bof(0x0500, 0x0010) + Record(rec::kLabel, U16(0) + U16(0) + U16(15) + U16(4) + label) + Eof();
  std::string globals = Bof(0x0500, 0x0005) + Record(rec::kCodePage, U16(936));
  const std::string boundsheet_tail = U8(0) + U8(0) + U8(4) + name;
  const std::uint32_t offset = static_cast<std::uint32_t>(globals.size() + 4 + 4 + boundsheet_tail.size() + 4);
  globals += Record(rec::kBoundSheet, U32(offset) + boundsheet_tail) + Eof();
  const Read r = ReadOnlySheet(globals + sheet);
  EXPECT_EQ(r.globals.biff_version, 5);
  EXPECT_EQ(r.globals.sheets[0].name, "数据");
  EXPECT_EQ(r.All(), std::vector<std::string>{"0,0 t:苹果"});
}

}  // namespace
}  // namespace platform::data::xls
