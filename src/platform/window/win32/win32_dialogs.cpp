// The modal dialogs of the Win32 window: the system's message boxes and
// its common Open and Save As dialogs, in the system's language.
#include "platform/window/win32/win32_window.h"

#include <commdlg.h>

#include <algorithm>

#include "platform/runtime/utf16.h"
#include "platform/window/win32/win32_layout.h"
#include "platform/window/win32/win32_system.h"

namespace platform::window::win32 {
namespace {

// Room for the longest path the system takes (32767 characters with the
// \\?\ prefix) and its NUL.
constexpr std::size_t kPathBuffer = 32768;

struct DialogOutcome {
  std::optional<std::wstring> path;  // none: cancelled or failed
  DWORD error = 0;                   // CommDlgExtendedError(); 0: cancelled
};

DialogOutcome RunFileDialog(HWND owner, const FileDialogRequest& request,
                            const std::wstring& initial_name) {
  const std::wstring filter = OpenFileNameFilter(request.filter);
  const std::wstring extension = ToWide(request.default_extension);
  std::wstring buffer(kPathBuffer, L'\0');
  if (initial_name.size() < kPathBuffer) std::copy(initial_name.begin(), initial_name.end(), buffer.begin());
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // The working folder stays where it was, so a relative path typed in a
  // box means the same before and after a dialog. Save As does not ask
  // about replacing: the conversion asks.
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  const bool open = request.kind == FileDialogKind::kOpen;
  if (open) dialog.Flags |= OFN_FILEMUSTEXIST;
  if (open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog)) {
    return DialogOutcome{std::wstring(buffer.c_str()), 0};
  }
  return DialogOutcome{std::nullopt, CommDlgExtendedError()};
}

}  // namespace

// A last name the dialog cannot start from (its folder renamed, say)
// must not end the program: the dialog then starts afresh.
std::optional<std::string> Win32Window::ChooseFile(const FileDialogRequest& request) {
  DialogOutcome outcome = RunFileDialog(Owner(), request, ToWide(request.file_name));
  if (!outcome.path && outcome.error == FNERR_INVALIDFILENAME && !request.file_name.empty()) {
    outcome = RunFileDialog(Owner(), request, L"");
  }
  if (outcome.path) return FromWide(*outcome.path);
  if (outcome.error != 0) {
    RaiseSystemError(request.kind == FileDialogKind::kOpen ? "GetOpenFileNameW" : "GetSaveFileNameW",
                     outcome.error);
  }
  return std::nullopt;
}

void Win32Window::ShowMessage(MessageIcon icon, std::string_view text, std::string_view title) {
  const UINT style = MB_OK | (icon == MessageIcon::kError ? MB_ICONERROR : MB_ICONINFORMATION);
  if (MessageBoxW(Owner(), ToWide(text).c_str(), ToWide(title).c_str(), style) == 0) {
    RaiseSystemError("MessageBoxW", GetLastError());
  }
}

bool Win32Window::AskYesNo(std::string_view text, std::string_view title) {
  const int pressed = MessageBoxW(Owner(), ToWide(text).c_str(), ToWide(title).c_str(),
                                  MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON1);
  if (pressed == 0) RaiseSystemError("MessageBoxW", GetLastError());
  return pressed == IDYES;
}

}  // namespace platform::window::win32
