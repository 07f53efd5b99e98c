#include <QApplication>

#include "frmexcel/conversion_run.h"
#include "frmexcel/frmexcel.h"
#include "frmicon/frmicon.h"
#include "platform/data/providers/providers.h"
#include "platform/dialogs/qt_dialogs.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("excel2dbf"));
  QApplication::setApplicationVersion(QStringLiteral("1.00"));
  QApplication::setDesktopFileName(QStringLiteral("excel2dbf"));
  QApplication::setWindowIcon(frmicon::ProgramIcon());

  platform::dialogs::QtDialogs dialogs;
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  frmexcel::FrmExcel window(dialogs, {files, clock, *providers});
  QObject::connect(&window, &frmexcel::FrmExcel::fatalError, &app,
                   [](int exit_status) { QCoreApplication::exit(exit_status); });
  window.show();
  return app.exec();
}
