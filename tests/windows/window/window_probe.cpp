// What a person sees of another program's window, for the window tests
// under Wine: the top-level window with the given title (exact), then each
// of its controls in creation order, one tab-separated line each:
//   class  id  enabled(1/0)  focused(1/0)  left,top,width,height  icon  text
// in UTF-8. The rectangle is in the window's client area; icon names the
// system icon a message box's picture shows (error, information,
// question, warning), else "-". The first line is "window" and the
// client size. Exit status 1 when no visible window has that title.
//   window_probe.exe TITLE
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n,
                      nullptr, nullptr);
  return utf8;
}

// WM_GETTEXT works across processes; GetWindowTextW would not for controls.
std::wstring TextOf(HWND window) {
  wchar_t text[4096] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                      5000, nullptr);
  return text;
}

const char* IconOf(HWND control) {
  const auto icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
  if (icon == nullptr) return "-";
  const struct {
    LPCWSTR id;
    const char* name;
  } icons[] = {{IDI_HAND, "error"}, {IDI_ASTERISK, "information"}, {IDI_QUESTION, "question"},
               {IDI_EXCLAMATION, "warning"}};
  for (const auto& known : icons) {
    if (LoadIconW(nullptr, known.id) == icon) return known.name;
  }
  return "other";
}

void Print(const std::string& line) {
  DWORD wrote = 0;
  const std::string text = line + "\n";
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &wrote,
            nullptr);
}

std::string Describe(HWND window, HWND control, HWND focus) {
  wchar_t class_name[256] = {};
  GetClassNameW(control, class_name, 256);
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  const bool is_static = lstrcmpiW(class_name, L"Static") == 0;
  return Utf8(class_name) + "\t" + std::to_string(GetDlgCtrlID(control)) + "\t" +
         (IsWindowEnabled(control) ? "1" : "0") + "\t" + (control == focus ? "1" : "0") + "\t" +
         std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
         std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top) +
         "\t" + (is_static ? IconOf(control) : "-") + "\t" + Utf8(TextOf(control));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HWND window = FindWindowW(nullptr, argv[1]);
  if (window == nullptr || !IsWindowVisible(window)) return 1;
  GUITHREADINFO gui{};
  gui.cbSize = sizeof gui;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);
  RECT client{};
  GetClientRect(window, &client);
  Print("window\t" + std::to_string(client.right) + "x" + std::to_string(client.bottom));
  for (HWND control = GetWindow(window, GW_CHILD); control != nullptr;
       control = GetWindow(control, GW_HWNDNEXT)) {
    Print(Describe(window, control, gui.hwndFocus));
  }
  return 0;
}
