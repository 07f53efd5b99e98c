// The Win32 face with the program's form, in this process, on a display
// (display.py runs it under Wine and Xvfb at the DPI in E2D_DISPLAY_DPI).
// Before <windows.h>, whose Yield() macro would eat the run host's Yield.
#include "frmexcel/frmexcel.h"
#include "platform/window/win32/win32_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "platform/window/win32/win32_layout.h"

namespace platform::window::win32 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

struct RecordingEvents : FormEvents {
  void OnClick(std::string_view control) override {
    clicks.emplace_back(control);
    if (on_click) on_click(control);
  }
  bool OnClose() override {
    ++closes;
    return allow_close;
  }
  void OnDrop(std::string_view control, const std::vector<std::string>& paths) override {
    drops.emplace_back(std::string(control), paths);
  }

  std::vector<std::string> clicks;
  int closes = 0;
  bool allow_close = true;
  std::vector<std::pair<std::string, std::vector<std::string>>> drops;
  std::function<void(std::string_view)> on_click;
};

int ExpectedDpi() {
  const char* dpi = std::getenv("E2D_DISPLAY_DPI");
  return dpi == nullptr ? USER_DEFAULT_SCREEN_DPI : std::atoi(dpi);
}

RECT ClientRectOf(HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW font{};
  const auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  EXPECT_NE(handle, nullptr);
  GetObjectW(handle, sizeof font, &font);
  return font;
}

// A drop as the shell hands it over: DROPFILES, then the wide paths, each
// NUL-ended, and one more NUL.
HGLOBAL MakeDrop(POINT point, const std::wstring& path) {
  const std::size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->pt = point;
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(),
              path.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return memory;
}

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override { window_.Build(frmexcel::FormTable(), events_); }

  HWND At(std::string_view name) const { return window_.ControlHandle(name); }
  const Control& TableEntry(std::string_view name) const {
    for (const Control& control : frmexcel::FormTable().controls) {
      if (control.name == name) return control;
    }
    throw std::logic_error("not in the table");
  }

  void ShowAndActivate() {
    ShowWindow(window_.Handle(), SW_SHOW);
    SetForegroundWindow(window_.Handle());
    SetActiveWindow(window_.Handle());
    window_.ProcessPendingEvents();
  }

  void Key(WPARAM key) {
    MSG down{GetFocus(), WM_KEYDOWN, key, 1, 0, {}};
    window_.Dispatch(down);
    MSG up{GetFocus(), WM_KEYUP, key, static_cast<LPARAM>(0xC0000001), 0, {}};
    window_.Dispatch(up);
    window_.ProcessPendingEvents();
  }

  std::string FocusedName() const {
    for (const Control& control : frmexcel::FormTable().controls) {
      if (At(control.name) == GetFocus()) return control.name;
    }
    return "";
  }

  void ExpectLaidOutAt(int dpi) {
    RECT client{};
    GetClientRect(window_.Handle(), &client);
    EXPECT_EQ(client.right, TwipsToPixels(7020, dpi));
    EXPECT_EQ(client.bottom, TwipsToPixels(4020, dpi));
    const Font& form_font = frmexcel::FormTable().font;
    for (const Control& control : frmexcel::FormTable().controls) {
      SCOPED_TRACE(control.name);
      const RECT rect = ClientRectOf(At(control.name));
      const PixelRect want = ToPixels(control.rect, dpi);
      EXPECT_EQ((PixelRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}), want);
      const LOGFONTW font = FontOf(At(control.name));
      EXPECT_STREQ(font.lfFaceName, L"宋体");
      EXPECT_EQ(font.lfCharSet, 134);  // GB2312
      EXPECT_EQ(font.lfWeight, 400);
      EXPECT_EQ(font.lfHeight, FontHeight(control.font.value_or(form_font).point_size, dpi));
    }
  }

  Win32Window window_;
  RecordingEvents events_;
};

TEST_F(Win32WindowTest, ControlsAndFontsFollowTheTableAtTheSystemDpi) {
  EXPECT_EQ(window_.Dpi(), ExpectedDpi());
  ExpectLaidOutAt(ExpectedDpi());
}

// Windows 8.1 and later tell a per-monitor aware window when it moves to
// a monitor of another DPI; everything is laid out again for it.
TEST_F(Win32WindowTest, ANewDpiLaysTheFormOutAgain) {
  const int dpi = ExpectedDpi() == 144 ? 96 : 144;
  RECT suggested{10, 20, 800, 600};
  SendMessageW(window_.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window_.Dpi(), dpi);
  ExpectLaidOutAt(dpi);
  RECT frame{};
  GetWindowRect(window_.Handle(), &frame);
  EXPECT_EQ(frame.left, 10);
  EXPECT_EQ(frame.top, 20);
}

TEST_F(Win32WindowTest, AFixedDialogFrameCentredOnTheWorkArea) {
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window_.Handle(), GWL_STYLE));
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  wchar_t caption[64] = {};
  GetWindowTextW(window_.Handle(), caption, 64);
  EXPECT_STREQ(caption, L"转换工具");
  RECT frame{};
  GetWindowRect(window_.Handle(), &frame);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR(frame.left + frame.right, work.left + work.right, 1);
  EXPECT_NEAR(frame.top + frame.bottom, work.top + work.bottom, 1);
}

TEST_F(Win32WindowTest, FocusStartsInTheWorkbookBoxAndTabWalksTheTableOrder) {
  ShowAndActivate();
  std::vector<std::string> order;
  for (int i = 0; i < 7; ++i) {
    order.push_back(FocusedName());
    Key(VK_TAB);
  }
  EXPECT_THAT(order, ElementsAre("txtexcel", "cmdexcel", "txtdbf", "cmddbf", "cmd转换", "cmd退出",
                                 "txtexcel"));
}

// No default and no cancel button: Enter in a box and Esc press nothing;
// Enter and Space press the focused button, however it got the focus.
TEST_F(Win32WindowTest, EnterAndSpacePressOnlyTheFocusedButton) {
  ShowAndActivate();
  Key(VK_RETURN);
  Key(VK_ESCAPE);
  EXPECT_THAT(events_.clicks, IsEmpty());
  window_.Focus("cmd退出");
  Key(VK_RETURN);
  EXPECT_THAT(events_.clicks, ElementsAre("cmd退出"));
  window_.Focus("txtdbf");
  Key(VK_TAB);  // to cmddbf
  Key(VK_RETURN);
  Key(VK_SPACE);
  Key(VK_ESCAPE);
  EXPECT_THAT(events_.clicks, ElementsAre("cmd退出", "cmddbf", "cmddbf"));
}

TEST_F(Win32WindowTest, TextsAreUtf8BothWays) {
  EXPECT_EQ(window_.Text("Label2"), "Excel文件");
  EXPECT_EQ(window_.Text("cmd转换"), "转换");
  EXPECT_EQ(window_.Text("txtexcel"), "");
  window_.SetText("txtdbf", "D:\\数据\\𠀀 out.dbf");
  EXPECT_EQ(window_.Text("txtdbf"), "D:\\数据\\𠀀 out.dbf");
  window_.SetText("lblstat", " 已经导入 3 条记录");
  EXPECT_EQ(window_.Text("lblstat"), " 已经导入 3 条记录");
  EXPECT_THROW(window_.Text("cmdnone"), std::logic_error);
  EXPECT_THROW(window_.SetText("cmdnone", ""), std::logic_error);
}

TEST_F(Win32WindowTest, ADisabledControlHandsOnTheFocus) {
  ShowAndActivate();
  window_.Focus("cmd转换");
  window_.Enable("cmd转换", false);
  EXPECT_FALSE(IsWindowEnabled(At("cmd转换")));
  EXPECT_EQ(FocusedName(), "cmd退出");
  Key(VK_RETURN);
  EXPECT_THAT(events_.clicks, ElementsAre("cmd退出"));
  window_.Enable("cmd转换", true);
  EXPECT_TRUE(IsWindowEnabled(At("cmd转换")));
}

TEST_F(Win32WindowTest, ADropGoesToTheControlUnderIt) {
  const auto centre = [&](std::string_view name) {
    const RECT rect = ClientRectOf(At(name));
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  };
  const std::wstring path = L"Z:\\tmp\\数据\\簿.xls";
  SendMessageW(window_.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(centre("txtdbf"), path)), 0);
  SendMessageW(window_.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(POINT{3, 3}, path)), 0);
  SendMessageW(window_.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(centre("Label2"), path)), 0);
  window_.Enable("txtdbf", false);
  SendMessageW(window_.Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(centre("txtdbf"), path)), 0);
  const std::vector<std::string> paths = {"Z:\\tmp\\数据\\簿.xls"};
  EXPECT_THAT(events_.drops, ElementsAre(Pair("txtdbf", paths), Pair("", paths), Pair("Label2", paths)));
}

TEST_F(Win32WindowTest, TheCloseBoxAsksTheForm) {
  events_.allow_close = false;
  window_.Close();
  EXPECT_NE(window_.Handle(), nullptr);
  events_.allow_close = true;
  window_.Close();
  EXPECT_EQ(events_.closes, 2);
  EXPECT_EQ(window_.Handle(), nullptr);
  EXPECT_EQ(window_.Run(), 0);  // closed already: nothing to wait for
}

// Run ends after 10 s whatever happens, so that a lost quit fails the test
// instead of hanging it.
void CALLBACK GiveUp(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(99); }

void Click(HWND button) {
  PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

TEST_F(Win32WindowTest, RunReturnsQuitsStatus) {
  events_.on_click = [&](std::string_view) { window_.Quit(1); };
  const UINT_PTR timer = SetTimer(nullptr, 0, 10000, GiveUp);
  Click(At("cmd转换"));
  EXPECT_EQ(window_.Run(), 1);
  KillTimer(nullptr, timer);
}

// A handler that closes the window and then services it (as a run does
// between rows) must leave the quit for Run's loop.
TEST_F(Win32WindowTest, AQuitSeenWhileServicingTheWindowReachesRun) {
  events_.on_click = [&](std::string_view) {
    window_.Close();
    window_.ProcessPendingEvents();
    window_.ProcessPendingEvents();
  };
  const UINT_PTR timer = SetTimer(nullptr, 0, 10000, GiveUp);
  Click(At("cmd退出"));
  EXPECT_EQ(window_.Run(), 0);
  KillTimer(nullptr, timer);
  EXPECT_EQ(window_.Handle(), nullptr);
}

}  // namespace
}  // namespace platform::window::win32
