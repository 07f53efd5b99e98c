#pragma once

#include <windows.h>

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "platform/window/win32/win32_handles.h"
#include "platform/window/window.h"

// The window on the Win32 API (Windows): standard controls made with
// CreateWindowExW at the form's twips converted at the window's DPI, the
// system's message boxes and common file dialogs, the keyboard of a dialog
// through IsDialogMessageW.
namespace platform::window::win32 {

class Win32Window : public Window {
 public:
  Win32Window();
  ~Win32Window() override;
  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // For tests: the top-level window (nullptr before Build and once it has
  // closed), a control's window, and the DPI the form is laid out at.
  HWND Handle() const { return window_.get(); }
  HWND ControlHandle(std::string_view control) const;
  int Dpi() const { return dpi_; }
  // Hands `message` to the window as the message loop does, keyboard
  // navigation first.
  void Dispatch(MSG& message);

  void Build(const Form& form, FormEvents& events) override;
  int Run() override;
  void Quit(int exit_status) override;
  void Close() override;
  std::string Text(std::string_view control) const override;
  void SetText(std::string_view control, std::string_view text) override;
  void Enable(std::string_view control, bool enabled) override;
  void Focus(std::string_view control) override;
  void ProcessPendingEvents() override;
  void ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) override;
  bool AskYesNo(std::string_view text, std::string_view title) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;

 private:
  struct ControlWindow {
    const Control* control = nullptr;  // in form_
    HWND window = nullptr;             // owned by window_
    int id = 0;
  };

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  void LayOut(int dpi, std::optional<POINT> origin);
  SIZE SizeForClient(int width, int height, int dpi);
  std::vector<UniqueFont> MakeFonts(int dpi, std::vector<HFONT>& per_control) const;
  void Command(WPARAM wparam);
  void Drop(HDROP raw_drop);
  void Activate(bool active);
  void Destroyed();
  const ControlWindow& At(std::string_view control) const;
  const ControlWindow* Find(HWND window) const;
  HWND Owner() const;
  void RethrowPending();

  FormEvents* events_ = nullptr;
  Form form_;
  UniqueWindow window_;
  std::vector<ControlWindow> controls_;  // in tab order
  std::vector<UniqueFont> fonts_;
  int dpi_ = USER_DEFAULT_SCREEN_DPI;
  HWND focus_ = nullptr;  // the control to give the focus back to
  bool running_ = false;  // inside Run
  bool closed_ = false;
  std::optional<int> quit_status_;
  // A fault inside the window procedure, which must not throw through the
  // system's frames: rethrown once the message has been handled.
  std::exception_ptr pending_;
};

}  // namespace platform::window::win32
