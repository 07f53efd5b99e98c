#pragma once

#include <cstdio>
#include <optional>
#include <string>

// The terminal the command-line front end talks to.
namespace platform::console {

// True when the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

// Reads one line from standard input (without its line end); nothing at
// the end of input.
std::optional<std::string> ReadLine();

// From now on Ctrl+C (and a polite termination request) only sets a flag
// that InterruptRequested() reports, so a run can stop cleanly.
void CatchInterrupts();
bool InterruptRequested();

}  // namespace platform::console
