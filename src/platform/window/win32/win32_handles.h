#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <type_traits>

// Owners of the window system's handles, each from the moment it is
// created: the font, the top-level window, a drop.
namespace platform::window::win32 {

struct FontDeleter {
  void operator()(HFONT font) const noexcept { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// Destroying the top-level window destroys its controls with it.
struct WindowDeleter {
  void operator()(HWND window) const noexcept { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

// A drop's memory is the receiver's to free, whatever it does with it.
struct DropDeleter {
  void operator()(HDROP drop) const noexcept { DragFinish(drop); }
};
using UniqueDrop = std::unique_ptr<std::remove_pointer_t<HDROP>, DropDeleter>;

}  // namespace platform::window::win32
