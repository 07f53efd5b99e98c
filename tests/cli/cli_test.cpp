#include "cli/cli.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <new>
#include <sstream>
#include <stdexcept>

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
  CliTest() : providers(platform::RealFileSystem(), Book()) { target = dir.File("out.dbf"); }

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
    console.out_is_terminal = out_is_terminal;
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
  bool out_is_terminal = false;
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

// On a terminal the status line is redrawn in place at most every 50 ms
// of the run's clock, not for every row: a redraw per row costs more than
// the conversion.
TEST_F(CliTest, TerminalStatusLineIsRedrawnAtTheInterval) {
  providers.workbook.sheet.rows.assign(7, {Variant::Text("甲")});
  providers.on_insert = [&](int) { clock.Advance(std::chrono::milliseconds(20)); };
  out_is_terminal = true;
  EXPECT_EQ(Run({"book.xls", target}), kExitOk) << err.str();
  // Rows at 20, 40, ... 140 ms: drawn at the first, then 60 ms later twice.
  const std::string blank = "\r" + std::string(std::string(" 已经导入 7 条记录 完成").size() + 8, ' ') + "\r";
  EXPECT_EQ(out.str(), "\r 已经导入 1 条记录\r 已经导入 4 条记录\r 已经导入 7 条记录" + blank +
                           " 已经导入 7 条记录 完成\n");
}

TEST_F(CliTest, QuietPrintsNothingButErrors) {
  EXPECT_EQ(Run({"-q", "book.xls", target}), kExitOk);
  EXPECT_EQ(out.str(), "");
  providers.FailAt(testing_support::ProviderOp::kOpenWorkbook, 2, platform::err::kFileNotFound,
                   "找不到文件：book.xls");
  EXPECT_EQ(Run({"-q", "-y", "book.xls", target}), kExitError);
  EXPECT_EQ(err.str(), "错误 53: 找不到文件：book.xls\n");
}

// Whatever a provider throws reaches the user as a number and a text, the
// process ends normally (never std::terminate) and the old target stays.
TEST_F(CliTest, AnyExceptionIsReportedAsAnErrorAndTheTargetStays) {
  const struct {
    std::function<void()> raise;
    const char* expected;
  } cases[] = {
      {[] { throw std::logic_error("不变式不成立"); }, "错误 51: 内部错误：不变式不成立\n"},
      {[] { throw std::bad_alloc(); }, "错误 7: 内存不足\n"},
  };
  for (const auto& c : cases) {
    WriteFileBytes(target, "old");
    providers.on_insert = [&](int insert) {
      if (insert == 2) c.raise();
    };
    EXPECT_EQ(Run({"-y", "book.xls", target}), kExitError);
    EXPECT_EQ(err.str(), c.expected);
    EXPECT_EQ(ReadFileBytes(target), "old");
  }
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
  // The width is in bytes of code page 936, where a Chinese character takes two.
  EXPECT_NE(out.str().find("宽度不超过 100 个字节（50 个汉字）"), std::string::npos);
  EXPECT_EQ(out.str().find("100 个字符"), std::string::npos);
  EXPECT_EQ(Run({"--version"}), kExitOk);
  EXPECT_EQ(out.str(), "excel2dbf 1.00\n");
}

}  // namespace
}  // namespace cli
