#pragma once

#include <string>
#include <string_view>

#include "platform/window/window.h"

// The arithmetic of the Win32 face, apart from any window: where a
// control goes at a given DPI, how tall its font is, and the filter text
// the common file dialogs take.
namespace platform::window::win32 {

struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// `rect` in pixels at `dpi`: each edge converted on its own, so controls
// that meet in twips still meet in pixels.
PixelRect ToPixels(const TwipsRect& rect, int dpi);

// The LOGFONT height of a font of `point_size` at `dpi`: negative, so that
// Windows matches the character height (the point size) rather than the
// cell height, and rounded to the nearest pixel.
int FontHeight(double point_size, int dpi);

// Where a window of `width` x `height` pixels goes to sit in the middle of
// `area` (the work area, without the taskbar); never above or left of it.
struct Origin {
  int x = 0;
  int y = 0;

  friend bool operator==(const Origin&, const Origin&) = default;
};
Origin CentredIn(const PixelRect& area, int width, int height);

// A classic filter (".xls|*.xls") in the form OPENFILENAMEW's lpstrFilter
// takes: description NUL patterns NUL ... NUL NUL. Every character of the
// result up to the final pair of NULs belongs to the filter.
std::wstring OpenFileNameFilter(std::string_view filter);

}  // namespace platform::window::win32
