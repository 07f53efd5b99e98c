#include "platform/data/xls/workbook_provider.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/data/connection.h"
#include "platform/data/connection_text.h"
#include "platform/data/xls/biff_records.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/ascii.h"
#include "platform/runtime/error.h"
#include "support/real_services.h"
#include "support/temp_dir.h"
#include "xls_builder.h"
#include "support/errors.h"

namespace platform::data::xls {
namespace {

using namespace xls_builder;

std::string Fixture(const std::string& name) {
  return testing_support::SourceDir() + "/tests/fixtures/" + name;
}

std::string ConnectionText(const std::string& path) { return WorkbookConnectionText(path); }

using testing_support::ErrorOf;

std::vector<std::string> TableNames(Session& session) {
  auto schema = session.OpenSchema(adSchemaTables);
  std::vector<std::string> names;
  Variant v;
  for (std::int64_t r = 0; r < schema->RowCount(); ++r) {
    schema->ReadValue(r, 2, v);
    names.push_back(v.ToText());
  }
  EXPECT_EQ(schema->Fields()[2].name, "TABLE_NAME");
  return names;
}

// The file keeps the bytes: a session reads them long after it opens,
// when a caller's temporary would be gone.
std::unique_ptr<Session> OpenBytes(std::string bytes) {
  return OpenWorkbookSession(std::make_unique<OwnedMemoryFile>(std::move(bytes)));
}

TEST(WorkbookProviderTest, SchemaListsVisibleWorksheetsThenHiddenOnes) {
  auto session = OpenWorkbookSession(RealFileSystem(), Fixture("sheets.xls"));
  // Names holding anything but letters, digits and '_' are quoted.
  EXPECT_EQ(TableNames(*session), (std::vector<std::string>{"'Sheet 1$'", "'O'Brien$'", "销售_2023$", "Hidden$"}));
  // The run strips every apostrophe and selects by what is left.
  auto rows = session->Query("select * from  [OBrien$]");
  Variant v;
  rows->ReadValue(0, 0, v);
  EXPECT_EQ(v, Variant::Text("O'Brien"));
  rows = session->Query("SELECT * FROM  [Sheet 1$]");
  rows->ReadValue(0, 0, v);
  EXPECT_EQ(v, Variant::Text("from Sheet 1"));
}

TEST(WorkbookProviderTest, ChartAndMacroSheetsAreNotListed) {
  auto session = OpenWorkbookSession(RealFileSystem(), Fixture("records_biff8.xls"));
  EXPECT_EQ(TableNames(*session), (std::vector<std::string>{"Records$", "Hidden$"}));
}

TEST(WorkbookProviderTest, UsedRangeByContentWithGeneratedFieldNames) {
  // offset.xls: content in C3:F7; D3 and F3 empty; row 6 empty; an empty
  // text cell at J10 and an empty formula result at B9 do not count.
  Connection connection(testing_support::RealProviders());
  connection.Open(ConnectionText(Fixture("offset.xls")));
  Recordset rs;
  rs.Open(Variant::Text("select * from  [Offset$]"), connection);
  ASSERT_EQ(rs.fields().Count(), 4);
  EXPECT_EQ(rs.fields()[0].Name(), "first");
  EXPECT_EQ(rs.fields()[1].Name(), "F2");
  EXPECT_EQ(rs.fields()[2].Name(), "third");
  EXPECT_EQ(rs.fields()[3].Name(), "F4");
  EXPECT_EQ(rs.RecordCount(), 4);
  std::vector<std::string> rows;
  for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
    std::string row;
    for (int i = 0; i < 4; ++i) row += (rs.fields()[i].Value().IsNull() ? "-" : rs.fields()[i].Value().ToText()) + "|";
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"-|42|-|-|", "x|-|-|-|", "-|-|-|-|", "-|-|-|corner|"}));
  // Widest text form, at least 1 (the empty third column).
  EXPECT_EQ(rs.fields()[0].DefinedSize(), 1);
  EXPECT_EQ(rs.fields()[1].DefinedSize(), 2);
  EXPECT_EQ(rs.fields()[2].DefinedSize(), 1);
  EXPECT_EQ(rs.fields()[3].DefinedSize(), 6);
}

TEST(WorkbookProviderTest, ValuesKeepTheirKindAndSizesCountCodePage936Bytes) {
  Connection connection(testing_support::RealProviders());
  connection.Open(ConnectionText(Fixture("basic.xls")));
  Recordset rs;
  rs.Open(Variant::Text("select * from  [数据$]"), connection);
  ASSERT_EQ(rs.fields().Count(), 10);
  EXPECT_EQ(rs.RecordCount(), 5);
  rs.MoveFirst();
  const auto& f = rs.fields();
  EXPECT_EQ(f[0].Value(), Variant::Number(1));
  EXPECT_EQ(f[1].Value(), Variant::Text("张三"));
  EXPECT_EQ(f[2].Value(), Variant::Text("O'Brien"));
  EXPECT_EQ(f[3].Value(), Variant::Number(3.14));
  EXPECT_EQ(f[4].Value(), Variant::Number(13800138000));
  EXPECT_EQ(f[5].Value().ToText(), "2023-01-15");
  EXPECT_EQ(f[6].Value().ToText(), "08:30:00");
  EXPECT_EQ(f[7].Value().ToText(), "2023-01-15 08:30:00");
  EXPECT_EQ(f[8].Value(), Variant::Boolean(true));
  // The long number is not cut to 8: its field is as wide as its widest
  // value ("0.333333333333333").
  EXPECT_EQ(f[4].DefinedSize(), 17);
  EXPECT_EQ(f[1].DefinedSize(), 6);   // "𠀀字": 4 + 2 bytes
  EXPECT_EQ(f[5].DefinedSize(), 10);
  EXPECT_EQ(f[7].DefinedSize(), 19);
  EXPECT_EQ(f[8].DefinedSize(), 5);   // "False"
  rs.MoveNext();
  rs.MoveNext();
  rs.MoveNext();
  EXPECT_TRUE(f[9].Value().IsNull());  // #DIV/0! is null
}

TEST(WorkbookProviderTest, EmptySheetGivesAnEmptyTable) {
  auto session = OpenWorkbookSession(RealFileSystem(), Fixture("empty_sheet.xls"));
  auto rows = session->Query("select * from  [Empty$]");
  EXPECT_EQ(rows->Fields().size(), 0u);
  EXPECT_EQ(rows->RowCount(), 0);
}

TEST(WorkbookProviderTest, NoWorksheetListsNothingAndTheEmptySelectFails) {
  auto session = OpenBytes(Compound({{"Workbook", Biff8Stream("", {{"Chart", "", 0, 2}})}}).bytes);
  EXPECT_TRUE(TableNames(*session).empty());
  EXPECT_EQ(ErrorOf([&] { session->Query("select * from  []"); }).number(), err::kTableNotFound);
}

TEST(WorkbookProviderTest, FilesThatAreNotExcel97Workbooks) {
  const std::string biff8 = Biff8Stream("", {{"S", Number(0, 0, 15, 1)}});
  struct Case {
    const char* what;
    std::string bytes;
    int number;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"empty", "", err::kNotAWorkbook, "不是 Excel 工作簿：文件是空的"},
      {"text", "名称,数量\n苹果,1\n", err::kNotAWorkbook, "不是 Excel 工作簿（.xls 或 .xlsx）"},
      // ZIP packages never reach this reader: the provider factory sends
      // them to the .xlsx reader.
      {"xlsx", std::string("PK\x03\x04", 4) + std::string(100, '\0'), err::kNotAWorkbook, "不是 Excel 工作簿（.xls 或 .xlsx）"},
      {"Word-like", Compound({{"WordDocument", std::string(5000, 'w')}}).bytes, err::kNotAWorkbook,
       "不是 Excel 97-2003 工作簿：文件中没有工作簿数据"},
      {"encrypted xlsx", Compound({{"EncryptionInfo", "x"}, {"EncryptedPackage", std::string(5000, 'e')}}).bytes,
       err::kWorkbookEncrypted, "工作簿已加密，无法读取"},
      {"BIFF4", Record(0x0409, U16(0) + U16(0x0010)) + Eof(), err::kNotAWorkbook,
       "不是 Excel 97-2003 工作簿：这是 Excel 2.x-4.0 的旧格式，请在 Excel 中另存为 97-2003 格式"},
      {"truncated", Compound({{"Workbook", biff8}}).bytes.substr(0, 700), err::kWorkbookDamaged, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Error e = ErrorOf([&] { OpenBytes(c.bytes); });
    EXPECT_EQ(e.number(), c.number);
    if (!c.text.empty()) {
      EXPECT_EQ(e.description(), c.text);
    }
  }
}

TEST(WorkbookProviderTest, StreamNamedBookAndUpperCaseWorkbookAreFound) {
  const std::string biff8 = Biff8Stream("", {{"S", Label(0, 0, "h") + Number(1, 0, 15, 7)}});
  for (const char* name : {"WORKBOOK", "Book"}) {
    auto session = OpenBytes(Compound({{name, biff8}}).bytes);
    auto rows = session->Query("select * from  [S$]");
    Variant v;
    rows->ReadValue(0, 0, v);
    EXPECT_EQ(v, Variant::Number(7)) << name;
  }
}

// A BIFF8 string of zero characters written without its option byte at
// the end of a record is an empty cell value, as Excel reads it; a record
// that ends where one or more characters are claimed is damage.
TEST(WorkbookProviderTest, EmptyStringsWithoutAnOptionByteAreEmptyText) {
  const std::string empty_label = Record(rec::kLabel, U16(1) + U16(1) + U16(15) + U16(0));
  const std::string formula = Formula(1, 2, 15, FormulaResult(0));  // a text result: STRING follows
  const std::string empty_result = Record(rec::kString, U16(0));
  const std::string header = Label(0, 0, "a") + Label(0, 1, "b") + Label(0, 2, "c");
  const std::string body = header + Number(1, 0, 15, 1) + empty_label + formula + empty_result + Number(2, 0, 15, 2);
  auto session = OpenBytes(Compound({{"Workbook", Biff8Stream("", {{"S", body}})}}).bytes);
  auto rows = session->Query("select * from  [S$]");
  ASSERT_EQ(rows->RowCount(), 2);
  Variant v;
  rows->ReadValue(0, 1, v);
  EXPECT_EQ(v, Variant::Text(""));
  rows->ReadValue(0, 2, v);
  EXPECT_EQ(v, Variant::Text(""));
  EXPECT_EQ(rows->Fields()[1].defined_size, 1);

  const std::string one_char = Record(rec::kLabel, U16(1) + U16(1) + U16(15) + U16(1));
  const std::string stream = Biff8Stream("", {{"S", header + one_char}});
  const Error e = ErrorOf([&] { OpenBytes(Compound({{"Workbook", stream}}).bytes)->Query("select * from  [S$]"); });
  EXPECT_EQ(e.number(), err::kWorkbookDamaged);
  EXPECT_EQ(e.description(), "工作簿已损坏：工作表“S”第 2 行第 2 列的单元格记录不完整");
}

// Shared strings: few are decoded at once, many beside the sheet's first
// scan. Either way the cells get their own strings, and a cell naming a
// missing one is the fault told even when damage follows it.
TEST(WorkbookProviderTest, SharedStringsFewOrManyReachTheirCells) {
  for (const std::uint32_t count : {3u, 8000u}) {
    SCOPED_TRACE(count);
    std::vector<std::string> records;
    std::string piece = U32(count) + U32(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::u16string digits;
      for (const char c : std::to_string(i)) digits += static_cast<char16_t>(c);
      const std::string text = Utf16String(u"共享字符串第" + digits + u"个");
      if (piece.size() + text.size() > 8000) {  // a new CONTINUE at a string's start
        records.push_back(piece);
        piece.clear();
      }
      piece += text;
    }
    records.push_back(piece);
    std::string globals = Record(rec::kSst, records[0]);
    for (std::size_t k = 1; k < records.size(); ++k) globals += Record(rec::kContinue, records[k]);
    const auto label_sst = [](unsigned row, std::uint32_t index) {
      return Record(rec::kLabelSst, U16(row) + U16(0) + U16(15) + U32(index));
    };
    std::string body = Label(0, 0, "name");
    const std::uint32_t indexes[] = {0, count / 2, count - 1};
    for (unsigned r = 0; r < 3; ++r) body += label_sst(r + 1, indexes[r]);
    auto session = OpenBytes(Compound({{"Workbook", Biff8Stream(globals, {{"S", body}})}}).bytes);
    auto rows = session->Query("select * from  [S$]");
    ASSERT_EQ(rows->RowCount(), 3);
    Variant v;
    for (unsigned r = 0; r < 3; ++r) {
      rows->ReadValue(r, 0, v);
      EXPECT_EQ(v, Variant::Text("共享字符串第" + std::to_string(indexes[r]) + "个"));
    }

    const std::string short_cell = Record(rec::kLabelSst, U16(5) + U16(0) + U16(15));
    const std::string damaged = Biff8Stream(globals, {{"S", body + label_sst(4, count) + short_cell}});
    const Error e = ErrorOf([&] { OpenBytes(Compound({{"Workbook", damaged}}).bytes)->Query("select * from  [S$]"); });
    EXPECT_EQ(e.number(), err::kWorkbookDamaged);
    EXPECT_EQ(e.description(), "工作簿已损坏：单元格引用了不存在的共享字符串 " + std::to_string(count));
  }
}

TEST(WorkbookProviderTest, MissingFileIsTheFileSystemsError) {
  testing_support::TempDir dir;
  const Error e = ErrorOf([&] { OpenWorkbookSession(RealFileSystem(), dir.File("none.xls")); });
  EXPECT_EQ(e.number(), err::kFileNotFound);
}

// Inputs the fuzzer once found troublesome: each must open or fail with
// an Error, never crash.
TEST(WorkbookProviderTest, FuzzRegressionsFailCleanly) {
  const std::string folder = Fixture("fuzz");
  if (!std::filesystem::is_directory(ToFsPath(folder))) GTEST_SKIP() << "no fuzz regressions";
  for (const auto& entry : std::filesystem::directory_iterator(ToFsPath(folder))) {
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = testing_support::ReadFileBytes(FromFsPath(entry.path()));
    try {
      auto session = OpenBytes(bytes);
      auto schema = session->OpenSchema(adSchemaTables);
      if (schema->RowCount() > 0) {
        Variant name;
        schema->ReadValue(0, 2, name);
        auto rows = session->Query("select * from  [" + ascii::WithoutApostrophes(name.ToText()) + "]");
        Variant v;
        for (std::int64_t r = 0; r < rows->RowCount(); ++r) {
          for (std::size_t c = 0; c < rows->Fields().size(); ++c) rows->ReadValue(r, static_cast<int>(c), v);
        }
      }
    } catch (const Error& e) {
      // What a workbook's bytes can cause: refused, encrypted, damaged, too
      // large to hold.
      EXPECT_TRUE(e.number() == err::kNotAWorkbook || e.number() == err::kWorkbookEncrypted ||
                  e.number() == err::kWorkbookDamaged || e.number() == err::kOutOfMemory)
          << e.number() << " " << e.description();
    }
  }
}

}  // namespace
}  // namespace platform::data::xls
