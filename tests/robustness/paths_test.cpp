// Workbook and target paths of every awkward kind through the command
// line on the real file system: each converts, or fails with a clear error
// and leaves everything as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/filesystem/filesystem.h"
#include "support/dbf_table.h"
#include "support/real_services.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

constexpr std::string_view kOldTarget = "old target";

std::string Fixture() { return ReadFileBytes(testing_support::SourceDir() + "/tests/fixtures/basic.xls"); }

struct CliRun {
  int code;
  std::string err;
};

CliRun RunCli(std::vector<std::string> args) {
  std::ostringstream out;
  std::ostringstream err;
  cli::Console console{out, err};
  const int code = cli::Main(args, console, testing_support::RealServices());
  return {code, err.str()};
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(platform::ToFsPath(folder))) {
    names.push_back(platform::FromFsPath(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A complete table of the five rows of basic.xls.
bool HoldsTheFiveRows(const std::string& path) {
  const testing_support::DbfTable table = testing_support::ReadDbfFile(path);
  return table.complete() && table.count == 5 && table.trailing == 0;
}

struct AwkwardName {
  const char* label;
  std::string name;  // used for a folder and for both files
};

std::ostream& operator<<(std::ostream& out, const AwkwardName& n) { return out << n.label; }

const AwkwardName kNames[] = {
    {"Spaces", "with  two spaces "},
    {"Chinese", "工资表 二〇二四"},
    {"Apostrophe", "O'Brien's"},
    {"DoubleQuotes", "say \"hi\""},
    {"Semicolon", "a;b;Extended Properties=x;"},
    {"Ampersand", "R&D"},
    {"Dollar", "$HOME $(ls)"},
    {"Parentheses", "(copy) (2)"},
    {"Brackets", "[Sheet1$] {x}"},
    {"LeadingDash", "-y -n --"},
    {"ConnectionTextInside", "x;Deleted=0;Driver={Microsoft dBase Driver (*.dbf)};DriverId=21;"},
};

class AwkwardPathTest : public ::testing::TestWithParam<AwkwardName> {};

TEST_P(AwkwardPathTest, Converts) {
  TempDir dir;
  const std::string folder = dir.File(GetParam().name);
  fs::create_directory(platform::ToFsPath(folder));
  const std::string workbook = folder + "/" + GetParam().name + ".xls";
  const std::string target = folder + "/" + GetParam().name + ".dbf";
  WriteFileBytes(workbook, Fixture());
  WriteFileBytes(target, std::string(kOldTarget));

  // "--": a path may start with "-".
  const CliRun run = RunCli({"-y", "-q", "--", workbook, target});
  EXPECT_EQ(run.code, cli::kExitOk) << run.err;
  EXPECT_TRUE(HoldsTheFiveRows(target));
  EXPECT_EQ(ReadFileBytes(workbook), Fixture());
  EXPECT_EQ(FilesIn(folder).size(), 2u) << "a staging file was left";
}

INSTANTIATE_TEST_SUITE_P(Names, AwkwardPathTest, ::testing::ValuesIn(kNames),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(PathTest, LeadingDashWithoutDoubleDashIsAUsageError) {
  TempDir dir;
  const CliRun run = RunCli({"-y", "-book.xls", dir.File("out.dbf")});
  EXPECT_EQ(run.code, cli::kExitUsage);
  EXPECT_EQ(run.err.find("未知选项：-book.xls"), run.err.find("未知选项"));
}

TEST(PathTest, PathsLongerThan255BytesWork) {
  TempDir dir;
  std::string folder = dir.path();
  for (int i = 0; i < 3; ++i) {
    folder += "/" + std::string(100, static_cast<char>('a' + i));
    fs::create_directory(platform::ToFsPath(folder));
  }
  const std::string workbook = folder + "/book.xls";
  const std::string target = folder + "/" + std::string(200, 'x') + ".dbf";
  ASSERT_GT(target.size(), 255u);
  WriteFileBytes(workbook, Fixture());
  const CliRun run = RunCli({"-q", workbook, target});
  EXPECT_EQ(run.code, cli::kExitOk) << run.err;
  EXPECT_TRUE(HoldsTheFiveRows(target));
}

// The name is checked only when the table is moved to it; the error must
// name the target, not our staging file, and the old files stay.
TEST(PathTest, FileNameLongerThanTheSystemAllowsNamesTheTarget) {
  TempDir dir;
  const std::string workbook = dir.File("book.xls");
  const std::string target = dir.File(std::string(300, 'x') + ".dbf");
  WriteFileBytes(workbook, Fixture());
  const CliRun run = RunCli({"-q", workbook, target});
  EXPECT_EQ(run.code, cli::kExitError);
  EXPECT_EQ(run.err, "错误 75: 路径太长：" + target + "\n");
  EXPECT_EQ(ReadFileBytes(workbook), Fixture());
}

TEST(PathTest, MissingTargetFolderIsPathNotFound) {
  TempDir dir;
  const std::string workbook = dir.File("book.xls");
  WriteFileBytes(workbook, Fixture());
  const CliRun run = RunCli({"-q", workbook, dir.File("missing/out.dbf")});
  EXPECT_EQ(run.code, cli::kExitError);
  EXPECT_EQ(run.err.rfind("错误 76: 路径未找到：", 0), 0u) << run.err;
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"book.xls"});
}

TEST(PathTest, TargetThatIsAFolderIsRefused) {
  TempDir dir;
  const std::string workbook = dir.File("book.xls");
  WriteFileBytes(workbook, Fixture());
  fs::create_directory(platform::ToFsPath(dir.File("out.dbf")));
  const CliRun run = RunCli({"-y", "-q", workbook, dir.File("out.dbf")});
  EXPECT_EQ(run.code, cli::kExitError);
  EXPECT_EQ(run.err, "错误 75: 目标是文件夹，不是文件：" + dir.File("out.dbf") + "\n");
  EXPECT_TRUE(fs::is_empty(platform::ToFsPath(dir.File("out.dbf"))));
}

// Overwriting the workbook with its own table would lose the workbook.
TEST(PathTest, SamePathForWorkbookAndTargetIsRefused) {
  TempDir dir;
  const std::string workbook = dir.File("book.xls");
  WriteFileBytes(workbook, Fixture());
  for (const std::string& target : {workbook, dir.path() + "/./book.xls"}) {
    const CliRun run = RunCli({"-y", "-q", workbook, target});
    EXPECT_EQ(run.code, cli::kExitError);
    EXPECT_EQ(run.err, "错误 75: 目标文件就是工作簿本身，不能覆盖：" + target + "\n");
    EXPECT_EQ(ReadFileBytes(workbook), Fixture());
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"book.xls"});
  }
}

// Root writes into read-only folders, so the run is made by an ordinary
// user (nobody) in a child process when the test runs as root.
TEST(PathTest, ReadOnlyTargetFolderIsPermissionDenied) {
  TempDir dir;
  const std::string workbook = dir.File("book.xls");
  const std::string folder = dir.File("locked");
  WriteFileBytes(workbook, Fixture());
  fs::create_directory(platform::ToFsPath(folder));
  WriteFileBytes(folder + "/out.dbf", std::string(kOldTarget));
  ::chmod(dir.path().c_str(), 0755);
  ::chmod(workbook.c_str(), 0644);
  ::chmod(folder.c_str(), 0555);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(90);
    const CliRun run = RunCli({"-y", "-q", workbook, folder + "/out.dbf"});
    const bool clear = run.err.rfind("错误 70: 没有权限", 0) == 0;
    ::_exit(run.code == cli::kExitError && clear ? 0 : 91);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 90) GTEST_SKIP() << "cannot drop root privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "no clear error 70";
  EXPECT_EQ(ReadFileBytes(folder + "/out.dbf"), kOldTarget);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"out.dbf"});
}

}  // namespace
