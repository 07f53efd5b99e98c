#include "platform/window/win32/win32_window.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "platform/runtime/utf16.h"
#include "platform/window/win32/win32_layout.h"
#include "platform/window/win32/win32_system.h"

namespace platform::window {

std::unique_ptr<Window> MakeWindow(int& /*argc*/, char** /*argv*/) {
  return std::make_unique<win32::Win32Window>();
}

namespace win32 {
namespace {

constexpr const wchar_t* kClassName = L"excel2dbf.form";
// A fixed dialog frame with a caption and a close box: no sizing border,
// no minimise or maximise box.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
// The controls' IDs start above IDOK and IDCANCEL, which IsDialogMessageW
// sends for Enter in a text box and for Esc: they match no button, so
// neither presses one.
constexpr int kFirstControlId = 100;
// The program's icon: resource 1 of the exe.
constexpr int kIconResource = 1;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

void RegisterFormClass(WNDPROC procedure) {
  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  form_class.lpfnWndProc = procedure;
  form_class.hInstance = Instance();
  form_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = kClassName;
  // Shared icons: the system owns them.
  form_class.hIcon = static_cast<HICON>(
      LoadImageW(Instance(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
  form_class.hIconSm = static_cast<HICON>(
      LoadImageW(Instance(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  if (RegisterClassExW(&form_class) == 0) {
    const DWORD error = GetLastError();
    if (error != ERROR_CLASS_ALREADY_EXISTS) RaiseSystemError("RegisterClassExW", error);
  }
}

// Each kind of control as a standard window class with its styles.
struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassOf(ControlKind kind) {
  constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
  switch (kind) {
    case ControlKind::kLabel:
      // One line, cut at the right edge rather than wrapped out of sight;
      // '&' is shown, not taken as a mnemonic.
      return {L"STATIC", kChild | SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0};
    case ControlKind::kTextBox:
      return {L"EDIT", kChild | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::kButton:
      return {L"BUTTON", kChild | WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  throw std::logic_error("unknown control kind");
}

// The call that made a control, named by its class for the error report.
const char* ControlCall(ControlKind kind) {
  switch (kind) {
    case ControlKind::kLabel: return "CreateWindowExW(STATIC)";
    case ControlKind::kTextBox: return "CreateWindowExW(EDIT)";
    case ControlKind::kButton: return "CreateWindowExW(BUTTON)";
  }
  return "CreateWindowExW";
}

bool SameFont(const Font& a, const Font& b) {
  return a.family == b.family && a.point_size == b.point_size && a.weight == b.weight &&
         a.charset == b.charset;
}

UniqueFont MakeFont(const Font& font, int dpi) {
  UniqueFont made(CreateFontW(FontHeight(font.point_size, dpi), 0, 0, 0, font.weight, FALSE,
                              FALSE, FALSE, static_cast<DWORD>(font.charset), OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              ToWide(font.family).c_str()));
  if (!made) RaiseSystemError("CreateFontW", GetLastError());
  return made;
}

RECT PrimaryWorkArea() {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    RaiseSystemError("GetMonitorInfoW", GetLastError());
  }
  return monitor.rcWork;
}

RECT WorkAreaOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
    RaiseSystemError("GetMonitorInfoW", GetLastError());
  }
  return monitor.rcWork;
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}

std::vector<std::string> DroppedPaths(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), length + 1));
    if (!path.empty()) paths.push_back(FromWide(path));
  }
  return paths;
}

}  // namespace

Win32Window::Win32Window() = default;

// The window goes before the fonts its controls draw with. Detached first:
// the form it reports to may be gone already.
Win32Window::~Win32Window() {
  if (window_) SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
  window_.reset();
  fonts_.clear();
}

void Win32Window::Build(const Form& form, FormEvents& events) {
  if (window_ || closed_) throw std::logic_error("window built twice");
  // Common controls 6 (the manifest asks for them) draw in the system's
  // visual style once initialised.
  INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&common);
  RegisterFormClass(&Win32Window::Procedure);
  form_ = form;
  events_ = &events;
  // Made on the primary monitor, where it is then centred, so that its
  // DPI is that monitor's from the start.
  const RECT work = PrimaryWorkArea();
  HWND made = CreateWindowExW(kExStyle, kClassName, ToWide(form_.caption).c_str(), kStyle,
                              work.left, work.top, 0, 0, nullptr, nullptr, Instance(), this);
  // A handler that failed during creation is the cause, not the system.
  RethrowPending();
  if (made == nullptr) RaiseSystemError("CreateWindowExW", GetLastError());
  window_.reset(made);
  CreateControls();
  LayOut(DpiOf(made), std::nullopt);
  DragAcceptFiles(made, TRUE);
}

// In tab order, which is the order of creation: the order the dialog
// keyboard walks with Tab.
void Win32Window::CreateControls() {
  std::vector<const Control*> ordered;
  for (const Control& control : form_.controls) ordered.push_back(&control);
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const Control* a, const Control* b) { return a->tab_index < b->tab_index; });
  for (const Control* control : ordered) {
    const ControlClass kind = ClassOf(control->kind);
    const int id = kFirstControlId + static_cast<int>(controls_.size());
    HWND made = CreateWindowExW(kind.ex_style, kind.name, ToWide(control->text).c_str(), kind.style,
                                0, 0, 0, 0, window_.get(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(),
                                nullptr);
    if (made == nullptr) RaiseSystemError(ControlCall(control->kind), GetLastError());
    controls_.push_back(ControlWindow{control, made, id});
    if (focus_ == nullptr && control->kind != ControlKind::kLabel) focus_ = made;
  }
}

// One font per distinct font of the form, at `dpi`; `per_control` gets
// each control's (in controls_ order).
std::vector<UniqueFont> Win32Window::MakeFonts(int dpi, std::vector<HFONT>& per_control) const {
  std::vector<const Font*> kinds;
  std::vector<UniqueFont> fonts;
  per_control.clear();
  for (const ControlWindow& control : controls_) {
    const Font& font = control.control->font ? *control.control->font : form_.font;
    auto found = std::find_if(kinds.begin(), kinds.end(),
                              [&](const Font* kind) { return SameFont(*kind, font); });
    if (found == kinds.end()) {
      kinds.push_back(&font);
      fonts.push_back(MakeFont(font, dpi));
      found = kinds.end() - 1;
    }
    per_control.push_back(fonts[static_cast<std::size_t>(found - kinds.begin())].get());
  }
  return fonts;
}

// Places every control and sizes the window for `dpi`; the window goes to
// `origin`, or to the middle of its monitor's work area.
void Win32Window::LayOut(int dpi, std::optional<POINT> origin) {
  std::vector<HFONT> per_control;
  std::vector<UniqueFont> fonts = MakeFonts(dpi, per_control);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    const PixelRect rect = ToPixels(controls_[i].control->rect, dpi);
    MoveWindow(controls_[i].window, rect.left, rect.top, rect.width, rect.height, TRUE);
    SendMessageW(controls_[i].window, WM_SETFONT, reinterpret_cast<WPARAM>(per_control[i]), TRUE);
  }
  // The old fonts go once no control draws with them.
  fonts_ = std::move(fonts);
  dpi_ = dpi;
  const SIZE size = SizeForClient(TwipsToPixels(form_.client_width, dpi),
                                  TwipsToPixels(form_.client_height, dpi), dpi);
  if (!origin) {
    const RECT work = WorkAreaOf(window_.get());
    const Origin centred = CentredIn(
        PixelRect{work.left, work.top, work.right - work.left, work.bottom - work.top}, size.cx,
        size.cy);
    origin = POINT{centred.x, centred.y};
  }
  SetWindowPos(window_.get(), nullptr, origin->x, origin->y, 0, 0,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
}

// Sizes the window so that its client area is `width` x `height` and
// returns its outer size. The frame is measured on the window itself
// after a first try: a system whose frame does not follow the window's
// DPI (Windows 7, Wine) still gets the client area exact.
SIZE Win32Window::SizeForClient(int width, int height, int dpi) {
  SIZE size = OuterSize(kStyle, kExStyle, width, height, dpi);
  for (int attempt = 0; attempt < 2; ++attempt) {
    SetWindowPos(window_.get(), nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    RECT client{};
    GetClientRect(window_.get(), &client);
    if (client.right == width && client.bottom == height) break;
    size.cx += width - client.right;
    size.cy += height - client.bottom;
  }
  return size;
}

LRESULT CALLBACK Win32Window::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // The handle is the system's no more.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    (void)self->window_.release();
    self->controls_.clear();
    return DefWindowProcW(window, message, wparam, lparam);
  }
  try {
    return self->OnMessage(window, message, wparam, lparam);
  } catch (...) {
    self->pending_ = std::current_exception();
    return 0;
  }
}

LRESULT Win32Window::OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      Command(wparam);
      return 0;
    case WM_CLOSE:
      if (events_->OnClose()) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      Destroyed();
      return 0;
    case WM_ACTIVATE:
      Activate(LOWORD(wparam) != WA_INACTIVE);
      return 0;
    case WM_DROPFILES:
      Drop(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      LayOut(HIWORD(wparam), POINT{suggested->left, suggested->top});
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

// A button's click, or Enter where IsDialogMessageW found no default
// button (IDOK): Enter presses the button that has the focus and nothing
// else.
void Win32Window::Command(WPARAM wparam) {
  const ControlWindow* control = nullptr;
  if (LOWORD(wparam) == IDOK) {
    control = Find(GetFocus());
  } else if (HIWORD(wparam) == BN_CLICKED) {
    const int id = LOWORD(wparam);
    for (const ControlWindow& candidate : controls_) {
      if (candidate.id == id) control = &candidate;
    }
  }
  if (control == nullptr || control->control->kind != ControlKind::kButton) return;
  if (!IsWindowEnabled(control->window)) return;
  events_->OnClick(control->control->name);
}

// Files dropped on a control go to it, elsewhere to the window; a disabled
// control takes none.
void Win32Window::Drop(HDROP raw_drop) {
  const UniqueDrop drop(raw_drop);
  POINT point{};
  DragQueryPoint(drop.get(), &point);  // in the client area of this window
  const std::vector<std::string> paths = DroppedPaths(drop.get());
  if (paths.empty()) return;
  std::string target;
  HWND child = ChildWindowFromPointEx(window_.get(), point, CWP_SKIPINVISIBLE);
  if (const ControlWindow* control = Find(child)) {
    if (!IsWindowEnabled(control->window)) return;
    target = control->control->name;
  }
  events_->OnDrop(target, paths);
}

// The focus leaves with the window and comes back to the same control.
void Win32Window::Activate(bool active) {
  if (!active) {
    if (const ControlWindow* control = Find(GetFocus())) focus_ = control->window;
    return;
  }
  if (focus_ != nullptr && IsWindowEnabled(focus_)) {
    SetFocus(focus_);
  } else if (HWND next = GetNextDlgTabItem(window_.get(), nullptr, FALSE)) {
    SetFocus(next);
  }
}

void Win32Window::Destroyed() {
  closed_ = true;
  if (running_ && !quit_status_) PostQuitMessage(0);
}

void Win32Window::Dispatch(MSG& message) {
  if (window_ && IsDialogMessageW(window_.get(), &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32Window::RethrowPending() {
  if (!pending_) return;
  std::exception_ptr error = std::move(pending_);
  pending_ = nullptr;
  std::rethrow_exception(error);
}

int Win32Window::Run() {
  if (quit_status_) return *quit_status_;
  if (closed_ || !window_) return 0;
  running_ = true;
  ShowWindow(window_.get(), SW_SHOWDEFAULT);
  UpdateWindow(window_.get());
  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    Dispatch(message);
    RethrowPending();
  }
  running_ = false;
  if (got < 0) RaiseSystemError("GetMessageW", GetLastError());
  return quit_status_.value_or(static_cast<int>(message.wParam));
}

void Win32Window::Quit(int exit_status) {
  if (quit_status_) return;
  quit_status_ = exit_status;
  if (running_) PostQuitMessage(exit_status);
}

void Win32Window::Close() {
  if (window_) SendMessageW(window_.get(), WM_CLOSE, 0, 0);
  RethrowPending();
}

// A quit that arrives here belongs to Run's loop: it is posted again for
// Run to find.
void Win32Window::ProcessPendingEvents() {
  MSG message{};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    Dispatch(message);
    RethrowPending();
  }
}

const Win32Window::ControlWindow& Win32Window::At(std::string_view control) const {
  for (const ControlWindow& candidate : controls_) {
    if (candidate.control->name == control) return candidate;
  }
  throw std::logic_error("no control " + std::string(control));
}

const Win32Window::ControlWindow* Win32Window::Find(HWND window) const {
  if (window == nullptr) return nullptr;
  for (const ControlWindow& candidate : controls_) {
    if (candidate.window == window) return &candidate;
  }
  return nullptr;
}

HWND Win32Window::ControlHandle(std::string_view control) const { return At(control).window; }

HWND Win32Window::Owner() const { return window_ ? window_.get() : nullptr; }

std::string Win32Window::Text(std::string_view control) const {
  return FromWide(WindowText(At(control).window));
}

void Win32Window::SetText(std::string_view control, std::string_view text) {
  if (!SetWindowTextW(At(control).window, ToWide(text).c_str())) {
    RaiseSystemError("SetWindowTextW", GetLastError());
  }
}

// A control disabled while it has the focus hands it on, so that the
// keyboard still reaches the controls that stay live.
void Win32Window::Enable(std::string_view control, bool enabled) {
  HWND window = At(control).window;
  const bool had_focus = GetFocus() == window;
  EnableWindow(window, enabled ? TRUE : FALSE);
  if (enabled || !had_focus) return;
  HWND next = GetNextDlgTabItem(window_.get(), window, FALSE);
  SetFocus(next != nullptr ? next : window_.get());
  focus_ = next;
}

// Before the window is shown the focus is only noted: it is given when
// the window is activated.
void Win32Window::Focus(std::string_view control) {
  focus_ = At(control).window;
  if (IsWindowVisible(window_.get())) SetFocus(focus_);
}

}  // namespace win32
}  // namespace platform::window
