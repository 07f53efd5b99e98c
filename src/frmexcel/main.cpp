// The window program: the form on the toolkit this build draws with.
#include "frmexcel/frmexcel.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"
#include "platform/window/window.h"

int main(int argc, char* argv[]) {
  const auto window = platform::window::MakeWindow(argc, argv);
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  frmexcel::FrmExcel form(*window, {files, clock, *providers});
  return window->Run();
}
