#pragma once

#include <windows.h>

// What the face asks of the system beyond its own window: the DPI calls
// that older Windows lacks (looked up at run time, so the exe still starts
// on Windows 7), and the error for a call that failed.
namespace platform::window::win32 {

// The DPI `window` is drawn at: its monitor's under per-monitor awareness
// (Windows 10 1607 and later), else the system's.
int DpiOf(HWND window);

// The outer size of a window of `style`/`ex_style` whose client area is
// `client_width` x `client_height` pixels at `dpi`.
SIZE OuterSize(DWORD style, DWORD ex_style, int client_width, int client_height, int dpi);

// Throws platform::Error 51 naming `call` and the system's `code` (from
// GetLastError or CommDlgExtendedError, read by the caller at once).
[[noreturn]] void RaiseSystemError(const char* call, DWORD code);

}  // namespace platform::window::win32
