// Converts one workbook through the window, for timing against the
// command line: window_convert WORKBOOK TARGET [SCREENSHOT.png]
// The window is shown (offscreen unless a platform is chosen), Convert is
// clicked, an existing target is replaced. Prints the run's own time on
// stderr; exits 0 when the conversion completed, 1 otherwise. With a
// third argument it saves what the screen shows of the window afterwards
// (docs/screenshot.png is made so under xvfb-run).
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "frmexcel/frmexcel.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/window/qt/qt_window.h"

namespace {

// The Qt window with its message boxes answered: Yes to replacing the
// target, and any other message printed instead of shown.
class UnattendedWindow : public platform::window::QtWindow {
 public:
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ShowMessage(platform::window::MessageIcon, std::string_view text,
                   std::string_view) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
};

void SaveScreenshot(QWidget& window, const QString& path) {
  // Let the last status text reach the screen first.
  QEventLoop settle;
  QTimer::singleShot(200, &settle, &QEventLoop::quit);
  settle.exec();
  QPixmap shot = window.screen()->grabWindow(window.winId());
  if (shot.isNull()) shot = window.grab();  // platforms without a screen to read
  if (!shot.save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: window_convert WORKBOOK TARGET [SCREENSHOT.png]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  }
  QApplication app(argc, argv);
  platform::window::PrepareApplication(app);
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  UnattendedWindow window;
  frmexcel::FrmExcel form(window, {files, clock, *providers});
  window.SetText(frmexcel::kTxtExcel, QString::fromLocal8Bit(argv[1]).toStdString());
  window.SetText(frmexcel::kTxtDbf, QString::fromLocal8Bit(argv[2]).toStdString());

  QTimer::singleShot(0, [&] {
    QElapsedTimer timer;
    timer.start();
    window.Widget()->findChild<QPushButton*>(QStringLiteral("cmd转换"))->click();
    std::fprintf(stderr, "run %.3f s\n", static_cast<double>(timer.nsecsElapsed()) / 1e9);
    if (argc == 4) SaveScreenshot(*window.Widget(), QString::fromLocal8Bit(argv[3]));
    window.Quit(form.State() == frmexcel::FormState::kEnded ? 1 : 0);
  });
  return window.Run();
}
