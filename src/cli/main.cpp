#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/console/console.h"
#include "platform/data/providers/providers.h"
#include "platform/filesystem/filesystem.h"
#include "platform/runtime/clock.h"

int main(int argc, char** argv) {
  platform::console::CatchInterrupts();
  cli::Console console{std::cout, std::cerr};
  console.out_is_terminal = platform::console::IsTerminal(stdout);
  console.in_is_terminal = platform::console::IsTerminal(stdin);
  console.read_line = platform::console::ReadLine;
  console.interrupted = platform::console::InterruptRequested;
  platform::FileSystem& files = platform::RealFileSystem();
  const platform::Clock& clock = platform::SystemClock();
  const auto providers = platform::data::MakeProviders(files, clock);
  return cli::Main(std::vector<std::string>(argv + 1, argv + argc), console, {files, clock, *providers});
}
