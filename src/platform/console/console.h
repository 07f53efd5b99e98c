#pragma once

#include <cstdio>
#include <iosfwd>
#include <optional>
#include <string>

// The terminal the command-line front end talks to (console_posix.cpp,
// console_win32.cpp).
namespace platform::console {

// The process's standard output and error for UTF-8 text. On Windows a
// console gets the text as UTF-16 (WriteConsoleW), whatever its code page;
// a file or pipe gets the UTF-8 bytes.
std::ostream& StandardOutput();
std::ostream& StandardError();

// True when the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

// Reads one line from standard input (without its line end), as UTF-8;
// nothing at the end of input.
std::optional<std::string> ReadLine();

// From now on Ctrl+C (and a polite termination request: SIGTERM, or on
// Windows Ctrl+Break and the console window's close box) only sets a flag
// that InterruptRequested() reports, so a run can stop cleanly.
void CatchInterrupts();
bool InterruptRequested();

}  // namespace platform::console
