#include "mdlpublic/mdlpublic.h"

#include <gtest/gtest.h>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"

namespace mdlpublic {
namespace {

using platform::Variant;

// Paths in these cases use '|' for the platform's separator.
std::string P(std::string s) {
  for (char& c : s) {
    if (c == '|') c = platform::kPathSeparator;
  }
  return s;
}

TEST(GetDirPartTest, CutsAtTheLastSeparator) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"D:|data|out.dbf", "D:|data"},
      {"D:|out.dbf", "D:"},          // the drive alone
      {"D:|data|", "D:|data"},       // a trailing separator goes, nothing else
      {"|name.dbf", ""},
      {"out.dbf", "out.dbf"},        // no separator: unchanged
      {"", ""},
      {"D:|数据|结果.dbf", "D:|数据"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetDirPart(P(c.path)), P(c.folder)) << c.path;
}

TEST(GetDirPartTest, SeparatorBeyondSixteenBitPositionsOverflows) {
  // Positions are 16-bit: a separator at 32,766 is the last one allowed.
  const std::string ok = std::string(32765, 'a') + platform::kPathSeparator + "b";
  EXPECT_EQ(GetDirPart(ok), std::string(32765, 'a'));
  const std::string too_far = std::string(32766, 'a') + platform::kPathSeparator + "b";
  try {
    GetDirPart(too_far);
    FAIL() << "expected overflow";
  } catch (const platform::Error& e) {
    EXPECT_EQ(e.number(), platform::err::kOverflow);
  }
  // A long name without a separator is fine.
  EXPECT_EQ(GetDirPart(std::string(40000, 'a')).size(), 40000u);
}

TEST(HasDbcsCharTest, TrueExactlyForDoubleByteCharacters) {
  EXPECT_FALSE(HasDbcsChar(Variant::Text(P("D:|data"))));
  EXPECT_TRUE(HasDbcsChar(Variant::Text(P("D:|数据"))));
  EXPECT_TRUE(HasDbcsChar(Variant::Text(" ，")));       // full-width comma
  EXPECT_FALSE(HasDbcsChar(Variant::Text("   ")));
  EXPECT_FALSE(HasDbcsChar(Variant::Text("")));
  EXPECT_FALSE(HasDbcsChar(Variant::Null()));
  EXPECT_FALSE(HasDbcsChar(Variant::Number(12)));
  EXPECT_FALSE(HasDbcsChar(Variant::Text("data €")));    // a single byte in the code page
  EXPECT_TRUE(HasDbcsChar(Variant::Text("café")));       // é is double-byte there
  EXPECT_FALSE(HasDbcsChar(Variant::Text("😀")));        // four-byte form, not double-byte
  EXPECT_FALSE(HasDbcsChar(Variant::Text("\xFF\xFE")));  // malformed text never raises
}

TEST(NullToDefaultTest, ReplacesOnlyNull) {
  EXPECT_EQ(NullToDefault(Variant::Null(), Variant::Text("")), Variant::Text(""));
  EXPECT_EQ(NullToDefault(Variant::Number(0), Variant::Text("")), Variant::Number(0));
  EXPECT_EQ(NullToDefault(Variant::Text(""), Variant::Text("x")), Variant::Text(""));
  EXPECT_EQ(NullToDefault(Variant::Boolean(false), Variant::Text("")), Variant::Boolean(false));
}

TEST(StagingNameTest, SixDigitsOfTheTimeOfDayKeepLeadingZeros) {
  EXPECT_EQ(StagingName({2026, 12, 7, 9, 5, 7}), "090507.dbf");
  EXPECT_EQ(StagingName({2026, 12, 7, 14, 30, 5}), "143005.dbf");
  EXPECT_EQ(StagingName({2026, 12, 7, 23, 59, 59}), "235959.dbf");
}

}  // namespace
}  // namespace mdlpublic

#include "platform/data/connection.h"
#include "platform/data/connection_text.h"
#include "support/fake_providers.h"
#include "support/temp_dir.h"

namespace mdlpublic {
namespace {

using testing_support::FakeProviders;
using testing_support::FakeWorkbook;
using testing_support::InjectedFault;

TEST(CreateDbfTableTest, OpensTheDbaseDriverOnTheFolderAndCreatesATimeNamedTable) {
  testing_support::TempDir dir;
  FakeProviders providers{FakeWorkbook{}};
  platform::data::Connection connection(providers);
  const platform::FixedClock clock({2026, 12, 7, 9, 5, 7});
  const std::string name = CreateDbfTable(dir.path(), "([Code]  CHAR(8),[名称]  CHAR(100))", connection, clock);
  EXPECT_EQ(name, "090507.dbf");
  EXPECT_EQ(providers.log.opened, std::vector<std::string>{"dbase:" + dir.path()});
  EXPECT_EQ(providers.log.statements,
            std::vector<std::string>{"CREATE TABLE " + dir.File("090507.dbf") +
                                     "  ([Code]  CHAR(8),[名称]  CHAR(100))"});
  EXPECT_EQ(connection.State(), platform::data::adStateOpen);
  EXPECT_EQ(connection.CursorLocation(), platform::data::adUseClient);
  EXPECT_NE(strSql.find("CREATE"), 0u);  // the create statement never passes through strSql
}

TEST(CreateDbfTableTest, EmptyFolderNamesTheTableRightAfterTheSeparator) {
  FakeProviders providers{FakeWorkbook{}};
  providers.fault = {InjectedFault::At::kExecute, 1, 76, "路径未找到"};
  platform::data::Connection connection(providers);
  const platform::FixedClock clock({2026, 12, 7, 14, 30, 5});
  EXPECT_THROW(CreateDbfTable("", "([A]  CHAR(1))", connection, clock), platform::Error);
  EXPECT_EQ(providers.log.statements.at(0),
            std::string("CREATE TABLE ") + platform::kPathSeparator + "143005.dbf  ([A]  CHAR(1))");
}

TEST(OpenRecordsetTest, ReopensAnOpenRecordsetOnTheNewStatement) {
  FakeWorkbook book;
  book.sheet.fields = {{"A", 1}};
  book.sheet.rows = {{platform::Variant::Text("x")}};
  FakeProviders providers(book);
  platform::data::Connection connection(providers);
  connection.Open(platform::data::WorkbookConnectionText("b.xls"));
  platform::data::Recordset rs;
  OpenRecordset(rs, "select * from  [Sheet1$]", connection);
  rs.MoveNext();
  OpenRecordset(rs, "select * from  [Sheet2$]", connection);
  EXPECT_FALSE(rs.IsEOF());  // a fresh cursor on the first row
  EXPECT_EQ(providers.log.queries,
            (std::vector<std::string>{"select * from  [Sheet1$]", "select * from  [Sheet2$]"}));
}

}  // namespace
}  // namespace mdlpublic
