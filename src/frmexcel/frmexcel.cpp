#include "frmexcel/frmexcel.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <new>

#include "frmicon/frmicon.h"
#include "mdlpublic/mdlpublic.h"
#include "platform/dialogs/font_family.h"
#include "platform/runtime/error.h"
#include "platform/runtime/variant.h"

namespace frmexcel {
namespace {

using platform::dialogs::FileDialogKind;

constexpr int kClientWidthTwips = 7020;
constexpr int kClientHeightTwips = 4020;
constexpr const char* kDesignFont = "SimSun";
constexpr double kWindowPointSize = 10.5;
constexpr double kBoxPointSize = 12;
constexpr double kCreditPointSize = 9;
constexpr const char* kCredit = "信息中心软件开发组";
// The run yields after every row; servicing the window, or even setting
// the label's text, on every one of them costs a sixth of the run. The
// status text is kept per row and shown, with the window serviced, every
// 20 ms: it repaints and answers clicks 50 times a second.
constexpr qint64 kServiceIntervalMs = 20;

QRect FromTwips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
               height / kTwipsPerPixel);
}

QFont DesignFont(double point_size) {
  QFont font(platform::dialogs::ChineseFontFamily(QString::fromLatin1(kDesignFont)));
  font.setPointSizeF(point_size);
  font.setWeight(QFont::Normal);
  return font;
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

FrmExcel::FrmExcel(platform::dialogs::Dialogs& dialogs, const RunServices& services,
                   QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      dialogs_(dialogs),
      services_(services),
      cdgexcel_(dialogs, FileDialogKind::kOpen, kWorkbookFilter),
      cdgdbf_(dialogs, FileDialogKind::kSaveAs, kTargetFilter) {
  setObjectName(QStringLiteral("frmexcel"));
  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(frmicon::ProgramIcon());
  setFont(DesignFont(kWindowPointSize));
  setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);
  BuildControls();
  ConnectHandlers();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                    screen->availableGeometry()));
  }
}

FrmExcel::~FrmExcel() = default;

void FrmExcel::BuildControls() {
  const QFont box_font = DesignFont(kBoxPointSize);
  auto label = [this](const char* name, const char* text, QRect where) {
    auto* control = new QLabel(QString::fromUtf8(text), this);
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(where);
    return control;
  };
  auto text_box = [this, &box_font](const char* name, QRect where) {
    auto* control = new QLineEdit(this);
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(where);
    control->setFont(box_font);
    return control;
  };
  auto button = [this](const char* name, const char* text, QRect where) {
    auto* control = new QPushButton(QString::fromUtf8(text), this);
    control->setObjectName(QString::fromUtf8(name));
    control->setGeometry(where);
    // Enter and Esc press no button in this window.
    control->setAutoDefault(false);
    control->setDefault(false);
    return control;
  };

  // Created in tab order, which Qt takes as the focus chain.
  label2_ = label("Label2", "Excel文件", FromTwips(600, 720, 1215, 255));
  label2_->setFont(box_font);
  txtexcel_ = text_box("txtexcel", FromTwips(1800, 600, 3015, 495));
  cmdexcel_ = button("cmdexcel", "浏览", FromTwips(4800, 600, 615, 495));
  label3_ = label("Label3", "Dbf文件", FromTwips(600, 1440, 1095, 255));
  label3_->setFont(box_font);
  txtdbf_ = text_box("txtdbf", FromTwips(1800, 1320, 3015, 495));
  cmddbf_ = button("cmddbf", "浏览", FromTwips(4800, 1320, 615, 495));
  cmd_convert_ = button("cmd转换", "转换", FromTwips(2640, 2640, 1455, 495));
  cmd_exit_ = button("cmd退出", "退出", FromTwips(4320, 2640, 1455, 495));
  lblstat_ = label("lblstat", "", FromTwips(600, 2040, 3735, 255));
  label1_ = label("Label1", kCredit, FromTwips(4440, 3600, 1815, 255));
  label1_->setFont(DesignFont(kCreditPointSize));

  setTabOrder(txtexcel_, cmdexcel_);
  setTabOrder(cmdexcel_, txtdbf_);
  setTabOrder(txtdbf_, cmddbf_);
  setTabOrder(cmddbf_, cmd_convert_);
  setTabOrder(cmd_convert_, cmd_exit_);
  txtexcel_->setFocus();
}

void FrmExcel::ConnectHandlers() {
  connect(cmdexcel_, &QPushButton::clicked, this, &FrmExcel::ChooseWorkbook);
  connect(cmddbf_, &QPushButton::clicked, this, &FrmExcel::ChooseTarget);
  connect(cmd_convert_, &QPushButton::clicked, this, &FrmExcel::Convert);
  connect(cmd_exit_, &QPushButton::clicked, this, &QWidget::close);
}

void FrmExcel::ChooseWorkbook() {
  Guarded([this] {
    if (cdgexcel_.Show()) txtexcel_->setText(Text(cdgexcel_.FileName()));
  });
}

void FrmExcel::ChooseTarget() {
  Guarded([this] {
    if (!cdgdbf_.Show()) return;
    const std::string& name = cdgdbf_.FileName();
    // Older dBase drivers fail in folders with Chinese names, and users
    // keep to that rule; only the folder counts, a Chinese file name is
    // fine.
    if (mdlpublic::HasDbcsChar(platform::Variant::Text(mdlpublic::GetDirPart(name)))) {
      dialogs_.ShowInformation(kChineseFolderRefusal, kMessageTitle);
      return;
    }
    txtdbf_->setText(Text(name));
  });
}

void FrmExcel::Convert() {
  Guarded([this] {
    SetRunning(true);
    RunResult result;
    try {
      result = RunConversion(*this, services_);
    } catch (...) {
      SetRunning(false);
      throw;
    }
    SetRunning(false);
    // The window keeps to its two message boxes; the provider's warnings
    // are the command line's to print.
    if (close_when_stopped_) close();
  });
}

void FrmExcel::closeEvent(QCloseEvent* event) {
  if (running_) {
    stop_requested_ = true;
    close_when_stopped_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

template <typename Handler>
void FrmExcel::Guarded(Handler&& handler) {
  try {
    handler();
  } catch (...) {
    const platform::Error error = platform::CurrentError();
    ReportFatal(error.number(), error.description());
  }
}

void FrmExcel::ReportFatal(int number, const std::string& description) {
  dialogs_.ShowInformation("错误 " + std::to_string(number) + "：" + description, kMessageTitle);
  emit fatalError(kFailureExitStatus);
}

void FrmExcel::SetRunning(bool running) {
  running_ = running;
  if (running) {
    stop_requested_ = false;
    close_when_stopped_ = false;
    status_ = lblstat_->text().toStdString();
    since_serviced_.start();
  } else {
    ShowStatus();
  }
  // Starting a second run, or changing the paths the run reads, in the
  // middle of a run would corrupt it; Exit and the close box stay live.
  for (QWidget* control : {static_cast<QWidget*>(txtexcel_), static_cast<QWidget*>(cmdexcel_),
                           static_cast<QWidget*>(txtdbf_), static_cast<QWidget*>(cmddbf_),
                           static_cast<QWidget*>(cmd_convert_)}) {
    control->setEnabled(!running);
  }
  if (!running && !close_when_stopped_) cmd_convert_->setFocus();
}

std::string FrmExcel::WorkbookPath() const { return txtexcel_->text().toStdString(); }

std::string FrmExcel::TargetPath() const { return txtdbf_->text().toStdString(); }

std::string FrmExcel::StatusText() const { return status_; }

void FrmExcel::SetStatusText(const std::string& text) {
  status_ = text;
  status_shown_ = false;
}

void FrmExcel::ShowStatus() {
  if (status_shown_) return;
  lblstat_->setText(Text(status_));
  status_shown_ = true;
}

bool FrmExcel::AskYesNo(const std::string& prompt, const std::string& title) {
  return dialogs_.AskYesNo(prompt, title);
}

bool FrmExcel::Yield() {
  if (since_serviced_.hasExpired(kServiceIntervalMs)) {
    ShowStatus();
    QCoreApplication::processEvents();
    since_serviced_.restart();
  }
  return !stop_requested_;
}

}  // namespace frmexcel
