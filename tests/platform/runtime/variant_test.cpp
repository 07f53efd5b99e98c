#include "platform/runtime/variant.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace platform {
namespace {

struct TextCase {
  Variant value;
  const char* text;
};

class VariantTextTest : public ::testing::TestWithParam<TextCase> {};

std::string CaseName(const ::testing::TestParamInfo<TextCase>& info) {
  return "Case" + std::to_string(info.index);
}

TEST_P(VariantTextTest, StandardTextForm) {
  const Variant& value = GetParam().value;
  EXPECT_EQ(value.ToText(), GetParam().text);
  // A field's width is measured without the text; it must agree.
  const std::size_t length = std::string_view(GetParam().text).size();
  if (value.kind() == Variant::Kind::kNumber) {
    EXPECT_EQ(NumberTextLength(value.number()), length);
  }
  if (value.kind() == Variant::Kind::kDate) {
    EXPECT_EQ(DateTextLength(value.number()), length);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, VariantTextTest,
    ::testing::Values(TextCase{Variant::Number(13800138000), "13800138000"},
                      TextCase{Variant::Number(3.14159265358979), "3.14159265358979"},
                      TextCase{Variant::Number(0.1), "0.1"},
                      TextCase{Variant::Number(1234567890123456), "1.23456789012346E+15"},
                      TextCase{Variant::Number(-0.0), "0"},
                      TextCase{Variant::Number(0), "0"},
                      TextCase{Variant::Number(-42.5), "-42.5"},
                      TextCase{Variant::Number(1e-7), "1E-07"},
                      TextCase{Variant::Number(123456789012345), "123456789012345"},
                      TextCase{Variant::Number(0.1 + 0.2), "0.3"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Dates, VariantTextTest,
    ::testing::Values(TextCase{Variant::Date(1), "1900-01-01"},
                      TextCase{Variant::Date(59), "1900-02-28"},
                      TextCase{Variant::Date(60), "1900-02-29"},  // the workbook's phantom day
                      TextCase{Variant::Date(61), "1900-03-01"},
                      TextCase{Variant::Date(45000), "2023-03-15"},
                      TextCase{Variant::Date(2958465), "9999-12-31"},
                      TextCase{Variant::Date(0.5), "12:00:00"},
                      TextCase{Variant::Date(0), "00:00:00"},
                      TextCase{Variant::Date(45000.75), "2023-03-15 18:00:00"},
                      // 23:59:59.8 rounds into the next day, never 24:00:00
                      TextCase{Variant::Date(45000 + 86399.8 / 86400), "2023-03-16"},
                      TextCase{Variant::Date(86399.6 / 86400), "1900-01-01"},
                      // Exactly half a second (337.5 s, 1012.5 s) rounds up.
                      TextCase{Variant::Date(1.0 / 256), "00:05:38"},
                      TextCase{Variant::Date(45000 + 3.0 / 256), "2023-03-15 00:16:53"},
                      TextCase{Variant::Date(-1), "-1"},
                      TextCase{Variant::Date(2958466), "2958466"},
                      TextCase{Variant::Date(1e300), "1E+300"}),
    CaseName);

INSTANTIATE_TEST_SUITE_P(
    Others, VariantTextTest,
    ::testing::Values(TextCase{Variant::Boolean(true), "True"},
                      TextCase{Variant::Boolean(false), "False"},
                      TextCase{Variant::Null(), ""},
                      TextCase{Variant::Text("苹果 O'Brien "), "苹果 O'Brien "}),
    CaseName);

// printf's own "%.15G" (this test runs in the C locale).
std::string Printf15(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  return buffer;
}

TEST(VariantTest, NumberTextIsPrintfGeneral15ForAllKindsOfValues) {
  // Number text takes shortcuts (whole numbers, short decimals); every
  // kind of value must still come out as printf would write it.
  std::vector<double> values = {1e15, 999999999999999, -999999999999999, 1e15 - 0.5, 0.0001,
                                0.00011, 0.0000999, 1e-5, 123456789012345.6, 0.1 + 0.2, 1.0 / 3,
                                2.0 / 3, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(), 9.5, 99999.99999,
                                0.000123456789012345678, 4503599627370496.5, 1e14 + 0.25};
  // Whole numbers either side of every digit count.
  for (double power = 1; power <= 1e15; power *= 10) {
    for (const double near : {power - 1, power, power + 1}) {
      values.push_back(near);
      values.push_back(-near);
    }
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    // Decimals as sheets hold them, integers near the 15-digit edge, and
    // arbitrary bit patterns.
    const int places = static_cast<int>(random() % 8);
    const double scale = std::pow(10.0, places);
    values.push_back(std::round(std::uniform_real_distribution<double>(-1e7, 1e7)(random) * scale) / scale);
    values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000000000000000) -
                                         1000000000000000));
    const std::uint64_t bits = random();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    values.push_back(any);
    values.push_back(std::ldexp(static_cast<double>(random() % (1ull << 53)), -static_cast<int>(random() % 80)));
    // Date serials: whole days, times of day, both, near midnight.
    const double day = static_cast<double>(random() % 2958467);
    values.push_back(day + std::uniform_real_distribution<double>(0, 1)(random));
    values.push_back(day + 1 - static_cast<double>(random() % 1000) / 86400000);
  }
  for (const double value : values) {
    if (value == 0 || std::isnan(value)) continue;  // "0" for -0; NaN's sign varies by printf
    const std::string text = Printf15(value);
    ASSERT_EQ(Variant::Number(value).ToText(), text) << "bits of the value: " << std::hexfloat << value;
    ASSERT_EQ(NumberTextLength(value), text.size()) << text;
    ASSERT_EQ(DateTextLength(value), Variant::Date(value).ToText().size()) << Variant::Date(value).ToText();
  }
}

// Every day a date can fall on, against the standard library's calendar;
// and the same days with a time of day.
TEST(VariantTest, EveryDateSerialIsItsCalendarDay) {
  using namespace std::chrono;
  constexpr sys_days kDayZero = sys_days{year{1899} / December / 30};
  std::mt19937 random(3);
  char expected[32];
  for (int serial = 1; serial <= 2958465; ++serial) {
    if (serial == 60) continue;  // the phantom 1900-02-29, tested above
    // Serials before it count one day too many against the real calendar.
    const year_month_day date{kDayZero + days{serial < 60 ? serial + 1 : serial}};
    std::snprintf(expected, sizeof expected, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    ASSERT_EQ(Variant::Date(serial).ToText(), expected) << serial;
    if (serial % 97 == 0) {
      const int second = static_cast<int>(random() % 86399) + 1;
      const std::string with_time =
          Variant::Date(serial + (second + 0.25) / 86400.0).ToText();
      std::snprintf(expected + 10, sizeof expected - 10, " %02d:%02d:%02d", second / 3600,
                    second / 60 % 60, second % 60);
      ASSERT_EQ(with_time, expected) << serial << " + " << second << " s";
    }
  }
}

TEST(VariantTest, NumberTextIgnoresTheProcessLocale) {
  // The window sets the user's locale; a decimal comma would change values.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  // The names glibc and the Windows C runtime know the locales by.
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "German_Germany.1252") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  EXPECT_EQ(Variant::Number(2.5).ToText(), "2.5");
  EXPECT_EQ(Variant::Date(45000.75).ToText(), "2023-03-15 18:00:00");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(VariantTest, CopiesOfAViewedTextHoldTheirOwn) {
  // A row cursor's Variant views the workbook's strings; whatever is
  // copied or moved out of it must not change when those strings go.
  std::string held = "a text long enough to live outside any small buffer";
  Variant view;
  view.SetText("owned before");
  view.SetTextView(held);
  EXPECT_EQ(view.text(), held);
  Variant copied(view);
  Variant assigned;
  assigned = view;
  Variant moved(std::move(view));
  std::vector<Variant> grown;
  for (int i = 0; i < 20; ++i) grown.push_back(copied);  // relocations copy or move
  held.assign(held.size(), 'x');
  for (const Variant* v : {&copied, &assigned, &moved, &grown.front(), &grown.back()}) {
    EXPECT_EQ(v->kind(), Variant::Kind::kText);
    EXPECT_EQ(v->ToText(), "a text long enough to live outside any small buffer");
  }
  Variant owned = Variant::Text("short");
  Variant moved_owned(std::move(owned));
  EXPECT_EQ(moved_owned.text(), "short");
  EXPECT_EQ(moved_owned, Variant::Text("short"));
}

TEST(VariantTest, SettersReuseOneValueAcrossKinds) {
  Variant v;
  v.SetText("a long text that does not fit the small buffer");
  v.SetNumber(7);
  EXPECT_EQ(v.kind(), Variant::Kind::kNumber);
  EXPECT_EQ(v.ToText(), "7");
  v.SetText("x");
  EXPECT_EQ(v.ToText(), "x");
  v.SetNull();
  EXPECT_TRUE(v.IsNull());
}

}  // namespace
}  // namespace platform
