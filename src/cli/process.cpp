#include "cli/process.h"

#include "cli/cli.h"
#include "platform/console/console.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

namespace cli {

int RunProcess(const std::vector<std::string>& args) {
  platform::console::CatchInterrupts();
  Console console{platform::console::StandardOutput(), platform::console::StandardError()};
  console.out_is_terminal = platform::console::IsTerminal(stdout);
  console.in_is_terminal = platform::console::IsTerminal(stdin);
  console.read_line = platform::console::ReadLine;
  console.interrupted = platform::console::InterruptRequested;
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  const int status = Main(args, console, {files, clock, *providers});
  console.out.flush();
  return status;
}

}  // namespace cli
