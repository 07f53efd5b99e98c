#include "platform/window/window.h"

#include <gtest/gtest.h>

#include <chrono>

namespace platform::window {
namespace {

using namespace std::chrono_literals;

TEST(ParseFilter, SplitsDescriptionsAndPatterns) {
  struct Case {
    const char* filter;
    std::vector<FilterEntry> entries;
  };
  const Case cases[] = {
      {".xls|*.xls", {{".xls", "*.xls"}}},
      {"工作簿|*.xls;*.xlt|全部|*.*", {{"工作簿", "*.xls;*.xlt"}, {"全部", "*.*"}}},
      {"*.dbf", {{"*.dbf", "*.dbf"}}},  // a lone description filters by itself
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFilter(c.filter), c.entries) << c.filter;
}

// 15 twips to a pixel at 96 dpi, 10 at 144; a part pixel is dropped.
TEST(TwipsToPixels, ScalesByTheDotsPerInch) {
  EXPECT_EQ(TwipsToPixels(7020, 96), 468);
  EXPECT_EQ(TwipsToPixels(1215, 96), 81);
  EXPECT_EQ(TwipsToPixels(1215, 144), 121);
  EXPECT_EQ(TwipsToPixels(14, 96), 0);
  EXPECT_EQ(TwipsToPixels(1440, 120), 120);
}

TEST(RepaintBudget, IsDueOncePerIntervalOfTheClock) {
  FixedClock clock(LocalTime{});
  clock.Advance(5s);  // the clock's start is arbitrary
  RepaintBudget budget(clock, 20ms);
  budget.Restart();
  EXPECT_FALSE(budget.Due());
  clock.Advance(19ms);
  EXPECT_FALSE(budget.Due());
  clock.Advance(1ms);
  EXPECT_TRUE(budget.Due());
  EXPECT_FALSE(budget.Due());  // a new interval started
  clock.Advance(65ms);
  EXPECT_TRUE(budget.Due());   // a long pause is one service, not three
  EXPECT_FALSE(budget.Due());
  clock.Advance(20ms);
  budget.Restart();
  EXPECT_FALSE(budget.Due());
}

}  // namespace
}  // namespace platform::window
