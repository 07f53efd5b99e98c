#include "platform/data/xlsx/xlsx_workbook.h"

#include <gtest/gtest.h>

#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/errors.h"
#include "../xls/xls_builder.h"
#include "xlsx_builder.h"

namespace platform::data::xlsx {
namespace {

using testing_support::ErrorOf;
using namespace xlsx_builder;

// The session over bytes held by the test (MemoryFile does not copy).
std::unique_ptr<Session> Open(const std::string& bytes) {
  return OpenWorkbookFile(std::make_unique<MemoryFile>(bytes));
}

std::vector<std::string> TableNames(Session& session) {
  auto schema = session.OpenSchema(adSchemaTables);
  std::vector<std::string> names;
  Variant v;
  for (std::int64_t r = 0; r < schema->RowCount(); ++r) {
    schema->ReadValue(r, 2, v);
    names.push_back(v.ToText());
  }
  return names;
}

// Every value of the table as text, row by row.
std::vector<std::vector<std::string>> Values(const RowSource& rows) {
  std::vector<std::vector<std::string>> out;
  Variant v;
  for (std::int64_t r = 0; r < rows.RowCount(); ++r) {
    out.emplace_back();
    for (std::size_t f = 0; f < rows.Fields().size(); ++f) {
      rows.ReadValue(r, static_cast<int>(f), v);
      out.back().push_back(v.ToText());
    }
  }
  return out;
}

TEST(XlsxProviderTest, WorksheetsListedVisibleFirstAndReadAsTables) {
  const std::string data =
      "<sheetData><row r=\"2\"><c r=\"B2\" t=\"s\"><v>0</v></c><c r=\"C2\" t=\"inlineStr\"><is><t>金额</t></is></c>"
      "<c r=\"D2\"/></row>"
      "<row r=\"3\"><c r=\"B3\" s=\"1\"><v>45000.5</v></c><c r=\"C3\"><v>1234.5</v></c><c r=\"D3\" t=\"b\"><v>1</v></c>"
      "</row><row r=\"5\"><c r=\"C5\" t=\"s\"><v>1</v></c></row></sheetData>";
  const std::string bytes = Package(Workbook({{"Hidden", "<sheetData/>", "hidden"},
                                              {"Chart", "", "", "chartsheet"},
                                              {"数据 1", data},
                                              {"Plain", "<sheetData/>"}},
                                             SharedStrings({"<si><t>日期</t></si>", "<si><t>苹果</t></si>"}),
                                             Styles({0, 14})));
  auto session = Open(bytes);
  EXPECT_EQ(TableNames(*session), (std::vector<std::string>{"'数据 1$'", "Plain$", "Hidden$"}));
  auto rows = session->Query("select * from  [数据 1$]");
  ASSERT_EQ(rows->Fields().size(), 3u);
  EXPECT_EQ(rows->Fields()[0].name, "日期");
  EXPECT_EQ(rows->Fields()[1].name, "金额");
  EXPECT_EQ(rows->Fields()[2].name, "F3");
  EXPECT_EQ(rows->Fields()[0].defined_size, 19);  // "2023-03-15 12:00:00"
  EXPECT_EQ(rows->Fields()[1].defined_size, 6);   // "1234.5" and 苹果 (4 bytes)
  EXPECT_EQ(Values(*rows), (std::vector<std::vector<std::string>>{
                               {"2023-03-15 12:00:00", "1234.5", "True"}, {"", "", ""}, {"", "苹果", ""}}));
  const Error e = ErrorOf([&] { session->Query("select * from  [Chart$]"); });
  EXPECT_EQ(e.number(), err::kTableNotFound);
}

TEST(XlsxProviderTest, TheFormatIsToldByContentNotByName) {
  const std::string ods = "application/vnd.oasis.opendocument.spreadsheet";
  struct Case {
    const char* what;
    std::string bytes;
    int number;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"xlsb", Package({{"_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.bin"}})},
                        {"xl/workbook.bin", std::string("\x83\x01\x00\x00", 4)}}),
       err::kNotAWorkbook, "不是可以读取的工作簿：这是 Excel 二进制工作簿（.xlsb），请在 Excel 中另存为 .xlsx 格式"},
      {"ods", Package({{"mimetype", ods}, {"content.xml", "<x/>"}}), err::kNotAWorkbook,
       "不是 Excel 工作簿：这是 OpenDocument 电子表格（.ods），请另存为 .xlsx 格式"},
      {"docx", Package({{"_rels/.rels", Rels({{"r", "officeDocument", "word/document.xml"}})},
                        {"word/document.xml", "<w:document xmlns:w=\"w\"/>"}}),
       err::kNotAWorkbook, "不是 Excel 工作簿：这是其他类型的文档（不是电子表格）"},
      {"zip", Package({{"a.txt", "hello"}}), err::kNotAWorkbook, "不是 Excel 工作簿：这是普通的 ZIP 压缩文件"},
      {"empty zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'), err::kNotAWorkbook,
       "不是 Excel 工作簿：这是普通的 ZIP 压缩文件"},
      {"encrypted package",
       xls_builder::Compound({{"EncryptionInfo", "x"}, {"EncryptedPackage", std::string(5000, 'e')}}).bytes,
       err::kWorkbookEncrypted, "工作簿已加密，无法读取"},
      {"damaged sheet",
       Package(Workbook({{"S", "<sheetData><row><c><v>1</v></c></row>"}})), err::kWorkbookDamaged,
       "工作簿已损坏：xl/worksheets/sheet1.xml 不是正确的 XML：结束标记 </worksheet> 与开始标记 <sheetData> 不配对（第 192 字节）"},
      {"text", "just some text", err::kNotAWorkbook, "不是 Excel 工作簿（.xls 或 .xlsx）"},
  };
  for (const Case& c : cases) {
    const Error e = ErrorOf([&] {
      auto session = Open(c.bytes);
      session->Query("select * from  [" + TableNames(*session).at(0) + "]");
    });
    EXPECT_EQ(e.number(), c.number) << c.what;
    EXPECT_EQ(e.description(), c.text) << c.what;
  }
}

// A sheet whose relationship names no part is damage, reported when it is
// selected (the schema still lists it).
// Shared strings: a small part is read at once, a big one beside the
// sheet's first scan. Either way the cells get their strings, and a cell
// naming a missing one is the fault told, by its cell, even when damage
// follows it.
TEST(XlsxProviderTest, SharedStringsSmallOrBigReachTheirCells) {
  for (const int count : {3, 8000}) {
    SCOPED_TRACE(count);
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) items.push_back("<si><t>共享字符串第" + std::to_string(i) + "个</t></si>");
    const std::string strings = SharedStrings(items);
    const int indexes[] = {0, count / 2, count - 1};
    std::string rows = "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>name</t></is></c></row>";
    for (int r = 0; r < 3; ++r) {
      rows += "<row r=\"" + std::to_string(r + 2) + "\"><c r=\"A" + std::to_string(r + 2) + "\" t=\"s\"><v>" +
              std::to_string(indexes[r]) + "</v></c></row>";
    }
    const std::string bytes = Package(Workbook({{"S", "<sheetData>" + rows + "</sheetData>"}}, strings));
    auto session = Open(bytes);
    auto table = session->Query("select * from  [S$]");
    std::vector<std::vector<std::string>> expected;
    for (const int i : indexes) expected.push_back({"共享字符串第" + std::to_string(i) + "个"});
    EXPECT_EQ(Values(*table), expected);

    const std::string missing = "<row r=\"5\"><c r=\"B5\" t=\"s\"><v>" + std::to_string(count) + "</v></c></row>";
    const std::string damage = "<row r=\"6\"><c r=\"A6\"><v>not a number</v></c></row>";
    const std::string damaged =
        Package(Workbook({{"S", "<sheetData>" + rows + missing + damage + "</sheetData>"}}, strings));
    const Error e = ErrorOf([&] { Open(damaged)->Query("select * from  [S$]"); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(),
              "工作簿已损坏：工作表“S”的单元格 B5 引用了不存在的共享字符串“" + std::to_string(count) + "”");
  }
}

TEST(XlsxProviderTest, ASheetWithoutItsPartIsDamage) {
  Parts parts = Workbook({{"A", "<sheetData/>"}});
  parts.erase(parts.begin() + 3);  // xl/worksheets/sheet1.xml
  const std::string bytes = Package(parts);
  auto session = Open(bytes);
  EXPECT_EQ(TableNames(*session), std::vector<std::string>{"A$"});
  const Error e = ErrorOf([&] { session->Query("select * from  [A$]"); });
  EXPECT_EQ(e.number(), err::kWorkbookDamaged);
  EXPECT_EQ(e.description(), "工作簿已损坏：找不到 xl/worksheets/sheet1.xml");
}

}  // namespace
}  // namespace platform::data::xlsx
