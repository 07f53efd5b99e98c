#include "platform/window/win32/win32_system.h"

#include <string>

#include "platform/runtime/error.h"

namespace platform::window::win32 {
namespace {

// A function of user32 that only newer systems have, or nullptr.
template <typename Function>
Function UserFunction(const char* name) {
  HMODULE user = GetModuleHandleW(L"user32.dll");
  FARPROC found = user == nullptr ? nullptr : GetProcAddress(user, name);
  // Through void (*)(): the one function pointer type every other one
  // converts to without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// The screen's device context, released when done with.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

int DpiOf(HWND window) {
  static const auto get_dpi_for_window = UserFunction<GetDpiForWindowFunction>("GetDpiForWindow");
  if (get_dpi_for_window != nullptr && window != nullptr) {
    if (const UINT dpi = get_dpi_for_window(window); dpi != 0) return static_cast<int>(dpi);
  }
  const ScreenDc screen;
  const int dpi = screen.get() == nullptr ? 0 : GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

SIZE OuterSize(DWORD style, DWORD ex_style, int client_width, int client_height, int dpi) {
  static const auto adjust_for_dpi =
      UserFunction<AdjustWindowRectExForDpiFunction>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, client_width, client_height};
  const BOOL adjusted = adjust_for_dpi != nullptr
                            ? adjust_for_dpi(&rect, style, FALSE, ex_style, static_cast<UINT>(dpi))
                            : AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  if (!adjusted) RaiseSystemError("AdjustWindowRectEx", GetLastError());
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

void RaiseSystemError(const char* call, DWORD code) {
  Raise(err::kInternalError,
        std::string("窗口系统错误：") + call + " 失败（系统错误 " + std::to_string(code) + "）");
}

}  // namespace platform::window::win32
