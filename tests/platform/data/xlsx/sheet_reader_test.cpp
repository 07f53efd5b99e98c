#include "platform/data/xlsx/sheet_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/errors.h"
#include "xlsx_builder.h"

namespace platform::data::xlsx {
namespace {

using testing_support::ErrorOf;

// Writes each cell as "B2 n 3.14" (number), "d" (date), "b" (boolean),
// "s" (shared index), "t" (text).
class RecordingSink : public CellSink {
 public:
  std::vector<std::string> cells;
  void Number(std::uint32_t row, std::uint32_t column, double value) override { Add(row, column, "n", Shown(value)); }
  void Date(std::uint32_t row, std::uint32_t column, double serial) override { Add(row, column, "d", Shown(serial)); }
  void Boolean(std::uint32_t row, std::uint32_t column, bool value) override {
    Add(row, column, "b", value ? "1" : "0");
  }
  void SharedText(std::uint32_t row, std::uint32_t column, std::uint32_t index) override {
    Add(row, column, "s", std::to_string(index));
  }
  void Text(std::uint32_t row, std::uint32_t column, std::string_view text) override {
    Add(row, column, "t", std::string(text));
  }
  void Reserve(std::size_t cells) override { reserved.push_back(cells); }
  std::vector<std::size_t> reserved;

 private:
  static std::string Shown(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
  }
  void Add(std::uint32_t row, std::uint32_t column, const char* kind, const std::string& value) {
    cells.push_back(CellName(row, column) + " " + kind + " " + value);
  }
};

SheetContext Context() {
  SheetContext context;
  context.name = "表1";
  context.date_styles = {false, true, false};
  context.shared_string_count = 3;
  return context;
}

std::vector<std::string> Cells(const std::string& sheet_data, const SheetContext& context = Context()) {
  const std::string part = "<worksheet xmlns=\"m\"><dimension ref=\"A1\"/>" + sheet_data +
                           "<mergeCells><mergeCell ref=\"A1:B1\"/></mergeCells></worksheet>";
  const std::string bytes = xlsx_builder::Package({{"s.xml", part}});
  MemoryFile file(bytes);
  const zip::ZipArchive zip(file);
  RecordingSink sink;
  ReadSheet(zip, "s.xml", context, sink);
  return sink.cells;
}

TEST(SheetReaderTest, EveryCellTypeByItsRule) {
  struct Case {
    std::string cell;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"<c r=\"A1\"><v>3.1400000000000001</v></c>", {"A1 n 3.1400000000000001"}},
      {"<c r=\"A1\" t=\"n\"><v> -2.5E-3 </v></c>", {"A1 n -0.0025000000000000001"}},
      {"<c r=\"A1\"><v>+7</v></c>", {"A1 n 7"}},
      {"<c r=\"A1\" s=\"1\"><v>45000.5</v></c>", {"A1 d 45000.5"}},
      {"<c r=\"A1\" s=\"2\"><v>45000.5</v></c>", {"A1 n 45000.5"}},
      {"<c r=\"A1\" s=\"9\"><v>1</v></c>", {"A1 n 1"}},
      {"<c r=\"A1\" t=\"s\"><v>2</v></c>", {"A1 s 2"}},
      {"<c r=\"A1\" t=\"inlineStr\"><is><t>a</t></is></c>", {"A1 t a"}},
      {"<c r=\"A1\" t=\"inlineStr\"><is><r><t>粗</t></r><r><rPr/><t xml:space=\"preserve\"> b</t></r>"
       "<rPh><t>ふ</t></rPh></is></c>",
       {"A1 t 粗 b"}},
      {"<c r=\"A1\" t=\"inlineStr\"><v>plain value</v></c>", {"A1 t plain value"}},
      {"<c r=\"A1\" t=\"inlineStr\"><is><t>a_x000D_b</t></is></c>", {"A1 t a\rb"}},
      {"<c r=\"A1\" t=\"str\"><f>A2&amp;\"x\"</f><v>文本</v></c>", {"A1 t 文本"}},
      {"<c r=\"A1\" t=\"b\"><v>1</v></c><c r=\"B1\" t=\"b\"><v>0</v></c><c r=\"C1\" t=\"b\"><v>true</v></c>",
       {"A1 b 1", "B1 b 0", "C1 b 1"}},
      {"<c r=\"A1\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>", {}},
      {"<c r=\"A1\"><f>1+1</f><v>2</v></c>", {"A1 n 2"}},
      {"<c r=\"A1\"><f>NOW()</f></c><c r=\"B1\"><v></v></c><c r=\"C1\" t=\"str\"><v/></c><c r=\"D1\"/>"
       "<c r=\"E1\" t=\"s\"><v/></c><c r=\"F1\" t=\"b\"/>",
       {}},
      {"<c r=\"A1\" t=\"d\"><v>2023-03-15T12:00:00</v></c>", {"A1 d 45000.5"}},
      {"<c r=\"A1\" t=\"d\"><v>1850-01-01</v></c>", {"A1 t 1850-01-01"}},
      {"<c r=\"A1\" t=\"s\" s=\"1\"><v>0</v></c>", {"A1 s 0"}},
      {"<c r=\"a1\"><v>1</v></c>", {"A1 n 1"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cells("<sheetData><row r=\"1\">" + c.cell + "</row></sheetData>"), c.expected) << c.cell;
  }
}

// Every number text gives the double nearest to it, as the C library's
// conversion does: short decimals take a quicker way than long ones.
TEST(SheetReaderTest, NumbersAreTheNearestDouble) {
  std::vector<std::string> texts = {"0.1", "-5760.9747", "123456789012345", "999999999999999", "1234567890123456",
                                    "0.000000000000001", "1.", ".5", "-0", "-0.0", "9007199254740993",
                                    "0.30000000000000004", "123.456e2", "82653.5", "-82196.0", "0.123456789012345",
                                    "1.7976931348623157e308", "000000000000000012.5", "+1", " 12 ", "1234567.89012345"};
  std::mt19937_64 rng(15);
  for (int i = 0; i < 3000; ++i) {
    std::string digits = std::to_string(rng() % 1'000'000'000'000'000);
    const std::size_t point = rng() % (digits.size() + 1);
    if (point < digits.size()) digits.insert(point, ".");
    texts.push_back((rng() % 2 ? "-" : "") + digits);
  }
  std::string sheet = "<sheetData><row r=\"1\">";
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string cell = CellName(0, static_cast<std::uint32_t>(i));
    sheet += "<c r=\"" + cell + "\"><v>" + texts[i] + "</v></c>";
    char shown[40];
    std::snprintf(shown, sizeof shown, "%.17g", std::strtod(texts[i].c_str(), nullptr));
    expected.push_back(cell + " n " + shown);
  }
  EXPECT_EQ(Cells(sheet + "</row></sheetData>"), expected);
}

TEST(SheetReaderTest, DatesOfThe1904SystemAreShifted) {
  SheetContext context = Context();
  context.date1904 = true;
  EXPECT_EQ(Cells("<sheetData><row><c s=\"1\"><v>0</v></c><c><v>0</v></c><c t=\"d\"><v>1904-01-01</v></c></row>"
                  "</sheetData>",
                  context),
            (std::vector<std::string>{"A1 d 1462", "B1 n 0", "C1 d 1462"}));
}

TEST(SheetReaderTest, RowsAndCellsWithoutPositionsFollowThePreviousOne) {
  EXPECT_EQ(Cells("<sheetData>"
                  "<row r=\"2\"><c r=\"B2\"><v>1</v></c><c><v>2</v></c><c r=\"E2\"><v>3</v></c><c><v>4</v></c></row>"
                  "<row><c><v>5</v></c></row>"
                  "<row r=\"9\"><c><v>6</v></c><c r=\"C9\"><v>7</v></c></row>"
                  "<row><c r=\"AA10\"><v>8</v></c></row>"
                  "</sheetData>"),
            (std::vector<std::string>{"B2 n 1", "C2 n 2", "E2 n 3", "F2 n 4", "A3 n 5", "A9 n 6", "C9 n 7",
                                      "AA10 n 8"}));
  EXPECT_EQ(Cells("<sheetData><row><c><v>1</v></c></row><row><c><v>2</v></c></row></sheetData>"),
            (std::vector<std::string>{"A1 n 1", "A2 n 2"}));
}

TEST(SheetReaderTest, PrefixedElementsAndCellsOutsideSheetDataIgnored) {
  EXPECT_EQ(Cells("<x:sheetData xmlns:x=\"m\"><x:row r=\"1\"><x:c r=\"A1\" t=\"s\"><x:v>1</x:v></x:c></x:row>"
                  "</x:sheetData><extLst><c r=\"B1\"><v>9</v></c></extLst>"),
            (std::vector<std::string>{"A1 s 1"}));
}

TEST(SheetReaderTest, ValuesThatDoNotFitTheirTypeAreDamageNamingTheCell) {
  const std::pair<std::string, std::string> cases[] = {
      {"<c r=\"B3\"><v>abc</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“abc”不是数字"},
      {"<c r=\"B3\"><v>1e999</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“1e999”不是数字"},
      {"<c r=\"B3\"><v>nan</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“nan”不是数字"},
      {"<c r=\"B3\"><v>1.2.3</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“1.2.3”不是数字"},
      {"<c r=\"B3\"><v>-</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“-”不是数字"},
      {"<c r=\"B3\"><v>.</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“.”不是数字"},
      {"<c r=\"B3\"><v>12-3</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“12-3”不是数字"},
      {"<c r=\"B3\" s=\"1x\"><v>1</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的格式编号“1x”不正确"},
      {"<c r=\"B3\" t=\"b\"><v>yes</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“yes”不是逻辑值"},
      {"<c r=\"B3\" t=\"s\"><v>3</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 引用了不存在的共享字符串“3”"},
      {"<c r=\"B3\" t=\"s\"><v>-1</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 引用了不存在的共享字符串“-1”"},
      {"<c r=\"B3\" t=\"d\"><v>2023-02-30</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的值“2023-02-30”不是日期"},
      {"<c r=\"B3\" t=\"x\"><v>1</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的类型“x”不正确"},
      {"<c r=\"B3\" s=\"-1\"><v>1</v></c>", "工作簿已损坏：工作表“表1”的单元格 B3 的格式编号“-1”不正确"},
      {"<c r=\"3B\"><v>1</v></c>", "工作簿已损坏：工作表“表1”中的单元格位置“3B”不正确"},
      {"<c r=\"XFE3\"><v>1</v></c>", "工作簿已损坏：工作表“表1”中的单元格位置“XFE3”不正确"},
      {"<c r=\"A1048577\"><v>1</v></c>", "工作簿已损坏：工作表“表1”中的单元格位置“A1048577”不正确"},
      {"<c r=\"XFD3\"/><c><v>1</v></c>", "工作簿已损坏：工作表“表1”的单元格 XFE3 超出 16384 列"},
  };
  for (const auto& [cell, text] : cases) {
    const Error e = ErrorOf([&] { Cells("<sheetData><row r=\"3\">" + cell + "</row></sheetData>"); });
    EXPECT_EQ(e.number(), 1103) << cell;
    EXPECT_EQ(e.description(), text);
  }
  const Error e = ErrorOf([&] { Cells("<sheetData><row r=\"0\"/></sheetData>"); });
  EXPECT_EQ(e.description(), "工作簿已损坏：工作表“表1”的行号 0 不在 1 到 1048576 之间");
  // A cell may hold 32,767 characters: a text far longer is refused, not
  // held in memory.
  const std::string huge(kMaxTextBytes + 1, 'x');
  const Error long_text = ErrorOf([&] {
    Cells("<sheetData><row r=\"3\"><c r=\"B3\" t=\"inlineStr\"><is><t>" + huge + "</t></is></c></row></sheetData>");
  });
  EXPECT_EQ(long_text.description(), "工作簿已损坏：工作表“表1”的单元格 B3 的文字太长（超过 16 MB）");
}

// Cells reach the sink while the part is still being read: a part broken
// near its end has handed over what came before the break.
TEST(SheetReaderTest, TheStatedRangeIsOnlyAHintForRoom) {
  // Room is asked for the range <dimension> states, never more than the
  // part could hold; a range written any other way is passed over. The
  // cells read are the same whatever it says.
  struct Case {
    const char* dimension;
    std::uint64_t part_size;
    std::vector<std::size_t> reserved;
  };
  const Case cases[] = {
      {"<dimension ref=\"A1:J10001\"/>", 1 << 24, {100010}},
      {"<dimension ref=\"B2:C3\"/>", 1 << 24, {4}},
      {"<dimension ref=\"B2\"/>", 1 << 24, {1}},
      {"<dimension ref=\"A1:XFD1048576\"/>", 1600, {100}},  // 16 bytes a cell at the least
      {"<dimension ref=\"J10:A1\"/>", 1 << 24, {}},
      {"<dimension ref=\"A1:\"/>", 1 << 24, {}},
      {"<dimension ref=\"全部\"/>", 1 << 24, {}},
      {"<dimension/>", 1 << 24, {}},
      {"", 1 << 24, {}},
  };
  const std::string sheet_data = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c></row>"
                                 "<row r=\"4\"><c r=\"B4\"><v>2.5</v></c></row></sheetData>";
  for (const Case& c : cases) {
    const std::string part = std::string("<worksheet xmlns=\"m\">") + c.dimension + sheet_data + "</worksheet>";
    const std::string bytes = xlsx_builder::Package({{"s.xml", part}});
    MemoryFile file(bytes);
    const zip::ZipArchive zip(file);
    SheetContext context = Context();
    context.part_size = c.part_size;
    RecordingSink sink;
    ReadSheet(zip, "s.xml", context, sink);
    EXPECT_EQ(sink.reserved, c.reserved) << c.dimension;
    EXPECT_EQ(sink.cells, (std::vector<std::string>{"A1 n 1", "C1 s 2", "B4 n 2.5"})) << c.dimension;
  }
}

TEST(SheetReaderTest, CellsArriveAsThePartIsRead) {
  std::string rows;
  for (int r = 1; r <= 20000; ++r) rows += "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r) + "</v></c></row>";
  const std::string part = "<worksheet><sheetData>" + rows + "</sheetData><broken></worksheet>";
  const std::string bytes = xlsx_builder::Package({{"s.xml", part}});
  MemoryFile file(bytes);
  const zip::ZipArchive zip(file);
  RecordingSink sink;
  const Error e = ErrorOf([&] { ReadSheet(zip, "s.xml", Context(), sink); });
  EXPECT_EQ(e.number(), 1103);
  EXPECT_EQ(sink.cells.size(), 20000u);
}

TEST(SheetReaderTest, CellReferencesAndNames) {
  std::uint32_t row = 0, column = 0;
  const std::tuple<const char*, std::uint32_t, std::uint32_t> good[] = {
      {"A1", 0, 0}, {"Z9", 8, 25}, {"AA10", 9, 26}, {"XFD1048576", 1048575, 16383}, {"b2", 1, 1}};
  for (const auto& [text, r, c] : good) {
    ASSERT_TRUE(ParseCellReference(text, row, column)) << text;
    EXPECT_EQ(row, r);
    EXPECT_EQ(column, c);
    EXPECT_EQ(CellName(r, c), std::string(text) == "b2" ? "B2" : text);
  }
  for (const char* bad : {"", "A", "1", "A0", "A01", "XFE1", "AAAA1", "A1048577", "A1B", "$A$1", "A 1", "A-1", "@1", "[1", "`1", "{1", "A@1", "\xC1\x31"}) {
    EXPECT_FALSE(ParseCellReference(bad, row, column)) << bad;
  }
}

TEST(SheetReaderTest, IsoDatesAsSerials) {
  const std::pair<const char*, double> good[] = {
      {"1899-12-31", 0},          {"1900-01-01", 1},          {"1900-02-28", 59},
      {"1900-03-01", 61},         {"2023-03-15", 45000},      {"2023-03-15T12:00:00", 45000.5},
      {"2023-03-15T06:00", 45000.25}, {"2023-03-15T18:00:00Z", 45000.75},
      {"2023-03-15T18:00:00+08:00", 45000.75}, {"12:00:00", 0.5}, {"00:00:01.5", 1.5 / 86400},
      {"2000-02-29", 36585},      {"1899-12-30", -1},
  };
  for (const auto& [text, serial] : good) {
    double value = -99;
    ASSERT_TRUE(ParseIsoDate(text, value)) << text;
    EXPECT_DOUBLE_EQ(value, serial) << text;
  }
  for (const char* bad : {"", "2023", "2023-3-15", "2023-13-01", "1900-02-29", "2023-03-15T24:00:00",
                          "2023-03-15 12:00:00", "2023-03-15T12", "2023-03-15T12:00:00.", "12:60:00", "x"}) {
    double value = 0;
    EXPECT_FALSE(ParseIsoDate(bad, value)) << bad;
  }
}

}  // namespace
}  // namespace platform::data::xlsx
