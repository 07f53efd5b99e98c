#include "platform/window/win32/win32_layout.h"

#include <algorithm>
#include <cmath>

#include "platform/runtime/utf16.h"

namespace platform::window::win32 {

namespace {
constexpr double kPointsPerInch = 72;
}  // namespace

PixelRect ToPixels(const TwipsRect& rect, int dpi) {
  const int left = TwipsToPixels(rect.left, dpi);
  const int top = TwipsToPixels(rect.top, dpi);
  return PixelRect{left, top, TwipsToPixels(rect.left + rect.width, dpi) - left,
                   TwipsToPixels(rect.top + rect.height, dpi) - top};
}

int FontHeight(double point_size, int dpi) {
  return -static_cast<int>(std::lround(point_size * dpi / kPointsPerInch));
}

Origin CentredIn(const PixelRect& area, int width, int height) {
  return Origin{area.left + std::max(0, (area.width - width) / 2),
                area.top + std::max(0, (area.height - height) / 2)};
}

std::wstring OpenFileNameFilter(std::string_view filter) {
  std::wstring text;
  for (const FilterEntry& entry : ParseFilter(filter)) {
    text += ToWide(entry.description);
    text += L'\0';
    text += ToWide(entry.patterns);
    text += L'\0';
  }
  // The list ends with an empty description; an empty list is two NULs.
  if (text.empty()) text += L'\0';
  text += L'\0';
  return text;
}

}  // namespace platform::window::win32
