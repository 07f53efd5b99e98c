// What a person sees of another program's window, for the window tests
// under Wine: the top-level window with the given title (exact), then each
// of its controls in creation order, one tab-separated line each:
//   class  id  enabled(1/0)  focused(1/0)  left,top,width,height  icon  text
// in UTF-8, line breaks as \n. The rectangle is in the window's client area; icon names the
// system icon a message box's picture shows (error, information,
// question, warning), else "-". The first line is "window" and the
// client size. Exit status 1 when no visible window has that title.
//   window_probe.exe TITLE
#include <windows.h>

#include <string>
#include <vector>

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

// The pixels of a rectangle: the screen's, or an icon drawn on `fill`.
std::vector<COLORREF> Pixels(HDC source, int width, int height, HICON icon, COLORREF fill) {
  HDC dc = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
  HGDIOBJ old = SelectObject(dc, bitmap);
  if (icon == nullptr) {
    BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
  } else {
    HBRUSH brush = CreateSolidBrush(fill);
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    DrawIconEx(dc, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  }
  std::vector<COLORREF> pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) pixels.push_back(GetPixel(dc, x, y));
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return pixels;
}

// Icon handles do not cross processes under Wine, so the picture on the
// screen is compared with each system icon drawn at its size: the closest
// names it, unless a quarter of the pixels or more differ even there.
const char* IconOf(HWND control) {
  if (SendMessageW(control, STM_GETICON, 0, 0) == 0) return "-";
  RECT rect{};
  GetWindowRect(control, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC shown_dc = CreateCompatibleDC(screen);
  HBITMAP shown_bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(shown_dc, shown_bitmap);
  BitBlt(shown_dc, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  const std::vector<COLORREF> shown = Pixels(shown_dc, width, height, nullptr, 0);
  const struct {
    LPCWSTR id;
    const char* name;
  } icons[] = {{IDI_HAND, "error"}, {IDI_ASTERISK, "information"}, {IDI_QUESTION, "question"},
               {IDI_EXCLAMATION, "warning"}};
  const char* best = "other";
  std::size_t fewest = shown.size() / 4;
  for (const auto& known : icons) {
    const std::vector<COLORREF> drawn =
        Pixels(shown_dc, width, height, LoadIconW(nullptr, known.id), shown.front());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) differ += shown[i] != drawn[i] ? 1 : 0;
    if (differ < fewest) {
      fewest = differ;
      best = known.name;
    }
  }
  SelectObject(shown_dc, old);
  DeleteObject(shown_bitmap);
  DeleteDC(shown_dc);
  ReleaseDC(nullptr, screen);
  return best;
}

// One line per control: line breaks in a text are written as "\\n".
std::string OneLine(std::string text) {
  for (std::size_t at = 0; (at = text.find_first_of("\r\n", at)) != std::string::npos;) {
    if (text[at] == '\r') {
      text.erase(at, 1);
    } else {
      text.replace(at, 1, "\\n");
      at += 2;
    }
  }
  return text;
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
         "\t" + (is_static ? IconOf(control) : "-") + "\t" + OneLine(Utf8(TextOf(control)));
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
