#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <string>

#include "frmexcel/conversion_run.h"
#include "platform/dialogs/dialogs.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace frmexcel {

inline constexpr const char* kCaption = "转换工具";
inline constexpr const char* kChineseFolderRefusal =
    "请不要选择中文名称的文件夹，建议保存到D盘根目录";
inline constexpr const char* kWorkbookFilter = ".xls|*.xls";
inline constexpr const char* kTargetFilter = ".dbf|*.dbf";
// The window was designed at 15 twips to the pixel.
inline constexpr int kTwipsPerPixel = 15;
// What the program returns after it has shown an error.
inline constexpr int kFailureExitStatus = 1;

// The main window: the workbook and target boxes with their Browse
// buttons, the status line, Convert and Exit. Each handler reads its
// controls, calls one function and shows what comes back; a conversion
// runs with the window as its host.
class FrmExcel : public QWidget, private RunHost {
  Q_OBJECT

 public:
  // `dialogs` and the services must outlive the window.
  FrmExcel(platform::dialogs::Dialogs& dialogs, const RunServices& services,
           QWidget* parent = nullptr);
  ~FrmExcel() override;

  bool IsRunning() const { return running_; }

 signals:
  // A handler failed and the user has closed the report: the program is
  // to end with this status.
  void fatalError(int exit_status);

 protected:
  // During a run, closing only asks the run to stop; the window closes
  // when the run has returned.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ConnectHandlers();

  // The handlers.
  void ChooseWorkbook();
  void ChooseTarget();
  void Convert();

  // The one place per handler where errors end up.
  template <typename Handler>
  void Guarded(Handler&& handler);
  void ReportFatal(int number, const std::string& description);
  void SetRunning(bool running);
  // Puts the run's latest status text into lblstat.
  void ShowStatus();

  // RunHost
  std::string WorkbookPath() const override;
  std::string TargetPath() const override;
  std::string StatusText() const override;
  void SetStatusText(const std::string& text) override;
  bool AskYesNo(const std::string& prompt, const std::string& title) override;
  bool Yield() override;

  platform::dialogs::Dialogs& dialogs_;
  RunServices services_;
  platform::dialogs::FileChooser cdgexcel_;
  platform::dialogs::FileChooser cdgdbf_;

  QLabel* label2_ = nullptr;
  QLineEdit* txtexcel_ = nullptr;
  QPushButton* cmdexcel_ = nullptr;
  QLabel* label3_ = nullptr;
  QLineEdit* txtdbf_ = nullptr;
  QPushButton* cmddbf_ = nullptr;
  QLabel* lblstat_ = nullptr;
  QPushButton* cmd_convert_ = nullptr;
  QPushButton* cmd_exit_ = nullptr;
  QLabel* label1_ = nullptr;

  bool running_ = false;
  bool stop_requested_ = false;
  bool close_when_stopped_ = false;
  // The status line during a run; lblstat shows it when the window is
  // serviced and when the run ends.
  std::string status_;
  bool status_shown_ = true;
  QElapsedTimer since_serviced_;
};

}  // namespace frmexcel
