#include "frmexcel/frmexcel.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "mdlpublic/mdlpublic.h"
#include "platform/runtime/variant.h"

namespace frmexcel {
namespace {

namespace window = platform::window;
using window::ControlKind;
using window::FileDialogKind;
using window::MessageIcon;

constexpr const char* kFontFamily = "宋体";
constexpr const char* kCredit = "信息中心软件开发组";
// The run yields after every row; the window is serviced, with the status
// line shown, every 20 ms of it: 50 times a second.
constexpr std::chrono::milliseconds kServiceInterval{20};

window::Font FontOf(double point_size) { return window::Font{kFontFamily, point_size, 400, 134}; }

window::Form MakeForm() {
  const window::Font box = FontOf(12);
  // name, kind, text, {left, top, width, height} in twips, font (none: the
  // window's 10.5 pt), tab order.
  return window::Form{
      "frmexcel",
      kCaption,
      7020,
      4020,
      FontOf(10.5),
      {
          {"Label2", ControlKind::kLabel, "Excel文件", {600, 720, 1215, 255}, box, 1},
          {"txtexcel", ControlKind::kTextBox, "", {1800, 600, 3015, 495}, box, 2},
          {"cmdexcel", ControlKind::kButton, "浏览", {4800, 600, 615, 495}, {}, 3},
          {"Label3", ControlKind::kLabel, "Dbf文件", {600, 1440, 1095, 255}, box, 4},
          {"txtdbf", ControlKind::kTextBox, "", {1800, 1320, 3015, 495}, box, 5},
          {"cmddbf", ControlKind::kButton, "浏览", {4800, 1320, 615, 495}, {}, 6},
          {"lblstat", ControlKind::kLabel, "", {600, 2040, 3735, 255}, {}, 9},
          {"cmd转换", ControlKind::kButton, "转换", {2640, 2640, 1455, 495}, {}, 7},
          {"cmd退出", ControlKind::kButton, "退出", {4320, 2640, 1455, 495}, {}, 8},
          {"Label1", ControlKind::kLabel, kCredit, {4440, 3600, 1815, 255}, FontOf(9), 0},
      },
  };
}

// How many of the changes the summary names one by one; the command line
// prints every line.
constexpr std::size_t kChangesNamed = 5;

// What the summary says of each kind of change, after its count, in the
// order of platform::data::WarningKind.
constexpr std::array<const char*, platform::data::kWarningKindCount> kChangeCounts = {
    " 个字段名与前面的字段重名，已改名",
    " 个字段名超过 10 个字节，已截短",
    " 个字段名含有代码页 936 以外的字符，以 GB18030 形式写入",
    " 个值超过字段宽度，已截断",
    " 个值含有代码页 936 以外的字符，以 GB18030 形式写入",
};

// What the user may not touch while a run goes on: a second run, or a
// change of the paths, in the middle of one would corrupt it. Exit and
// the close box stay live.
constexpr std::string_view kLockedDuringRun[] = {kTxtExcel, kCmdExcel, kTxtDbf, kCmdDbf,
                                                 kCmdConvert};

}  // namespace

const window::Form& FormTable() {
  static const window::Form form = MakeForm();
  return form;
}

std::string ErrorReport(const platform::Error& error) {
  return "错误 " + std::to_string(error.number()) + "：" + error.description();
}

std::string ChangesSummary(const platform::data::WarningList& warnings) {
  if (warnings.empty()) return "";
  std::string text = "dbf 文件已经生成，但有些内容与工作簿不同：\n";
  for (std::size_t kind = 0; kind < kChangeCounts.size(); ++kind) {
    const std::int64_t count = warnings.Count(static_cast<platform::data::WarningKind>(kind));
    if (count > 0) text += std::to_string(count) + kChangeCounts[kind] + "\n";
  }
  const std::size_t named = std::min(warnings.listed.size(), kChangesNamed);
  if (named > 0) text += "\n前 " + std::to_string(named) + " 处：\n";
  for (std::size_t i = 0; i < named; ++i) text += warnings.listed[i].text + "\n";
  text.pop_back();
  return text;
}

bool FileChooser::Show(window::Window& window) {
  std::optional<std::string> chosen = window.ChooseFile(request_);
  if (!chosen) return false;
  request_.file_name = std::move(*chosen);
  return true;
}

FrmExcel::FrmExcel(window::Window& window, const RunServices& services)
    : window_(window),
      services_(services),
      cdgexcel_(FileDialogKind::kOpen, kWorkbookFilter),
      cdgdbf_(FileDialogKind::kSaveAs, kTargetFilter, kTargetExtension),
      repaint_(services.clock, kServiceInterval) {
  window_.Build(FormTable(), *this);
}

void FrmExcel::OnClick(std::string_view control) {
  Guarded([&] {
    if (state_ == FormState::kEnded) return;
    if (control == kCmdExcel) {
      ChooseWorkbook();
    } else if (control == kCmdDbf) {
      ChooseTarget();
    } else if (control == kCmdConvert) {
      Convert();
    } else if (control == kCmdExit) {
      window_.Close();
    }
  });
}

// During a run, closing only asks the run to stop; the window closes when
// the run has returned.
bool FrmExcel::OnClose() {
  if (state_ == FormState::kRunning || state_ == FormState::kStopping) {
    state_ = FormState::kStopping;
    return false;
  }
  return true;
}

// A file dropped on the target box is a target, anywhere else a workbook.
void FrmExcel::OnDrop(std::string_view control, const std::vector<std::string>& paths) {
  Guarded([&] {
    if (state_ != FormState::kIdle || paths.empty()) return;
    if (control == kTxtDbf) {
      TakeTarget(paths.front());
    } else {
      window_.SetText(kTxtExcel, paths.front());
    }
  });
}

// A cancelled dialog leaves the box as it was: an empty name would wipe a
// typed path.
void FrmExcel::ChooseWorkbook() {
  if (cdgexcel_.Show(window_)) window_.SetText(kTxtExcel, cdgexcel_.FileName());
}

void FrmExcel::ChooseTarget() {
  if (cdgdbf_.Show(window_)) TakeTarget(cdgdbf_.FileName());
}

// Older dBase drivers fail in folders with Chinese names, and users keep
// to that rule: such a target is refused and the box keeps its text. Only
// the folder counts, a Chinese file name is fine; a path typed by hand is
// not tested.
void FrmExcel::TakeTarget(const std::string& path) {
  if (mdlpublic::HasDbcsChar(platform::Variant::Text(mdlpublic::GetDirPart(path)))) {
    window_.ShowMessage(MessageIcon::kInformation, kChineseFolderRefusal, kMessageTitle);
    return;
  }
  window_.SetText(kTxtDbf, path);
}

void FrmExcel::Convert() {
  SetRunning(true);
  RunResult result;
  try {
    result = RunConversion(*this, services_);
  } catch (...) {
    SetRunning(false);
    throw;
  }
  const bool close = state_ == FormState::kStopping;
  SetRunning(false);
  if (close) {
    window_.Close();
    return;
  }
  ShowOutcome(result);
}

// A press of Convert that wrote nothing says so.
void FrmExcel::ShowOutcome(const RunResult& result) {
  switch (result.outcome) {
    case RunOutcome::kNoRows:
      window_.SetText(kLblStat, kNoRowsStatus);
      break;
    case RunOutcome::kDeclined:
      window_.SetText(kLblStat, kDeclinedStatus);
      break;
    case RunOutcome::kCompleted:
      // Nothing is changed quietly: the user hears of every change once.
      if (!result.warnings.empty()) {
        window_.ShowMessage(MessageIcon::kInformation, ChangesSummary(result.warnings),
                            kMessageTitle);
      }
      break;
    case RunOutcome::kStopped:
    case RunOutcome::kAlreadyRunning:
      break;
  }
}

// An error is reported with its number and description, and the program
// then ends: a run that failed half-way is not to be continued from.
template <typename Handler>
void FrmExcel::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (...) {
    const platform::Error error = platform::CurrentError();
    state_ = FormState::kEnded;
    window_.ShowMessage(MessageIcon::kError, ErrorReport(error), kMessageTitle);
    window_.Quit(kFailureExitStatus);
  }
}

void FrmExcel::SetRunning(bool running) {
  if (running) {
    state_ = FormState::kRunning;
  } else if (state_ != FormState::kEnded) {
    state_ = FormState::kIdle;
  }
  for (std::string_view control : kLockedDuringRun) window_.Enable(control, !running);
  if (running) {
    // Shown at once: reading a large workbook takes a while.
    SetStatusText(kReadingStatus);
    ShowStatus();
    window_.ProcessPendingEvents();
    repaint_.Restart();
    return;
  }
  ShowStatus();
  if (state_ == FormState::kIdle) window_.Focus(kCmdConvert);
}

std::string FrmExcel::WorkbookPath() const { return window_.Text(kTxtExcel); }

std::string FrmExcel::TargetPath() const { return window_.Text(kTxtDbf); }

std::string FrmExcel::StatusText() const { return status_; }

void FrmExcel::SetStatusText(const std::string& text) {
  status_ = text;
  status_shown_ = false;
}

void FrmExcel::ShowStatus() {
  if (status_shown_) return;
  window_.SetText(kLblStat, status_);
  status_shown_ = true;
}

bool FrmExcel::AskYesNo(const std::string& prompt, const std::string& title) {
  return window_.AskYesNo(prompt, title);
}

bool FrmExcel::Yield() {
  if (repaint_.Due()) {
    ShowStatus();
    window_.ProcessPendingEvents();
  }
  return state_ == FormState::kRunning;
}

}  // namespace frmexcel
