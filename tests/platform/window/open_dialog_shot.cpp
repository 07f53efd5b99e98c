// Saves a picture of the window's Open dialog as the user sees it, over
// the form, after a press of the first 浏览: open_dialog_shot SHOT.png,
// started in a folder of workbooks (docs/screenshot-open.png is made so
// under xvfb-run).
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "frmexcel/frmexcel.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/window/qt/qt_window.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: open_dialog_shot SHOT.png\n");
    return 2;
  }
  QApplication app(argc, argv);
  platform::window::PrepareApplication(app);
  const QString shot_path = QString::fromLocal8Bit(argv[1]);
  bool saved = false;
  // Long enough for the folder to be listed and drawn.
  QTimer::singleShot(1500, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return;
    QPixmap shot = dialog->screen()->grabWindow(0, dialog->frameGeometry().x(),
                                                dialog->frameGeometry().y(),
                                                dialog->frameGeometry().width(),
                                                dialog->frameGeometry().height());
    if (shot.isNull()) shot = dialog->grab();
    saved = shot.save(shot_path);
    dialog->close();
  });
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  platform::window::QtWindow window;
  frmexcel::FrmExcel form(window, {files, clock, *providers});
  window.Widget()->show();
  form.OnClick(frmexcel::kCmdExcel);
  if (!saved) std::fprintf(stderr, "cannot save %s\n", argv[1]);
  return saved ? 0 : 1;
}
