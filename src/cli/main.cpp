#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/console/console.h"

int main(int argc, char** argv) {
  platform::console::CatchInterrupts();
  cli::Console console{std::cout, std::cerr};
  console.out_is_terminal = platform::console::IsTerminal(stdout);
  console.in_is_terminal = platform::console::IsTerminal(stdin);
  console.read_line = platform::console::ReadLine;
  console.interrupted = platform::console::InterruptRequested;
  return cli::Main(std::vector<std::string>(argv + 1, argv + argc), console);
}
