#include "frmexcel/conversion_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "mdlpublic/mdlpublic.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "support/errors.h"
#include "support/fake_providers.h"
#include "support/faulty_filesystem.h"
#include "support/temp_dir.h"

namespace frmexcel {
namespace {

using platform::Variant;
using testing_support::FakeProviders;
using testing_support::FakeWorkbook;
using testing_support::ErrorOf;
using testing_support::ProviderOp;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

class RecordingHost : public RunHost {
 public:
  std::string workbook = "book.xls";
  std::string target;
  std::string status;
  bool answer_yes = true;
  std::vector<std::string> prompts;
  std::vector<std::string> statuses;
  std::function<bool()> on_yield;  // returns false to ask for a stop
  mutable int target_reads = 0;

  std::string WorkbookPath() const override { return workbook; }
  std::string TargetPath() const override {
    ++target_reads;
    return target;
  }
  std::string StatusText() const override { return status; }
  void SetStatusText(const std::string& text) override {
    status = text;
    statuses.push_back(text);
  }
  bool AskYesNo(const std::string& prompt, const std::string& title) override {
    prompts.push_back(title + "|" + prompt);
    return answer_yes;
  }
  bool Yield() override { return on_yield ? on_yield() : true; }
};

FakeWorkbook ThreeRows() {
  FakeWorkbook book;
  book.sheet.fields = {{"Code", 8}, {"名称", 255}};
  book.sheet.rows = {{Variant::Number(1), Variant::Text("苹果")},
                     {Variant::Number(2), Variant::Null()},
                     {Variant::Text("3"), Variant::Text("O'Brien")}};
  return book;
}

class ConversionRunTest : public ::testing::Test {
 protected:
  explicit ConversionRunTest(FakeWorkbook book = ThreeRows())
      : providers(platform::RealFileSystem(), std::move(book)) {
    host.target = dir.File("result.dbf");
  }

  RunResult Run() {
    return RunConversion(host, {platform::RealFileSystem(), clock, providers});
  }

  // Runs, expecting an error; returns it.
  platform::Error RunFails() {
    return ErrorOf([&] { Run(); });
  }

  std::string Staging() const { return dir.File("090507.dbf"); }
  std::string Insert(const std::string& values) const {
    return "insert into  " + Staging() + "  (Code,名称)  values (" + values + ")";
  }

  TempDir dir;
  platform::FixedClock clock{{2026, 12, 7, 9, 5, 7}};
  FakeProviders providers;
  RecordingHost host;
};

TEST_F(ConversionRunTest, CompletedRunSendsTheStatementsAndMovesTheFile) {
  providers.warnings.listed = {
      {platform::data::WarningKind::kFieldRenamed, "名称", 0, "字段名“名称”与前面的字段重名，改为“名称_2”"}};
  providers.warnings.unlisted[static_cast<std::size_t>(platform::data::WarningKind::kValueCut)] = 7;
  const RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kCompleted);
  EXPECT_EQ(result.rows, 3);

  EXPECT_EQ(providers.log.opened,
            (std::vector<std::string>{"workbook:book.xls", "dbase:" + dir.path()}));
  EXPECT_EQ(providers.log.queries, std::vector<std::string>{"select * from  [Sheet1$]"});
  // Fields wider than 100 are cut to 100; two spaces before each CHAR and
  // before the column list, as the dBase provider expects.
  EXPECT_EQ(providers.log.statements,
            (std::vector<std::string>{
                "CREATE TABLE " + Staging() + "  ([Code]  CHAR(8),[名称]  CHAR(100))",
                Insert("'1','苹果'"), Insert("'2',''"),
                Insert("'3','O''Brien'")}));  // apostrophes doubled, never breaking the quotes
  EXPECT_EQ(mdlpublic::strSql, providers.log.statements.back());
  EXPECT_EQ(providers.log.closes, 1);

  EXPECT_EQ(host.statuses, (std::vector<std::string>{" 已经导入 1 条记录", " 已经导入 2 条记录",
                                                     " 已经导入 3 条记录",
                                                     " 已经导入 3 条记录 完成"}));
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_FALSE(platform::RealFileSystem().FileExists(Staging()));
  EXPECT_EQ(ReadFileBytes(host.target).substr(0, 7), "CREATE\n");
  // The provider's warnings as it left them at Close.
  EXPECT_EQ(result.warnings.Lines(), providers.warnings.Lines());
  ASSERT_EQ(result.warnings.listed.size(), 1u);
  EXPECT_EQ(result.warnings.listed[0].field, "名称");
  EXPECT_EQ(result.warnings.Count(platform::data::WarningKind::kValueCut), 7);
}

TEST_F(ConversionRunTest, PathsAreReadOnceSoMidRunEditsChangeNothing) {
  host.on_yield = [&] {
    host.target = dir.File("elsewhere") + platform::kPathSeparator + "other.dbf";
    return true;
  };
  ASSERT_EQ(Run().outcome, RunOutcome::kCompleted);
  EXPECT_EQ(host.target_reads, 1);
  EXPECT_EQ(providers.log.statements.back(), Insert("'3','O''Brien'"));
  EXPECT_TRUE(platform::RealFileSystem().FileExists(dir.File("result.dbf")));
}

TEST_F(ConversionRunTest, ExistingTargetAnsweredNoWritesNothing) {
  WriteFileBytes(host.target, "old");
  host.status = " 已经导入 9 条记录 完成";
  host.answer_yes = false;
  EXPECT_EQ(Run().outcome, RunOutcome::kDeclined);
  EXPECT_EQ(host.prompts, std::vector<std::string>{"Quenmar软件|dbf文件已经存在,是否覆盖?"});
  EXPECT_TRUE(providers.log.statements.empty());
  EXPECT_EQ(providers.log.opened.size(), 1u);  // the workbook only
  EXPECT_EQ(ReadFileBytes(host.target), "old");
  EXPECT_EQ(host.status, " 已经导入 9 条记录 完成");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST_F(ConversionRunTest, ExistingTargetAnsweredYesStaysUntilTheNewFileIsComplete) {
  WriteFileBytes(host.target, "old");
  providers.on_insert = [&](int) { EXPECT_EQ(ReadFileBytes(host.target), "old"); };
  EXPECT_EQ(Run().outcome, RunOutcome::kCompleted);
  EXPECT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(ReadFileBytes(host.target).substr(0, 7), "CREATE\n");
  EXPECT_FALSE(platform::RealFileSystem().FileExists(Staging()));
}

TEST_F(ConversionRunTest, FailureAtRowTwoKeepsOldTargetAndStagingRows) {
  WriteFileBytes(host.target, "old");
  // CREATE is the first statement, so the second insert is the third.
  providers.FailAt(ProviderOp::kExecute, 3, platform::err::kDiskFull, "插入失败");
  const platform::Error e = RunFails();
  EXPECT_EQ(e.number(), platform::err::kDiskFull);
  EXPECT_EQ(e.description(), "插入失败");
  EXPECT_EQ(host.status, " 已经导入 1 条记录");
  EXPECT_EQ(ReadFileBytes(host.target), "old");
  EXPECT_EQ(ReadFileBytes(Staging()), "CREATE\n" + Insert("'1','苹果'") + "\n");
}

TEST_F(ConversionRunTest, FailuresBeforeAnyRowLeaveNothingBehind) {
  namespace err = platform::err;
  const struct {
    ProviderOp op;
    int number;
    const char* description;
    bool staging_left;
  } cases[] = {
      {ProviderOp::kOpenWorkbook, err::kNotAWorkbook, "不是 Excel 97-2003 工作簿", false},
      {ProviderOp::kQuery, err::kTableNotFound, "找不到表：[Sheet1$]", false},
      {ProviderOp::kOpenDbase, err::kPathNotFound, "路径未找到", false},
      {ProviderOp::kExecute, err::kPathNotFound, "路径未找到", false},
      {ProviderOp::kClose, err::kDiskFull, "磁盘已满", true},
  };
  for (const auto& c : cases) {
    TempDir local;
    FakeProviders fresh(platform::RealFileSystem(), ThreeRows());
    fresh.FailAt(c.op, 1, c.number, c.description);
    host.target = local.File("result.dbf");
    WriteFileBytes(host.target, "old");
    const platform::Error e = ErrorOf([&] { RunConversion(host, {platform::RealFileSystem(), clock, fresh}); });
    EXPECT_EQ(e.number(), c.number);
    EXPECT_EQ(e.description(), c.description);
    EXPECT_EQ(ReadFileBytes(host.target), "old") << c.description;
    EXPECT_EQ(platform::RealFileSystem().FileExists(local.File("090507.dbf")), c.staging_left)
        << c.description;
  }
}

TEST_F(ConversionRunTest, StopRequestEndsAfterTheRowAndRemovesTheStagingFile) {
  WriteFileBytes(host.target, "old");
  host.on_yield = [] { return false; };
  const RunResult result = Run();
  EXPECT_EQ(result.outcome, RunOutcome::kStopped);
  EXPECT_EQ(result.rows, 1);
  EXPECT_EQ(providers.log.closes, 1);
  EXPECT_FALSE(platform::RealFileSystem().FileExists(Staging()));
  EXPECT_EQ(ReadFileBytes(host.target), "old");
  EXPECT_EQ(host.status, " 已经导入 1 条记录");
}

TEST_F(ConversionRunTest, SecondRunInsideAYieldIsRefused) {
  RunOutcome inner = RunOutcome::kCompleted;
  host.on_yield = [&] {
    FakeProviders other(platform::RealFileSystem(), ThreeRows());
    RecordingHost second;
    second.target = dir.File("second.dbf");
    inner = RunConversion(second, {platform::RealFileSystem(), clock, other}).outcome;
    EXPECT_TRUE(other.log.opened.empty());
    return true;
  };
  EXPECT_EQ(Run().outcome, RunOutcome::kCompleted);
  EXPECT_EQ(inner, RunOutcome::kAlreadyRunning);
  EXPECT_FALSE(platform::RealFileSystem().FileExists(dir.File("second.dbf")));
  // The guard is released afterwards.
  host.target = dir.File("again.dbf");
  clock.Set({2026, 12, 7, 9, 5, 8});
  EXPECT_EQ(Run().outcome, RunOutcome::kCompleted);
}

TEST_F(ConversionRunTest, UnusableTargetsAreRefusedBeforeAnyWork) {
  std::filesystem::create_directory(dir.File("folder.dbf"));
  const std::string read_only = dir.File("readonly.dbf");
  WriteFileBytes(read_only, "old");
  ::chmod(read_only.c_str(), 0444);
  const struct {
    std::string target;
    int number;
  } cases[] = {{"", platform::err::kPathFileAccess},
               {dir.File("folder.dbf"), platform::err::kPathFileAccess},
               {read_only, platform::err::kPermissionDenied}};
  for (const auto& c : cases) {
    host.target = c.target;
    EXPECT_EQ(RunFails().number(), c.number) << c.target;
  }
  EXPECT_TRUE(providers.log.statements.empty());
  EXPECT_EQ(ReadFileBytes(read_only), "old");
}

// A user's file may carry the staging file's time-of-day name (a month
// file 202301.dbf at 20:23:01): the run takes the next free name and
// leaves the file alone, and never stages at the target's own name.
TEST_F(ConversionRunTest, StagingFileNeverMeetsAUsersFile) {
  const struct {
    const char* label;
    const char* users_file;  // in the target's folder, before the run
    const char* target;
    bool target_exists;
  } cases[] = {
      {"a user's file of the time's name", "090507.dbf", "result.dbf", false},
      {"a new target of the time's name", nullptr, "090507.dbf", false},
      {"an existing target of the time's name", nullptr, "090507.dbf", true},
  };
  for (const auto& c : cases) {
    TempDir local;
    FakeProviders fresh(platform::RealFileSystem(), ThreeRows());
    host.target = local.File(c.target);
    if (c.users_file != nullptr) WriteFileBytes(local.File(c.users_file), "mine");
    if (c.target_exists) WriteFileBytes(host.target, "old");
    EXPECT_EQ(RunConversion(host, {platform::RealFileSystem(), clock, fresh}).outcome,
              RunOutcome::kCompleted)
        << c.label;
    if (c.users_file != nullptr) {
      EXPECT_EQ(ReadFileBytes(local.File(c.users_file)), "mine") << c.label;
    }
    EXPECT_EQ(ReadFileBytes(host.target).substr(0, 7), "CREATE\n") << c.label;
    EXPECT_EQ(fresh.log.statements.back().substr(0, 13 + local.File("090508.dbf").size()),
              "insert into  " + local.File("090508.dbf"))
        << c.label;
    EXPECT_FALSE(platform::RealFileSystem().FileExists(local.File("090508.dbf"))) << c.label;
  }
}

// The user chose the target; errors speak of it, not of the staging file.
TEST_F(ConversionRunTest, ErrorsNameTheTargetNotTheStagingFile) {
  const std::string missing = dir.File("missing") + platform::kPathSeparator + "result.dbf";
  host.target = missing;
  EXPECT_EQ(RunFails().description(), "路径未找到：" + missing);

  host.target = dir.File("result.dbf");
  providers.on_insert = [&](int) {
    platform::Raise(platform::err::kDiskFull, "磁盘已满，无法写入：" + Staging() + "（" + Staging() + "）");
  };
  const platform::Error e = RunFails();
  EXPECT_EQ(e.number(), platform::err::kDiskFull);
  EXPECT_EQ(e.description(), "磁盘已满，无法写入：" + host.target + "（" + host.target + "）");
}

struct NoRows : ConversionRunTest {
  NoRows() : ConversionRunTest([] {
    FakeWorkbook book;
    book.sheet.fields = {{"A", 1}};
    return book;
  }()) {}
};

TEST_F(NoRows, EmptySheetWritesNothingAndLeavesTheStatus) {
  host.status = "上次的状态";
  EXPECT_EQ(Run().outcome, RunOutcome::kNoRows);
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_TRUE(host.statuses.empty());
  EXPECT_EQ(providers.log.opened.size(), 1u);
  EXPECT_FALSE(platform::RealFileSystem().FileExists(host.target));
}

struct OddSheets : ConversionRunTest {
  OddSheets() : ConversionRunTest([] {
    FakeWorkbook book;
    book.table_names = {"'My O''Sheet$'", "Sheet2$"};
    book.sheet.fields = {{"A", 8}};
    book.sheet.rows = {{Variant::Text("x")}};
    return book;
  }()) {}
};

TEST_F(OddSheets, FirstTableIsSelectedWithoutApostrophesAndOneColumnHasNoCommas) {
  EXPECT_EQ(Run().outcome, RunOutcome::kCompleted);
  EXPECT_EQ(providers.log.queries, std::vector<std::string>{"select * from  [My OSheet$]"});
  EXPECT_EQ(providers.log.statements,
            (std::vector<std::string>{"CREATE TABLE " + Staging() + "  ([A]  CHAR(8))",
                                      "insert into  " + Staging() + "  (A)  values ('x')"}));
}

struct NoTables : ConversionRunTest {
  NoTables() : ConversionRunTest([] {
    FakeWorkbook book = ThreeRows();
    book.table_names.clear();
    return book;
  }()) {}
};

TEST_F(NoTables, EmptySheetNameReachesTheProviderWhichRefusesIt) {
  EXPECT_EQ(RunFails().number(), platform::err::kTableNotFound);
  EXPECT_EQ(providers.log.queries, std::vector<std::string>{"select * from  []"});
  EXPECT_TRUE(providers.log.statements.empty());
}

struct Widths : ConversionRunTest {
  Widths() : ConversionRunTest([] {
    FakeWorkbook book;
    book.sheet.fields = {{"A", 1}, {"B", 99}, {"C", 100}, {"D", 101}, {"E", 255}};
    book.sheet.rows = {{Variant(), Variant(), Variant(), Variant(), Variant()}};
    return book;
  }()) {}
};

TEST_F(Widths, WidthIsTheDefinedSizeCappedAtOneHundred) {
  Run();
  EXPECT_EQ(providers.log.statements.at(0),
            "CREATE TABLE " + Staging() +
                "  ([A]  CHAR(1),[B]  CHAR(99),[C]  CHAR(100),[D]  CHAR(100),[E]  CHAR(100))");
  EXPECT_EQ(providers.log.statements.at(1),
            "insert into  " + Staging() + "  (A,B,C,D,E)  values ('','','','','')");
}

}  // namespace
}  // namespace frmexcel

namespace frmexcel {
namespace {

TEST_F(ConversionRunTest, FailedMoveIntoPlaceKeepsBothFiles) {
  using Op = testing_support::FaultyFileSystem::Op;
  for (const bool existing : {false, true}) {
    TempDir local;
    testing_support::FaultyFileSystem faulty(platform::RealFileSystem());
    FakeProviders fresh(faulty, ThreeRows());
    faulty.FailAt(existing ? Op::kReplace : Op::kMove, 1, platform::err::kPermissionDenied, "没有权限");
    host.target = local.File("result.dbf");
    if (existing) WriteFileBytes(host.target, "old");
    const platform::Error e = ErrorOf([&] { RunConversion(host, {faulty, clock, fresh}); });
    EXPECT_EQ(e.number(), platform::err::kPermissionDenied);
    EXPECT_EQ(host.status, " 已经导入 3 条记录 完成");
    EXPECT_TRUE(platform::RealFileSystem().FileExists(local.File("090507.dbf")));
    if (existing) {
      EXPECT_EQ(ReadFileBytes(host.target), "old");
    } else {
      EXPECT_FALSE(platform::RealFileSystem().FileExists(host.target));
    }
  }
}

// The fake dBase provider writes through the file system it is given: a
// write that fails there fails the run.
TEST_F(ConversionRunTest, StagingFileIsWrittenThroughTheGivenFileSystem) {
  testing_support::FaultyFileSystem faulty(platform::RealFileSystem());
  FakeProviders fresh(faulty, ThreeRows());
  faulty.FailAt(testing_support::FileOp::kWrite, 2, platform::err::kDiskFull, "磁盘已满");
  const platform::Error e = ErrorOf([&] { RunConversion(host, {faulty, clock, fresh}); });
  EXPECT_EQ(e.number(), platform::err::kDiskFull);
  EXPECT_EQ(faulty.calls(testing_support::FileOp::kCreate), 1);
  EXPECT_EQ(ReadFileBytes(Staging()), "CREATE\n");
}

}  // namespace
}  // namespace frmexcel
