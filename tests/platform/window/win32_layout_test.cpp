#include "platform/window/win32/win32_layout.h"

#include <gtest/gtest.h>

namespace platform::window::win32 {
namespace {

using namespace std::string_literals;

// 1440 twips to the inch: 15 to a pixel at 96 dpi, 10 at 144, 12 at 120.
TEST(Win32Layout, TwipsBecomePixelsAtTheWindowsDpi) {
  struct Case {
    TwipsRect twips;
    int dpi;
    PixelRect pixels;
  };
  const Case cases[] = {
      {{1800, 600, 3015, 495}, 96, {120, 40, 201, 33}},   // txtexcel
      {{1800, 600, 3015, 495}, 144, {180, 60, 301, 49}},  // 301.5 and 49.5: parts dropped
      {{600, 720, 1215, 255}, 96, {40, 48, 81, 17}},      // Label2
      {{600, 720, 1215, 255}, 144, {60, 72, 121, 25}},
      {{600, 720, 1215, 255}, 120, {50, 60, 101, 21}},
      {{1800, 600, 3015, 495}, 120, {150, 50, 251, 41}},
      // Edges are converted each on its own, so a control ends on the
      // pixel where its twips end: 2/3 + 2/3 of a pixel makes one.
      {{10, 10, 10, 10}, 96, {0, 0, 1, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToPixels(c.twips, c.dpi), c.pixels) << c.twips.left << " at " << c.dpi;
  }
}

// The form's three fonts: 10.5, 12 and 9 pt.
TEST(Win32Layout, FontHeightIsTheCharacterHeightInPixels) {
  struct Case {
    double points;
    int dpi;
    int height;
  };
  const Case cases[] = {
      {10.5, 96, -14}, {12, 96, -16}, {9, 96, -12},  {10.5, 144, -21},
      {12, 144, -24},  {9, 144, -18}, {10.5, 120, -18},  // 17.5 rounds away from zero
  };
  for (const Case& c : cases) EXPECT_EQ(FontHeight(c.points, c.dpi), c.height) << c.points << "@" << c.dpi;
}

TEST(Win32Layout, CentresInTheWorkArea) {
  // A work area with the taskbar at the top: 1024 x 728 from y = 40.
  EXPECT_EQ(CentredIn({0, 40, 1024, 728}, 474, 294), (Origin{275, 257}));
  EXPECT_EQ(CentredIn({-1280, 0, 1280, 1024}, 480, 300), (Origin{-880, 362}));
  // Larger than the area: its top left corner stays on the screen.
  EXPECT_EQ(CentredIn({0, 0, 640, 480}, 708, 430), (Origin{0, 25}));
}

TEST(Win32Layout, FilterTakesTheOpenFileNameForm) {
  struct Case {
    const char* filter;
    std::wstring text;
  };
  const Case cases[] = {
      {".xls|*.xls", L".xls\0*.xls\0\0"s},
      {".dbf|*.dbf", L".dbf\0*.dbf\0\0"s},
      {"工作簿|*.xls;*.xlt|全部|*.*", L"工作簿\0*.xls;*.xlt\0全部\0*.*\0\0"s},
      {"*.dbf", L"*.dbf\0*.dbf\0\0"s},
      {"", L"\0\0"s},
  };
  for (const Case& c : cases) EXPECT_EQ(OpenFileNameFilter(c.filter), c.text) << c.filter;
}

}  // namespace
}  // namespace platform::window::win32
