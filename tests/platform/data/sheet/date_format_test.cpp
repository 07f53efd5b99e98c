#include "platform/data/sheet/date_format.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace platform::data::sheet {
namespace {

TEST(DateFormatTest, BuiltInDateFormats) {
  for (int i = 0; i < 200; ++i) {
    const bool expected = (i >= 14 && i <= 22) || (i >= 27 && i <= 36) || (i >= 45 && i <= 47) || (i >= 50 && i <= 58);
    EXPECT_EQ(IsBuiltInDateFormat(i), expected) << i;
  }
}

TEST(DateFormatTest, CustomCodesHoldingDatePartsOutsideQuotesBracketsAndEscapes) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"yyyy-mm-dd", true}, {"yyyy\"年\"m\"月\"d\"日\"", true}, {"[h]:mm:ss", true}, {"mm:ss", true},
      {"[$-804]yyyy", true}, {"d-mmm-yy", true}, {"DD/MM/YYYY", true}, {"hh:mm AM/PM", true},
      {"0.00 \"days\"", false}, {"0.0\\h", false}, {"#,##0.00", false}, {"@", false}, {"[Red]0.00", false},
      {"_(* #,##0_)", false}, {"0%", false}, {"0.00E+00", false}, {"G/通用格式", false}, {"", false},
      {"*s0", false}, {"_m0", false}, {"[hh]", false}, {"\"unterminated y", false},
  };
  for (const auto& [code, expected] : cases) EXPECT_EQ(IsDateFormatCode(code), expected) << code;
}

}  // namespace
}  // namespace platform::data::sheet
