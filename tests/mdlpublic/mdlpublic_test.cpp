#include "mdlpublic/mdlpublic.h"

#include <gtest/gtest.h>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/error.h"
#include "support/errors.h"

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
  const platform::Error e = testing_support::ErrorOf([&] { GetDirPart(too_far); });
  EXPECT_EQ(e.number(), platform::err::kOverflow);
  EXPECT_EQ(e.description(), "溢出：路径中文件夹分隔符的位置超过 32766");
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

#include <filesystem>

#include "platform/data/connection.h"
#include "platform/data/connection_text.h"
#include "platform/data/providers/providers.h"
#include "support/errors.h"
#include "support/fake_providers.h"
#include "support/faulty_filesystem.h"
#include "support/temp_dir.h"

namespace mdlpublic {
namespace {

using testing_support::FakeProviders;
using testing_support::FakeWorkbook;

TEST(CreateDbfTableTest, OpensTheDbaseDriverOnTheFolderAndCreatesATimeNamedTable) {
  testing_support::TempDir dir;
  FakeProviders providers(platform::RealFileSystem());
  platform::data::Connection connection(providers);
  const platform::FixedClock clock({2026, 12, 7, 9, 5, 7});
  const std::string name =
      CreateDbfTable(dir.path(), "([Code]  CHAR(8),[名称]  CHAR(100))", connection, clock, "result.dbf");
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
  FakeProviders providers(platform::RealFileSystem());
  providers.FailAt(testing_support::ProviderOp::kExecute, 1, platform::err::kPathNotFound, "路径未找到");
  platform::data::Connection connection(providers);
  const platform::FixedClock clock({2026, 12, 7, 14, 30, 5});
  EXPECT_EQ(testing_support::ErrorOf([&] { CreateDbfTable("", "([A]  CHAR(1))", connection, clock, "x.dbf"); })
                .number(),
            platform::err::kPathNotFound);
  EXPECT_EQ(providers.log.statements.at(0),
            std::string("CREATE TABLE ") + platform::kPathSeparator + "143005.dbf  ([A]  CHAR(1))");
}

// A month file 202301.dbf or another run's staging file may hold the
// time's name: the next free second's name is taken, nothing existing is
// touched, and the target's own name is never used.
TEST(CreateDbfTableTest, TakenNamesArePassedOverUntouched) {
  const struct {
    platform::LocalTime time;
    std::vector<std::string> taken;  // files, except a trailing "/" for a folder
    const char* avoid;
    const char* expected;
  } cases[] = {
      {{2023, 1, 1, 20, 23, 1}, {"202301.dbf", "202302.dbf/"}, "202303.DBF", "202304.dbf"},
      {{2023, 1, 1, 23, 59, 59}, {"235959.dbf"}, "result.dbf", "000000.dbf"},  // past midnight
      {{2023, 1, 1, 9, 0, 0}, {}, "090000.dbf", "090001.dbf"},
  };
  for (const auto& c : cases) {
    testing_support::TempDir dir;
    for (const std::string& name : c.taken) {
      if (name.back() == '/') {
        std::filesystem::create_directory(platform::ToFsPath(dir.File(name.substr(0, name.size() - 1))));
      } else {
        testing_support::WriteFileBytes(dir.File(name), "mine");
      }
    }
    FakeProviders providers(platform::RealFileSystem());
    platform::data::Connection connection(providers);
    const platform::FixedClock clock(c.time);
    EXPECT_EQ(CreateDbfTable(dir.path(), "([A]  CHAR(1))", connection, clock, c.avoid), c.expected);
    for (const std::string& name : c.taken) {
      if (name.back() != '/') {
        EXPECT_EQ(testing_support::ReadFileBytes(dir.File(name)), "mine") << name;
      }
    }
    EXPECT_EQ(connection.State(), platform::data::adStateOpen);
  }
}

TEST(CreateDbfTableTest, GivesUpWithAClearErrorWhenEveryNameIsTaken) {
  testing_support::TempDir dir;
  testing_support::FaultyFileSystem files(platform::RealFileSystem());
  constexpr int kNamesInADay = 24 * 60 * 60;
  files.FailAt(testing_support::FileOp::kCreate, 1, platform::err::kFileExists, "文件已存在",
               kNamesInADay);
  const platform::FixedClock clock({2023, 1, 1, 12, 0, 0});
  const auto providers = platform::data::MakeProviders(files, clock);
  platform::data::Connection connection(*providers);
  const platform::Error e = testing_support::ErrorOf(
      [&] { CreateDbfTable(dir.path(), "([A]  CHAR(1))", connection, clock, "result.dbf"); });
  EXPECT_EQ(e.number(), platform::err::kFileExists);
  EXPECT_EQ(e.description(), "文件夹中 000000.dbf 到 235959.dbf 的临时文件名都已被占用：" + dir.path());
  EXPECT_EQ(files.calls(testing_support::FileOp::kCreate), kNamesInADay);
}

TEST(OpenRecordsetTest, ReopensAnOpenRecordsetOnTheNewStatement) {
  FakeWorkbook book;
  book.sheet.fields = {{"A", 1}};
  book.sheet.rows = {{platform::Variant::Text("x")}};
  FakeProviders providers(platform::RealFileSystem(), book);
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
