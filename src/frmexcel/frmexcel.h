#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "frmexcel/conversion_run.h"
#include "platform/data/warnings.h"
#include "platform/runtime/error.h"
#include "platform/window/window.h"

// The main window: the workbook and target boxes with their Browse
// buttons, the status line, Convert and Exit. The form is a table of
// controls and four handlers written against platform::window; whichever
// face the program is built with draws it. Every rule of the window is
// here: the Chinese-folder refusal, what a cancelled dialog does, what the
// status line says, when controls are disabled, and that an error is
// reported and then ends the program.
namespace frmexcel {

// The controls, by the names the table gives them.
inline constexpr std::string_view kLabel2 = "Label2";
inline constexpr std::string_view kTxtExcel = "txtexcel";
inline constexpr std::string_view kCmdExcel = "cmdexcel";
inline constexpr std::string_view kLabel3 = "Label3";
inline constexpr std::string_view kTxtDbf = "txtdbf";
inline constexpr std::string_view kCmdDbf = "cmddbf";
inline constexpr std::string_view kLblStat = "lblstat";
inline constexpr std::string_view kCmdConvert = "cmd转换";
inline constexpr std::string_view kCmdExit = "cmd退出";
inline constexpr std::string_view kLabel1 = "Label1";

inline constexpr const char* kCaption = "转换工具";
inline constexpr const char* kChineseFolderRefusal =
    "请不要选择中文名称的文件夹，建议保存到D盘根目录";
// Both formats first, so the dialog shows either kind of workbook at once.
inline constexpr const char* kWorkbookFilter = "Excel 工作簿|*.xls;*.xlsx;*.xlsm|.xls|*.xls";
inline constexpr const char* kTargetFilter = ".dbf|*.dbf";
inline constexpr const char* kTargetExtension = "dbf";
// The status line while the workbook is read, and after a press of
// Convert that wrote nothing.
inline constexpr const char* kReadingStatus = " 正在读取工作簿…";
inline constexpr const char* kNoRowsStatus = " 工作表没有数据行，没有生成 dbf 文件";
inline constexpr const char* kDeclinedStatus = " 没有覆盖，原文件未改动";
// What the program returns after it has reported an error.
inline constexpr int kFailureExitStatus = 1;

// The window as data: caption, size, font and every control with its
// text, rectangle in twips, font and tab order.
const platform::window::Form& FormTable();

// The report of an error that ends the program: "错误 " number "：" text.
std::string ErrorReport(const platform::Error& error);

// The one message that sums up what a completed run changed on the way
// into the table (names renamed or cut, values cut, characters written in
// their four-byte GB18030 form): a count per kind, then the first few
// with their field and row. Empty when nothing was changed.
std::string ChangesSummary(const platform::data::WarningList& warnings);

// A file dialog that keeps its filter and the last name chosen in it: each
// use starts from that name; a cancel changes nothing.
class FileChooser {
 public:
  FileChooser(platform::window::FileDialogKind kind, std::string filter,
              std::string default_extension = "")
      : request_{kind, std::move(filter), "", std::move(default_extension)} {}
  // True when the user chose a file, which FileName() then holds.
  bool Show(platform::window::Window& window);
  const std::string& FileName() const { return request_.file_name; }

 private:
  platform::window::FileDialogRequest request_;
};

enum class FormState {
  kIdle,      // waiting for the user
  kRunning,   // a conversion is going on; only Exit and the close box act
  kStopping,  // closed during a run: the run stops after its row, then
              // the window closes
  kEnded,     // an error was reported: the program is ending
};

class FrmExcel : public platform::window::FormEvents, private RunHost {
 public:
  // Builds the form on `window`. `window` and the services must outlive
  // the form.
  FrmExcel(platform::window::Window& window, const RunServices& services);

  FormState State() const { return state_; }

  // platform::window::FormEvents
  void OnClick(std::string_view control) override;
  bool OnClose() override;
  void OnDrop(std::string_view control, const std::vector<std::string>& paths) override;

 private:
  // The handlers.
  void ChooseWorkbook();
  void ChooseTarget();
  void Convert();
  void TakeTarget(const std::string& path);
  void ShowOutcome(const RunResult& result);

  // The one place where every handler's errors end up.
  template <typename Handler>
  void Guarded(Handler&& handler);
  void SetRunning(bool running);
  void ShowStatus();

  // RunHost
  std::string WorkbookPath() const override;
  std::string TargetPath() const override;
  std::string StatusText() const override;
  void SetStatusText(const std::string& text) override;
  bool AskYesNo(const std::string& prompt, const std::string& title) override;
  bool Yield() override;

  platform::window::Window& window_;
  RunServices services_;
  FileChooser cdgexcel_;
  FileChooser cdgdbf_;
  FormState state_ = FormState::kIdle;
  // The status line during a run; lblstat shows it when the window is
  // serviced and when the run ends.
  std::string status_;
  bool status_shown_ = true;
  platform::window::RepaintBudget repaint_;
};

}  // namespace frmexcel
