#include "platform/data/dbase/dbase_provider.h"
#include "platform/data/providers/providers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "mdlpublic/mdlpublic.h"
#include "platform/codepage/codepage.h"
#include "platform/data/connection.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "support/dbf_table.h"
#include "support/errors.h"
#include "support/faulty_filesystem.h"
#include "support/temp_dir.h"

namespace platform::data::dbase {
namespace {

using testing_support::DbfTable;
using testing_support::FileOp;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

const LocalTime kNow = {2024, 3, 5, 14, 30, 5};

// The table file at path, which must be complete and exactly as long as
// its header says.
DbfTable ReadTable(const std::string& path) {
  DbfTable table = testing_support::ReadDbfFile(path);
  EXPECT_TRUE(table.complete()) << path << ": " << table.problem;
  EXPECT_EQ(table.trailing, 0u) << path;
  return table;
}

// Each warning's kind, field and row, as "kind|field|row".
std::vector<std::string> KindsFieldsRows(const WarningList& warnings) {
  std::vector<std::string> out;
  for (const Warning& w : warnings.listed) {
    out.push_back(std::to_string(static_cast<int>(w.kind)) + "|" + w.field + "|" + std::to_string(w.row));
  }
  return out;
}

// f must raise the error with this number and a description holding needle.
void ExpectError(int number, const std::function<void()>& f, const char* needle = "") {
  const Error e = testing_support::ErrorOf(f);
  EXPECT_EQ(e.number(), number) << e.description();
  EXPECT_NE(e.description().find(needle), std::string::npos) << e.description();
}

// Every case runs with rows written by the caller and on the session's
// own thread: the two must make the same tables and tell the same.
class DbaseProviderTest : public ::testing::TestWithParam<WriteMode> {
 protected:
  std::unique_ptr<Session> Open(FileSystem& fs = RealFileSystem()) {
    return OpenDbaseSession(fs, clock, dir.path(), GetParam());
  }
  std::string Create(const std::string& defs, const std::string& name = "143005.dbf") {
    return "CREATE TABLE " + dir.File(name) + "  " + defs;
  }
  std::string Insert(const std::string& names, const std::string& values,
                     const std::string& name = "143005.dbf") {
    return "insert into  " + dir.File(name) + "  (" + names + ")  values (" + values + ")";
  }

  TempDir dir;
  FixedClock clock{kNow};
};

TEST_P(DbaseProviderTest, WritesTheRunsStatements) {
  auto session = Open();
  session->Execute(Create("([Code]  CHAR(8),[名称]  CHAR(100))"));
  session->Execute(Insert("Code,名称", "'1','苹果'"));
  session->Execute(Insert("Code,名称", "'O''Brien','€5'"));
  session->Close();
  const DbfTable table = ReadTable(dir.File("143005.dbf"));
  ASSERT_EQ(table.count, 2u);
  EXPECT_EQ(table.records[0], "1       " + codepage::ToCp936("苹果") + std::string(96, ' '));
  EXPECT_EQ(table.records[1], "O'Brien " + std::string("\x80" "5") + std::string(98, ' '));
  EXPECT_TRUE(session->DataWarnings().empty());
}

TEST_P(DbaseProviderTest, ValuesAreCutWithoutSplittingACharacterAndTold) {
  auto session = Open();
  session->Execute(Create("([A]  CHAR(3),[B]  CHAR(4),[C]  CHAR(5))"));
  // 苹果 is 4 bytes; 😀 takes four in its GB18030 form.
  session->Execute(Insert("A,B,C", "'苹果','a😀😀','a😀😀'"));
  session->Execute(Insert("A,B,C", "'abc','abcd','abcde'"));  // exact fits are not cuts
  session->Close();
  const DbfTable table = ReadTable(dir.File("143005.dbf"));
  ASSERT_EQ(table.count, 2u);
  EXPECT_EQ(table.records[0],
            codepage::ToCp936("苹") + " " + "a   " + "a" + codepage::ToCp936("😀"));
  EXPECT_EQ(table.records[1], "abcabcdabcde");
  EXPECT_EQ(session->DataWarnings().Lines(),
            (std::vector<std::string>{
                "第 1 行字段“A”的值长 4 个字节，超过字段宽度 3，截断为 2 个字节",
                "第 1 行字段“B”的值长 9 个字节，超过字段宽度 4，截断为 1 个字节",
                "第 1 行字段“C”的值长 9 个字节，超过字段宽度 5，截断为 5 个字节",
                "第 1 行字段“C”中有 1 个字符不在代码页 936 中，以 GB18030 形式写入",
            }));
  const std::string cut = std::to_string(static_cast<int>(WarningKind::kValueCut));
  const std::string four_byte = std::to_string(static_cast<int>(WarningKind::kValueFourByte));
  EXPECT_EQ(KindsFieldsRows(session->DataWarnings()),
            (std::vector<std::string>{cut + "|A|1", cut + "|B|1", cut + "|C|1", four_byte + "|C|1"}));
}

TEST_P(DbaseProviderTest, RenamedFieldsAreTold) {
  auto session = Open();
  session->Execute(Create("([Code]  CHAR(1),[code]  CHAR(1),[一二三四五六]  CHAR(1),[😀]  CHAR(1))"));
  session->Close();
  const std::string header = ReadFileBytes(dir.File("143005.dbf"));
  EXPECT_EQ(header.substr(64, 11), std::string("code_2") + std::string(5, '\0'));
  EXPECT_EQ(header.substr(96, 11), codepage::ToCp936("一二三四五") + '\0');
  EXPECT_EQ(session->DataWarnings().Lines(),
            (std::vector<std::string>{
                "字段名“code”与前面的字段重名，改为“code_2”",
                "字段名“一二三四五六”超过 10 个字节，改为“一二三四五”",
                "字段名“😀”中有 1 个字符不在代码页 936 中，以 GB18030 形式写入",
            }));
  const auto kind = [](WarningKind k) { return std::to_string(static_cast<int>(k)); };
  EXPECT_EQ(KindsFieldsRows(session->DataWarnings()),
            (std::vector<std::string>{kind(WarningKind::kFieldRenamed) + "|code|0",
                                      kind(WarningKind::kFieldNameCut) + "|一二三四五六|0",
                                      kind(WarningKind::kFieldNameFourByte) + "|😀|0"}));
}

TEST_P(DbaseProviderTest, ManyValueWarningsAreCountedAfterTheFirstHundredOfEachKind) {
  auto session = Open();
  session->Execute(Create("([A]  CHAR(5))"));
  // 8 bytes in GB18030: cut to one four-byte character, so two warnings a row.
  for (int i = 0; i < 150; ++i) session->Execute(Insert("A", "'😀😀'"));
  session->Close();
  const WarningList& warnings = session->DataWarnings();
  ASSERT_EQ(warnings.listed.size(), 200u);
  EXPECT_EQ(warnings.listed[198].text, "第 100 行字段“A”的值长 8 个字节，超过字段宽度 5，截断为 4 个字节");
  EXPECT_EQ(warnings.listed[198].row, 100);
  EXPECT_EQ(warnings.Count(WarningKind::kValueCut), 150);
  EXPECT_EQ(warnings.Count(WarningKind::kValueFourByte), 150);
  EXPECT_EQ(warnings.Count(WarningKind::kFieldRenamed), 0);
  const std::vector<std::string> lines = warnings.Lines();
  ASSERT_EQ(lines.size(), 202u);
  EXPECT_EQ(lines[200], "另有 50 个值超过字段宽度被截断，未逐一列出");
  EXPECT_EQ(lines[201], "另有 50 个值含有以 GB18030 形式写入的字符，未逐一列出");
}

// Two runs in one second into one folder, or a user's own file of that
// name: the existing file must survive.
TEST_P(DbaseProviderTest, CreateOntoAnExistingFileFailsAndLeavesItAlone) {
  testing_support::WriteFileBytes(dir.File("143005.dbf"), "mine");
  auto session = Open();
  ExpectError(err::kFileExists, [&] { session->Execute(Create("([A]  CHAR(1))")); });
  EXPECT_EQ(ReadFileBytes(dir.File("143005.dbf")), "mine");
  // Nor does the session know the table (told by Close when on the thread).
  ExpectError(err::kDbaseUnknownTable, [&] {
    session->Execute(Insert("A", "'x'"));
    session->Close();
  });
}

TEST_P(DbaseProviderTest, RefusedDefinitionsCreateNoFile) {
  std::string many;
  for (int i = 0; i < 256; ++i) many += (i ? ",[F" : "[F") + std::to_string(i) + "]  CHAR(1)";
  const struct {
    std::string defs;
    int number;
  } cases[] = {
      {"(" + many + ")", err::kDbaseTooManyFields},
      {"([A]  CHAR(0))", err::kDbaseBadFieldWidth},
      {"([A]  CHAR(255))", err::kDbaseBadFieldWidth},
      {"([]  CHAR(1))", err::kDbaseBadFieldName},
      {"([A]  CHAR(1)", err::kDbaseBadStatement},
  };
  auto session = Open();
  for (const auto& c : cases) {
    ExpectError(c.number, [&] { session->Execute(Create(c.defs)); });
    EXPECT_FALSE(RealFileSystem().FileExists(dir.File("143005.dbf"))) << c.defs;
  }
}

TEST_P(DbaseProviderTest, InsertOnlyIntoTablesOfThisSession) {
  auto first = Open();
  first->Execute(Create("([A]  CHAR(1))"));
  first->Close();
  auto second = Open();
  ExpectError(err::kDbaseUnknownTable, [&] {
    second->Execute(Insert("A", "'x'"));
    second->Close();
  }, "insert into  ");
}

TEST_P(DbaseProviderTest, OnlyStatementsThatWriteTables) {
  auto session = Open();
  ExpectError(err::kNotSupported, [&] { session->Query("select * from  [Sheet1$]"); });
  ExpectError(err::kNotSupported, [&] { session->OpenSchema(20); });
  ExpectError(err::kDbaseBadStatement, [&] { session->Execute("DROP TABLE x"); }, "DROP TABLE x");
  session->Close();
  session->Close();  // a second Close has nothing left to do
  ExpectError(err::kDbaseSessionClosed, [&] { session->Execute(Create("([A]  CHAR(1))")); });
}

// A run that fails mid-way releases its connection without closing it:
// the rows inserted so far must still make a table every reader opens.
TEST_P(DbaseProviderTest, DestroyedWithoutCloseLeavesACompleteTable) {
  {
    auto session = Open();
    session->Execute(Create("([A]  CHAR(2))"));
    for (int i = 0; i < 3; ++i) session->Execute(Insert("A", "'" + std::to_string(i) + "'"));
  }
  const DbfTable table = ReadTable(dir.File("143005.dbf"));
  EXPECT_EQ(table.records, (std::vector<std::string>{"0 ", "1 ", "2 "}));
}

TEST_P(DbaseProviderTest, FileOnDiskIsACompleteTableWhileRowsGoIn) {
  // Read here while the thread writes it, the file could be caught between
  // a batch and its count; the interruption tests kill the program instead.
  if (GetParam() == WriteMode::kOnThread) GTEST_SKIP() << "needs the writes on this thread";
  auto session = Open();
  session->Execute(Create("([A]  CHAR(200))"));
  const std::string value(200, 'v');
  for (int i = 0; i < 1000; ++i) {
    session->Execute(Insert("A", "'" + value + "'"));
    if (i % 100 == 99) {
      const DbfTable table = ReadTable(dir.File("143005.dbf"));  // checks size, count and 0x1A
      EXPECT_LE(table.count, static_cast<std::uint32_t>(i + 1));
      EXPECT_GT(table.count + 330u, static_cast<std::uint32_t>(i + 1));  // at most one batch behind
    }
  }
  session->Close();
  EXPECT_EQ(ReadTable(dir.File("143005.dbf")).count, 1000u);
}

TEST_P(DbaseProviderTest, DiskFullKeepsTheRowsWrittenBefore) {
  testing_support::FaultyFileSystem disk_full(RealFileSystem());
  // Writes 1 to 3 are the header, the first batch and its count.
  disk_full.FailAt(FileOp::kWrite, 4, err::kDiskFull, "磁盘已满（测试）");
  {
    auto session = Open(disk_full);
    session->Execute(Create("([A]  CHAR(200))"));
    const std::string row = Insert("A", "'" + std::string(200, 'v') + "'");
    int inserted = 0;
    try {
      for (; inserted < 10000; ++inserted) session->Execute(row);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kDiskFull);
    }
    EXPECT_LT(inserted, 10000);
    if (GetParam() == WriteMode::kOnCaller) {
      ExpectError(err::kDbaseWriteFailed, [&] { session->Execute(row); }, "磁盘已满");
      ExpectError(err::kDbaseWriteFailed, [&] { session->Close(); });
    } else {
      // Nothing goes in after the failure, which every later call tells.
      ExpectError(err::kDiskFull, [&] { session->Execute(row); }, "磁盘已满");
      ExpectError(err::kDiskFull, [&] { session->Close(); }, "磁盘已满");
    }
  }
  const DbfTable table = ReadTable(dir.File("143005.dbf"));
  EXPECT_GT(table.count, 0u);
}

TEST_P(DbaseProviderTest, HeaderThatCannotBeWrittenLeavesNoFile) {
  testing_support::FaultyFileSystem disk_full(RealFileSystem());
  disk_full.FailAt(FileOp::kWrite, 1, err::kDiskFull, "磁盘已满（测试）");
  auto session = Open(disk_full);
  ExpectError(err::kDiskFull, [&] { session->Execute(Create("([A]  CHAR(1))")); });
  EXPECT_FALSE(RealFileSystem().FileExists(dir.File("143005.dbf")));
}

TEST_P(DbaseProviderTest, TwoTablesInOneSession) {
  auto session = Open();
  session->Execute(Create("([A]  CHAR(1))", "1.dbf"));
  session->Execute(Create("([B]  CHAR(1))", "2.dbf"));
  session->Execute(Insert("B", "'b'", "2.dbf"));
  session->Execute(Insert("A", "'a'", "1.dbf"));
  ExpectError(err::kFileExists, [&] { session->Execute(Create("([C]  CHAR(1))", "1.dbf")); });
  session->Close();
  EXPECT_EQ(ReadTable(dir.File("1.dbf")).records, std::vector<std::string>{"a"});
  EXPECT_EQ(ReadTable(dir.File("2.dbf")).records, std::vector<std::string>{"b"});
}

// Runs of rows that switch tables at every length, past the size of a
// hand-over to the writing thread, with an apostrophe now and then: each
// table gets its own rows, in order.
TEST_P(DbaseProviderTest, RowsOfTwoTablesInterleavedKeepTheirOrder) {
  auto session = Open();
  session->Execute(Create("([A]  CHAR(6))", "1.dbf"));
  session->Execute(Create("([B]  CHAR(6))", "2.dbf"));
  std::vector<std::string> expected[2];
  int n = 0;
  for (const int run : {1, 2, 255, 256, 257, 600, 3}) {
    for (const int table : {0, 1}) {
      for (int i = 0; i < run; ++i, ++n) {
        const std::string value = std::to_string(n) + (n % 97 == 0 ? "'" : "");
        std::string quoted = value;
        if (n % 97 == 0) quoted += "'";
        session->Execute(Insert(table == 0 ? "A" : "B", "'" + quoted + "'", table == 0 ? "1.dbf" : "2.dbf"));
        expected[table].push_back(value + std::string(6 - value.size(), ' '));
      }
    }
  }
  session->Close();
  EXPECT_EQ(ReadTable(dir.File("1.dbf")).records, expected[0]);
  EXPECT_EQ(ReadTable(dir.File("2.dbf")).records, expected[1]);
}

// A refused insert: at once by the caller; on the thread by a later call,
// and nothing after it goes in. The rows before it stay either way.
TEST_P(DbaseProviderTest, RefusedInsertKeepsTheRowsBeforeIt) {
  {
    auto session = Open();
    session->Execute(Create("([A]  CHAR(4))"));
    for (int i = 0; i < 300; ++i) session->Execute(Insert("A", "'" + std::to_string(i) + "'"));
    const auto refused = [&] {
      session->Execute(Insert("A", "'x','y'"));
      session->Execute(Insert("A", "'z'"));
      session->Close();
    };
    ExpectError(err::kDbaseValueCount, refused, "值太多");
  }
  const DbfTable table = ReadTable(dir.File("143005.dbf"));
  ASSERT_EQ(table.count, 300u);
  EXPECT_EQ(table.records[299], "299 ");
}

// The whole way the run goes: connection text, CreateDbfTable, inserts,
// Close, in a folder whose name holds what folder names may.
TEST_P(DbaseProviderTest, ThroughTheConnectionAndCreateDbfTable) {
  const std::string folder = dir.File("my data (2024) [v1], O'Brien's 数据; x=y");
  std::filesystem::create_directory(ToFsPath(folder));
  auto providers = MakeProviders(RealFileSystem(), clock);
  Connection connection(*providers);
  const std::string name =
      mdlpublic::CreateDbfTable(folder, "([Code]  CHAR(8),[名称]  CHAR(100))", connection, clock, "x.dbf");
  EXPECT_EQ(name, "143005.dbf");
  connection.Execute("insert into  " + folder + kPathSeparator + name +
                     "  (Code,名称)  values ('1','苹果')");
  connection.Close();
  const DbfTable table = ReadTable(folder + kPathSeparator + name);
  ASSERT_EQ(table.count, 1u);
  EXPECT_EQ(table.records[0].substr(0, 12), "1       " + codepage::ToCp936("苹果"));
}

INSTANTIATE_TEST_SUITE_P(BothWriteModes, DbaseProviderTest,
                         ::testing::Values(WriteMode::kOnCaller, WriteMode::kOnThread),
                         [](const auto& info) {
                           return info.param == WriteMode::kOnCaller ? "OnCaller" : "OnThread";
                         });

}  // namespace
}  // namespace platform::data::dbase
