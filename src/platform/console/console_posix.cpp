#include <unistd.h>

#include <csignal>
#include <iostream>

#include "platform/console/console.h"

namespace platform::console {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void OnInterrupt(int) { g_interrupted = 1; }

}  // namespace

std::ostream& StandardOutput() { return std::cout; }
std::ostream& StandardError() { return std::cerr; }

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

std::optional<std::string> ReadLine() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void CatchInterrupts() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool InterruptRequested() { return g_interrupted != 0; }

}  // namespace platform::console
