// Converts one workbook through the window, for timing against the
// command line: window_convert WORKBOOK TARGET [SCREENSHOT.png]
// The window is shown (offscreen unless a platform is chosen), Convert is
// clicked, an existing target is replaced. Prints the run's own time on
// stderr; exits 0 when the conversion completed, 1 otherwise. With a
// third argument it saves what the screen shows of the window afterwards
// (docs/screenshot.png is made so under xvfb-run).
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "frmexcel/conversion_run.h"
#include "frmexcel/frmexcel.h"
#include "platform/data/providers/providers.h"
#include "platform/dialogs/fake_dialogs.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

namespace {

void SaveScreenshot(QWidget& window, const QString& path) {
  // Let the last status text reach the screen first.
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
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
  platform::dialogs::FakeDialogs dialogs;
  dialogs.yes_no_answers = {true};
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  frmexcel::FrmExcel window(dialogs, {files, clock, *providers});
  window.findChild<QLineEdit*>(QStringLiteral("txtexcel"))->setText(QString::fromLocal8Bit(argv[1]));
  window.findChild<QLineEdit*>(QStringLiteral("txtdbf"))->setText(QString::fromLocal8Bit(argv[2]));
  window.show();

  int status = 0;
  QObject::connect(&window, &frmexcel::FrmExcel::fatalError, &window,
                   [&status](int exit_status) { status = exit_status; });
  QTimer::singleShot(0, &window, [&] {
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton*>(QStringLiteral("cmd转换"))->click();
    std::fprintf(stderr, "run %.3f s\n", static_cast<double>(clock.nsecsElapsed()) / 1e9);
    if (argc == 4) SaveScreenshot(window, QString::fromLocal8Bit(argv[3]));
    QCoreApplication::exit(status);
  });
  const int result = QApplication::exec();
  for (const auto& message : dialogs.messages) {
    if (!message.yes_no) std::fprintf(stderr, "%s\n", message.text.c_str());
  }
  return result;
}
