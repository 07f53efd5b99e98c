// The console on Windows: UTF-16 to a console window, UTF-8 bytes to a file
// or pipe, Ctrl+C through a console control handler.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "platform/console/console.h"
#include "platform/runtime/utf16.h"

namespace platform::console {
namespace {

std::atomic<bool> g_interrupted{false};

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// How many bytes at the end of text belong to a UTF-8 sequence that is not
// complete yet (it is written once the rest arrives).
std::size_t IncompleteTail(const char* text, std::size_t n) {
  for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
    const auto b = static_cast<unsigned char>(text[n - back]);
    if ((b & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

class ConsoleBuffer final : public std::streambuf {
 public:
  explicit ConsoleBuffer(DWORD which)
      : handle_(GetStdHandle(which)), console_(IsConsole(handle_)) {
    setp(buffer_, buffer_ + sizeof buffer_);
  }

 protected:
  int_type overflow(int_type c) override {
    if (!Drain(false)) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }

  int sync() override { return Drain(true) ? 0 : -1; }

 private:
  // Writes what is buffered; an unfinished UTF-8 sequence at the end stays
  // for the next time unless everything is asked for.
  bool Drain(bool everything) {
    const auto n = static_cast<std::size_t>(pptr() - pbase());
    const std::size_t keep = everything ? 0 : IncompleteTail(pbase(), n);
    const bool ok = Write(pbase(), n - keep);
    std::memmove(buffer_, pbase() + (n - keep), keep);
    setp(buffer_, buffer_ + sizeof buffer_);
    pbump(static_cast<int>(keep));
    return ok;
  }

  bool Write(const char* text, std::size_t n) {
    if (n == 0) return true;
    if (!console_) return WriteBytes(text, n);
    const std::wstring wide = ToWide(std::string_view(text, n));
    for (std::size_t done = 0; done < wide.size();) {
      DWORD wrote = 0;
      if (!WriteConsoleW(handle_, wide.data() + done, static_cast<DWORD>(wide.size() - done), &wrote,
                         nullptr) || wrote == 0) {
        return false;
      }
      done += wrote;
    }
    return true;
  }

  bool WriteBytes(const char* text, std::size_t n) {
    while (n > 0) {
      DWORD wrote = 0;
      if (!WriteFile(handle_, text, static_cast<DWORD>(n), &wrote, nullptr) || wrote == 0) return false;
      text += wrote;
      n -= wrote;
    }
    return true;
  }

  HANDLE handle_;
  bool console_;
  char buffer_[4096];
};

// A stream over a ConsoleBuffer, flushed when the program ends.
class ConsoleStream {
 public:
  ConsoleStream(DWORD which, bool unbuffered) : buffer_(which), stream_(&buffer_) {
    if (unbuffered) stream_.setf(std::ios::unitbuf);
  }
  ~ConsoleStream() { stream_.flush(); }
  ConsoleStream(const ConsoleStream&) = delete;
  ConsoleStream& operator=(const ConsoleStream&) = delete;
  std::ostream& stream() { return stream_; }

 private:
  ConsoleBuffer buffer_;
  std::ostream stream_;
};

BOOL WINAPI OnControl(DWORD event) {
  g_interrupted = true;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Closing the window, logging off, shutting down: the process ends when
  // this returns, so give the run a moment to stop and tidy up first.
  Sleep(3000);
  return TRUE;
}

}  // namespace

std::ostream& StandardOutput() {
  static ConsoleStream out(STD_OUTPUT_HANDLE, false);
  return out.stream();
}

// Unbuffered, as standard error always is.
std::ostream& StandardError() {
  static ConsoleStream err(STD_ERROR_HANDLE, true);
  return err.stream();
}

bool IsTerminal(std::FILE* stream) {
  return IsConsole(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

std::optional<std::string> ReadLine() {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!IsConsole(in)) {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  std::wstring line;
  for (;;) {
    wchar_t c = 0;
    DWORD got = 0;
    if (!ReadConsoleW(in, &c, 1, &got, nullptr) || got == 0) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (c == L'\n') break;
    if (c != L'\r') line += c;
  }
  return FromWide(line);
}

void CatchInterrupts() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool InterruptRequested() { return g_interrupted; }

}  // namespace platform::console
