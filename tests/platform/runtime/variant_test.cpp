#include "platform/runtime/variant.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

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
  EXPECT_EQ(GetParam().value.ToText(), GetParam().text);
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

TEST(VariantTest, NumberTextIgnoresTheProcessLocale) {
  // The window sets the user's locale; a decimal comma would change values.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  EXPECT_EQ(Variant::Number(2.5).ToText(), "2.5");
  EXPECT_EQ(Variant::Date(45000.75).ToText(), "2023-03-15 18:00:00");
  std::setlocale(LC_NUMERIC, saved.c_str());
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
