#include "cli/cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "support/fake_providers.h"
#include "support/temp_dir.h"

namespace cli {
namespace {

using platform::Variant;
using testing_support::FakeProviders;
using testing_support::FakeWorkbook;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileBytes;

TEST(ParseArgumentsTest, AcceptsTheDocumentedForms) {
  const auto parsed = ParseArguments({"-y", "-q", "a.xls", "b.dbf"});
  const auto& o = std::get<Options>(parsed);
  EXPECT_EQ(o.overwrite, Options::Overwrite::kYes);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.workbook, "a.xls");
  EXPECT_EQ(o.target, "b.dbf");

  const auto dashed = std::get<Options>(ParseArguments({"--no-overwrite", "--", "-a.xls", "-b.dbf"}));
  EXPECT_EQ(dashed.overwrite, Options::Overwrite::kNo);
  EXPECT_EQ(dashed.workbook, "-a.xls");
  EXPECT_EQ(dashed.target, "-b.dbf");
  EXPECT_TRUE(std::get<Options>(ParseArguments({"--version"})).version);
}

TEST(ParseArgumentsTest, RefusesWhatItCannotMeanClearly) {
  const std::vector<std::vector<std::string>> bad = {
      {}, {"a.xls"}, {"a.xls", "b.dbf", "c"}, {"-x", "a.xls", "b.dbf"}, {"-y", "-n", "a.xls", "b.dbf"}};
  for (const auto& args : bad) {
    EXPECT_TRUE(std::holds_alternative<std::string>(ParseArguments(args))) << args.size();
  }
}

class CliTest : public ::testing::Test {
 protected:
  CliTest() : providers(Book()) { target = dir.File("out.dbf"); }

  static FakeWorkbook Book() {
    FakeWorkbook book;
    book.sheet.fields = {{"名称", 10}};
    book.sheet.rows = {{Variant::Text("甲")}, {Variant::Text("乙")}};
    return book;
  }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    Console console{out, err};
    console.in_is_terminal = in_is_terminal;
    console.read_line = [this]() -> std::optional<std::string> {
      if (answers.empty()) return std::nullopt;
      std::string a = answers.front();
      answers.erase(answers.begin());
      return a;
    };
    return Main(args, console, {platform::RealFileSystem(), clock, providers});
  }

  TempDir dir;
  std::string target;
  platform::FixedClock clock{{2026, 12, 7, 10, 0, 0}};
  FakeProviders providers;
  std::ostringstream out;
  std::ostringstream err;
  bool in_is_terminal = false;
  std::vector<std::string> answers;
};

TEST_F(CliTest, ConversionPrintsTheFinalStatusLineAndAtMostTwentyWarnings) {
  using platform::data::WarningKind;
  for (int i = 1; i <= 19; ++i) {
    providers.warnings.listed.push_back({WarningKind::kValueCut, "名称", i, "值被截断 " + std::to_string(i)});
  }
  providers.warnings.unlisted[static_cast<std::size_t>(WarningKind::kValueCut)] = 50;
  providers.warnings.unlisted[static_cast<std::size_t>(WarningKind::kValueFourByte)] = 3;
  EXPECT_EQ(Run({"book.xls", target}), kExitOk);
  EXPECT_EQ(out.str(), " 已经导入 2 条记录 完成\n");
  EXPECT_TRUE(platform::RealFileSystem().FileExists(target));
  std::string expected;
  for (int i = 1; i <= 19; ++i) expected += "警告: 值被截断 " + std::to_string(i) + "\n";
  // The counted ones come after the listed ones, one line per kind; the
  // twenty-first line is only counted.
  expected += "警告: 另有 50 个值超过字段宽度被截断，未逐一列出\n";
  EXPECT_EQ(err.str(), expected + "警告: 另有 1 条警告未列出\n");
}

TEST_F(CliTest, QuietPrintsNothingButErrors) {
  EXPECT_EQ(Run({"-q", "book.xls", target}), kExitOk);
  EXPECT_EQ(out.str(), "");
  providers.fault = {testing_support::InjectedFault::At::kOpenWorkbook, 2, 53, "找不到文件：book.xls"};
  EXPECT_EQ(Run({"-q", "-y", "book.xls", target}), kExitError);
  EXPECT_EQ(err.str(), "错误 53: 找不到文件：book.xls\n");
}

TEST_F(CliTest, ExistingTargetFollowsTheOverwriteChoice) {
  const struct {
    std::vector<std::string> flags;
    bool terminal;
    std::vector<std::string> answers;
    int exit;
    bool replaced;
  } cases[] = {
      {{"-n"}, true, {}, kExitDeclined, false},
      {{}, false, {}, kExitDeclined, false},         // no one to ask: keep the file
      {{}, true, {"n"}, kExitDeclined, false},
      {{}, true, {"maybe", ""}, kExitOk, true},      // asks again; Enter means Yes
      {{"-y"}, false, {}, kExitOk, true},
  };
  int second = 0;
  for (const auto& c : cases) {
    WriteFileBytes(target, "old");
    clock.Set({2026, 12, 7, 10, 0, ++second});
    in_is_terminal = c.terminal;
    answers = c.answers;
    std::vector<std::string> args = c.flags;
    args.push_back("book.xls");
    args.push_back(target);
    EXPECT_EQ(Run(args), c.exit);
    EXPECT_EQ(ReadFileBytes(target) != "old", c.replaced);
    if (c.exit == kExitDeclined) {
      EXPECT_NE(err.str().find("没有覆盖"), std::string::npos);
      EXPECT_TRUE(providers.log.statements.empty() || ReadFileBytes(target) == "old");
    }
  }
}

TEST_F(CliTest, BareFileNamesMeanTheCurrentFolder) {
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(platform::ToFsPath(dir.path()));
  const int status = Run({"book.xls", "结果.dbf"});
  std::filesystem::current_path(saved);
  EXPECT_EQ(status, kExitOk) << err.str();
  EXPECT_TRUE(platform::RealFileSystem().FileExists(dir.File("结果.dbf")));
  EXPECT_EQ(providers.log.opened.at(0), "workbook:" + dir.File("book.xls"));
}

TEST_F(CliTest, UsageErrorsExitTwoAndHelpDocumentsTheExitCodes) {
  EXPECT_EQ(Run({"only-one.xls"}), kExitUsage);
  EXPECT_NE(err.str().find("--help"), std::string::npos);
  EXPECT_EQ(Run({"--help"}), kExitOk);
  for (const char* code : {"0 ", "1 ", "2 ", "3 ", "130"}) {
    EXPECT_NE(out.str().find(std::string("  ") + code), std::string::npos) << code;
  }
  EXPECT_EQ(Run({"--version"}), kExitOk);
  EXPECT_EQ(out.str(), "excel2dbf 1.00\n");
}

}  // namespace
}  // namespace cli
