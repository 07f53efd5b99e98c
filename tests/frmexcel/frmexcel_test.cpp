// The form's behaviour, on the window without a display.
#include "frmexcel/frmexcel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/error.h"
#include "platform/window/fake/fake_window.h"
#include "support/fake_providers.h"
#include "support/temp_dir.h"

namespace frmexcel {
namespace {

using platform::Variant;
using platform::window::FakeWindow;
using platform::window::FileDialogKind;
using platform::window::MessageIcon;
using testing_support::FakeProviders;
using testing_support::FakeSheet;
using testing_support::FakeWorkbook;
using testing_support::ReadInsertedValues;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using namespace std::chrono_literals;

constexpr char kSep = platform::kPathSeparator;

FakeSheet ThreeRows() {
  return FakeSheet{{{"Code", 8}, {"名称", 255}},
                   {{Variant::Text("1"), Variant::Text("苹果")},
                    {Variant::Text("2"), Variant()},
                    {Variant::Number(3), Variant::Text("梨")}}};
}

FakeSheet ManyRows(int count) {
  FakeSheet sheet{{{"N", 8}}, {}};
  for (int i = 1; i <= count; ++i) sheet.rows.push_back({Variant::Number(i)});
  return sheet;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(platform::ToFsPath(folder))) {
    names.push_back(platform::FromFsPath(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

class FrmExcelTest : public ::testing::Test {
 protected:
  FrmExcelTest()
      : clock_(platform::LocalTime{2024, 5, 6, 14, 30, 5}),
        services_{platform::RealFileSystem(), clock_, providers_},
        form_(window_, services_),
        workbook_(dir_.File("book.xls")),
        target_(dir_.File("result.dbf")) {
    providers_.only_listed_paths = true;
  }

  std::string Status() const { return window_.Text("lblstat"); }

  // Paths typed into the boxes and the workbook behind them.
  void PrepareRun(FakeSheet sheet) {
    FakeWorkbook book;
    book.sheet = std::move(sheet);
    providers_.workbooks_by_path[workbook_] = std::move(book);
    window_.Type("txtexcel", workbook_);
    window_.Type("txtdbf", target_);
  }

  testing_support::TempDir dir_;
  platform::FixedClock clock_;
  FakeProviders providers_{platform::RealFileSystem()};
  FakeWindow window_;
  RunServices services_;
  FrmExcel form_;
  std::string workbook_;
  std::string target_;
};

TEST_F(FrmExcelTest, StartsWithEmptyBoxesAndTheFocusInTheWorkbookBox) {
  EXPECT_TRUE(window_.IsOpen());
  EXPECT_EQ(window_.BuiltForm().caption, "转换工具");
  EXPECT_EQ(window_.FocusedControl(), "txtexcel");
  for (const char* name : {"txtexcel", "txtdbf", "lblstat"}) EXPECT_EQ(window_.Text(name), "") << name;
  EXPECT_EQ(form_.State(), FormState::kIdle);
}

// ---- The file choosers --------------------------------------------------

TEST_F(FrmExcelTest, WorkbookChooserOpensXlsAndKeepsItsLastName) {
  const std::string first = dir_.File("一.xls");
  window_.file_answers = {first, std::nullopt};
  window_.Click("cmdexcel");
  EXPECT_EQ(window_.Text("txtexcel"), first);
  window_.Type("txtexcel", "typed.xls");
  window_.Click("cmdexcel");  // cancelled
  EXPECT_EQ(window_.Text("txtexcel"), "typed.xls");
  ASSERT_EQ(window_.file_requests.size(), 2u);
  for (const auto& request : window_.file_requests) {
    EXPECT_EQ(request.kind, FileDialogKind::kOpen);
    EXPECT_EQ(request.filter, ".xls|*.xls");
    EXPECT_EQ(request.default_extension, "");
  }
  EXPECT_EQ(window_.file_requests[0].file_name, "");
  EXPECT_EQ(window_.file_requests[1].file_name, first);
  EXPECT_TRUE(window_.messages.empty());
}

struct TargetCase {
  const char* why;
  std::string chosen;
  bool refused;
};

std::vector<TargetCase> TargetCases() {
  const std::string s(1, kSep);
  return {
      {"Chinese folder", s + "数据" + s + "out.dbf", true},
      {"Chinese folder further up", s + "报表" + s + "2024" + s + "out.dbf", true},
      {"Chinese file name in a plain folder", s + "out" + s + "数据.dbf", false},
      {"file in the root", s + "out.dbf", false},
      {"no folder at all", "out.dbf", false},
  };
}

void ExpectRefusalOrTaken(const FakeWindow& window, const TargetCase& c) {
  if (c.refused) {
    EXPECT_EQ(window.Text("txtdbf"), "before.dbf");
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].text, "请不要选择中文名称的文件夹，建议保存到D盘根目录");
    EXPECT_EQ(window.messages[0].title, "Quenmar软件");
    EXPECT_EQ(window.messages[0].icon, MessageIcon::kInformation);
    EXPECT_FALSE(window.messages[0].yes_no);
  } else {
    EXPECT_EQ(window.Text("txtdbf"), c.chosen);
    EXPECT_TRUE(window.messages.empty());
  }
}

TEST_F(FrmExcelTest, TargetChooserRefusesOnlyChineseFolders) {
  for (const TargetCase& c : TargetCases()) {
    SCOPED_TRACE(c.why);
    window_.messages.clear();
    window_.Type("txtdbf", "before.dbf");
    window_.file_answers = {c.chosen};
    window_.Click("cmddbf");
    ExpectRefusalOrTaken(window_, c);
    EXPECT_EQ(window_.file_requests.back().kind, FileDialogKind::kSaveAs);
    EXPECT_EQ(window_.file_requests.back().filter, ".dbf|*.dbf");
    // A name typed without an extension gets ".dbf" from the dialog.
    EXPECT_EQ(window_.file_requests.back().default_extension, "dbf");
  }
}

// Cancelling used to hand back an empty name, which wiped a typed path.
TEST_F(FrmExcelTest, CancelledTargetChooserLeavesTheTypedPath) {
  const std::string typed = dir_.File("typed.dbf");
  window_.Type("txtdbf", typed);
  window_.file_answers = {std::nullopt};
  window_.Click("cmddbf");
  EXPECT_EQ(window_.Text("txtdbf"), typed);
  EXPECT_TRUE(window_.messages.empty());
}

TEST_F(FrmExcelTest, TargetChooserStartsFromItsLastNameEvenWhenRefused) {
  const std::string s(1, kSep);
  const std::string refused = s + "数据" + s + "out.dbf";
  window_.file_answers = {refused, std::nullopt};
  window_.Click("cmddbf");
  window_.Click("cmddbf");
  ASSERT_EQ(window_.file_requests.size(), 2u);
  EXPECT_EQ(window_.file_requests[1].file_name, refused);
}

// ---- Drops ----------------------------------------------------------------

TEST_F(FrmExcelTest, WorkbookDroppedOnTheWindowFillsTheWorkbookBox) {
  for (const char* where : {"", "txtexcel", "Label2", "lblstat", "cmd转换"}) {
    SCOPED_TRACE(where);
    const std::string dropped = dir_.File(std::string("簿") + where + ".xls");
    window_.Drop(where, {dropped, dir_.File("second.xls")});
    EXPECT_EQ(window_.Text("txtexcel"), dropped);
  }
  EXPECT_EQ(window_.Text("txtdbf"), "");
  EXPECT_TRUE(window_.messages.empty());
  EXPECT_TRUE(window_.file_requests.empty());
}

TEST_F(FrmExcelTest, FileDroppedOnTheTargetBoxPassesTheChineseFolderTest) {
  for (const TargetCase& c : TargetCases()) {
    SCOPED_TRACE(c.why);
    window_.messages.clear();
    window_.Type("txtdbf", "before.dbf");
    window_.Drop("txtdbf", {c.chosen});
    ExpectRefusalOrTaken(window_, c);
  }
  EXPECT_EQ(window_.Text("txtexcel"), "");
}

// ---- Conversion ---------------------------------------------------------

TEST_F(FrmExcelTest, ConversionCountsRowsInTheStatusLineAndFinishes) {
  PrepareRun(ThreeRows());
  window_.SetText("lblstat", " 上次的状态");
  std::vector<std::string> seen;
  providers_.on_insert = [&](int) {
    seen.push_back(Status());
    // Rows this slow get the window serviced after each of them.
    clock_.Advance(30ms);
  };
  window_.Click("cmd转换");
  EXPECT_EQ(Status(), " 已经导入 3 条记录 完成");
  // Before each insert the label shows the rows done so far; before the
  // first, that the workbook is being read.
  EXPECT_THAT(seen, ElementsAre(" 正在读取工作簿…", " 已经导入 1 条记录", " 已经导入 2 条记录"));
  EXPECT_THAT(ReadInsertedValues(target_), ElementsAre("'1','苹果'", "'2',''", "'3','梨'"));
  EXPECT_THAT(FolderEntries(dir_.path()), ElementsAre("result.dbf"));
  EXPECT_TRUE(window_.messages.empty());
  EXPECT_EQ(window_.FocusedControl(), "cmd转换");
}

// Servicing the window after every fast row would cost a sixth of the run.
TEST_F(FrmExcelTest, WindowIsServicedOncePerIntervalOfTheRun) {
  struct Case {
    std::chrono::milliseconds per_row;
    int services;  // during the rows, after the one at the start
  };
  for (const Case& c : {Case{0ms, 0}, Case{10ms, 5}, Case{25ms, 10}}) {
    SCOPED_TRACE(c.per_row.count());
    PrepareRun(ManyRows(10));
    providers_.on_insert = [&](int) { clock_.Advance(c.per_row); };
    const int before = window_.ProcessedCount();
    window_.yes_no_answers = {true};  // the target is there after the first
    window_.Click("cmd转换");
    EXPECT_EQ(window_.ProcessedCount() - before, 1 + c.services);
    EXPECT_EQ(Status(), " 已经导入 10 条记录 完成");
  }
}

TEST_F(FrmExcelTest, ControlsAreDisabledWhileARunIsGoingOn) {
  PrepareRun(ThreeRows());
  const char* locked[] = {"txtexcel", "cmdexcel", "txtdbf", "cmddbf", "cmd转换"};
  bool checked = false;
  providers_.on_insert = [&](int insert) {
    if (insert != 2) return;
    checked = true;
    EXPECT_EQ(form_.State(), FormState::kRunning);
    for (const char* name : locked) EXPECT_FALSE(window_.IsEnabled(name)) << name;
    EXPECT_TRUE(window_.IsEnabled("cmd退出"));
  };
  window_.Click("cmd转换");
  EXPECT_TRUE(checked);
  EXPECT_EQ(form_.State(), FormState::kIdle);
  for (const char* name : locked) EXPECT_TRUE(window_.IsEnabled(name)) << name;
}

TEST_F(FrmExcelTest, DropsDuringARunChangeNothing) {
  PrepareRun(ManyRows(5));
  providers_.on_insert = [&](int insert) {
    if (insert == 2) window_.Post([&] { window_.Drop("", {dir_.File("other.xls")}); });
    clock_.Advance(30ms);
  };
  window_.Click("cmd转换");
  EXPECT_EQ(window_.Text("txtexcel"), workbook_);
  EXPECT_EQ(ReadInsertedValues(target_).size(), 5u);
}

TEST_F(FrmExcelTest, ExistingTargetIsReplacedWhenTheUserSaysYes) {
  PrepareRun(ThreeRows());
  testing_support::WriteFileBytes(target_, "old");
  window_.yes_no_answers = {true};
  window_.Click("cmd转换");
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_EQ(window_.messages[0].text, "dbf文件已经存在,是否覆盖?");
  EXPECT_EQ(window_.messages[0].title, "Quenmar软件");
  EXPECT_EQ(window_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_TRUE(window_.messages[0].yes_no);
  EXPECT_EQ(ReadInsertedValues(target_).size(), 3u);
  EXPECT_THAT(FolderEntries(dir_.path()), ElementsAre("result.dbf"));
}

// A press of Convert that writes nothing says so, instead of leaving the
// last run's " 完成" on the line.
TEST_F(FrmExcelTest, ExistingTargetIsKeptWhenTheUserSaysNo) {
  PrepareRun(ThreeRows());
  window_.SetText("lblstat", " 已经导入 5000 条记录 完成");
  testing_support::WriteFileBytes(target_, "old");
  window_.yes_no_answers = {false};
  window_.Click("cmd转换");
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_TRUE(window_.messages[0].yes_no);
  EXPECT_EQ(testing_support::ReadFileBytes(target_), "old");
  EXPECT_EQ(Status(), " 没有覆盖，原文件未改动");
  EXPECT_EQ(window_.QuitStatus(), std::nullopt);
  EXPECT_TRUE(window_.IsOpen());
}

TEST_F(FrmExcelTest, SheetWithoutDataRowsSaysNoFileWasMade) {
  PrepareRun(FakeSheet{{{"Code", 8}}, {}});
  window_.SetText("lblstat", " 已经导入 5000 条记录 完成");
  window_.Click("cmd转换");
  EXPECT_EQ(Status(), " 工作表没有数据行，没有生成 dbf 文件");
  EXPECT_TRUE(FolderEntries(dir_.path()).empty());
  EXPECT_TRUE(window_.messages.empty());
}

// ---- What the run changed on the way in ----------------------------------

using platform::data::Warning;
using platform::data::WarningKind;
using platform::data::WarningList;

Warning ValueCut(std::int64_t row) {
  return {WarningKind::kValueCut, "名称", row,
          "第 " + std::to_string(row) + " 行字段“名称”的值长 120 个字节，超过字段宽度 100，截断为 100 个字节"};
}

// Nothing cut or renamed quietly: a completed run that changed names or
// values says so in one box, after the status line shows it finished.
TEST_F(FrmExcelTest, CompletedRunWithChangesShowsOneSummaryBox) {
  PrepareRun(ThreeRows());
  providers_.warnings.listed = {ValueCut(2)};
  std::string status_during_box;
  window_.on_message = [&](const FakeWindow::Message&) { status_during_box = Status(); };
  window_.Click("cmd转换");
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_EQ(window_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(window_.messages[0].title, "Quenmar软件");
  EXPECT_FALSE(window_.messages[0].yes_no);
  EXPECT_EQ(window_.messages[0].text, ChangesSummary(providers_.warnings));
  EXPECT_EQ(status_during_box, " 已经导入 3 条记录 完成");
  EXPECT_EQ(window_.QuitStatus(), std::nullopt);
  EXPECT_EQ(ReadInsertedValues(target_).size(), 3u);
}

TEST(ChangesSummary, CountsEachKindThenNamesTheFirstFiveWithFieldAndRow) {
  WarningList warnings;
  warnings.listed = {{WarningKind::kFieldRenamed, "Code", 0, "字段名“code”与前面的字段重名，改为“code_2”"}};
  for (int row = 2; row <= 8; ++row) warnings.listed.push_back(ValueCut(row));
  warnings.listed.push_back({WarningKind::kValueFourByte, "备注", 9,
                             "第 9 行字段“备注”中有 1 个字符不在代码页 936 中，以 GB18030 四字节形式写入"});
  warnings.unlisted[static_cast<std::size_t>(WarningKind::kValueCut)] = 120;
  EXPECT_EQ(ChangesSummary(warnings),
            "dbf 文件已经生成，但有些内容与工作簿不同：\n"
            "1 个字段名与前面的字段重名，已改名\n"
            "127 个值超过字段宽度，已截断\n"
            "1 个值含有代码页 936 以外的字符，以 GB18030 四字节形式写入\n"
            "\n前 5 处：\n"
            "字段名“code”与前面的字段重名，改为“code_2”\n"
            "第 2 行字段“名称”的值长 120 个字节，超过字段宽度 100，截断为 100 个字节\n"
            "第 3 行字段“名称”的值长 120 个字节，超过字段宽度 100，截断为 100 个字节\n"
            "第 4 行字段“名称”的值长 120 个字节，超过字段宽度 100，截断为 100 个字节\n"
            "第 5 行字段“名称”的值长 120 个字节，超过字段宽度 100，截断为 100 个字节");
}

TEST(ChangesSummary, SaysNothingWhenNothingChangedAndCountsWhatWasNotListed) {
  EXPECT_EQ(ChangesSummary(WarningList{}), "");
  WarningList only_counted;
  only_counted.unlisted[static_cast<std::size_t>(WarningKind::kFieldNameCut)] = 3;
  EXPECT_EQ(ChangesSummary(only_counted),
            "dbf 文件已经生成，但有些内容与工作簿不同：\n3 个字段名超过 10 个字节，已截短");
}

// ---- Failures -----------------------------------------------------------

TEST_F(FrmExcelTest, ErrorIsShownWithNumberAndDescriptionThenTheProgramEnds) {
  PrepareRun(ThreeRows());
  window_.Type("txtexcel", dir_.File("missing.xls"));
  std::string status_during_report;
  window_.on_message = [&](const FakeWindow::Message&) { status_during_report = Status(); };
  window_.Click("cmd转换");
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_THAT(window_.messages[0].text, HasSubstr("53"));
  EXPECT_THAT(window_.messages[0].text, HasSubstr("找不到文件"));
  EXPECT_EQ(window_.messages[0].title, "Quenmar软件");
  EXPECT_EQ(window_.messages[0].icon, MessageIcon::kError);
  EXPECT_FALSE(window_.messages[0].yes_no);
  // The workbook was being read when it failed.
  EXPECT_EQ(status_during_report, " 正在读取工作簿…");
  EXPECT_EQ(window_.QuitStatus(), kFailureExitStatus);
  EXPECT_EQ(form_.State(), FormState::kEnded);
  // Nothing more happens while the program ends.
  window_.file_answers = {dir_.File("other.xls")};
  window_.Click("cmdexcel");
  EXPECT_TRUE(window_.file_requests.empty());
}

TEST_F(FrmExcelTest, ErrorReportGivesTheNumberAndTheDescription) {
  EXPECT_EQ(ErrorReport(platform::Error(53, "文件未找到：a.xls")), "错误 53：文件未找到：a.xls");
}

TEST_F(FrmExcelTest, ErrorMidRunLeavesTheLastGoodCountOnScreenDuringTheReport) {
  PrepareRun(ThreeRows());
  providers_.on_insert = [](int insert) {
    if (insert == 2) platform::Raise(1234, "插入失败");
  };
  std::string status_during_report;
  window_.on_message = [&](const FakeWindow::Message&) { status_during_report = Status(); };
  window_.Click("cmd转换");
  EXPECT_EQ(status_during_report, " 已经导入 1 条记录");
  ASSERT_EQ(window_.messages.size(), 1u);
  EXPECT_THAT(window_.messages[0].text, HasSubstr("1234"));
  EXPECT_THAT(window_.messages[0].text, HasSubstr("插入失败"));
}

// The window's event loop returns the failure status once the report is
// closed, as main() hands it to the system.
TEST_F(FrmExcelTest, EventLoopEndsWithAFailureStatusAfterTheReport) {
  window_.Type("txtexcel", dir_.File("missing.xls"));
  window_.Post([&] { window_.Click("cmd转换"); });
  EXPECT_EQ(window_.Run(), kFailureExitStatus);
  EXPECT_EQ(window_.messages.size(), 1u);
}

TEST_F(FrmExcelTest, ExitEndsTheEventLoopWithSuccess) {
  window_.Post([&] { window_.Click("cmd退出"); });
  EXPECT_EQ(window_.Run(), 0);
  EXPECT_FALSE(window_.IsOpen());
}

// ---- Closing during a run -----------------------------------------------

TEST_F(FrmExcelTest, ClosingMidRunStopsTheRunAndLeavesNoStagingFile) {
  struct Case {
    const char* why;
    std::function<void(FakeWindow&)> close;
  };
  const Case cases[] = {
      {"Exit button", [](FakeWindow& window) { window.Click("cmd退出"); }},
      {"close box", [](FakeWindow& window) { window.PressClose(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    FakeWindow window;
    FrmExcel form(window, services_);
    PrepareRun(ManyRows(50));
    window.Type("txtexcel", workbook_);
    window.Type("txtdbf", target_);
    int inserted = 0;
    providers_.on_insert = [&](int insert) {
      inserted = insert;
      if (insert == 5) window.Post([&] { c.close(window); });
      // Long enough that the next yield services the window.
      clock_.Advance(30ms);
    };
    window.Click("cmd转换");
    EXPECT_FALSE(window.IsOpen());
    EXPECT_EQ(form.State(), FormState::kIdle);
    EXPECT_LT(inserted, 50);
    EXPECT_EQ(window.QuitStatus(), std::nullopt);
    EXPECT_TRUE(FolderEntries(dir_.path()).empty());
  }
}

}  // namespace
}  // namespace frmexcel
