#include "platform/data/dbase/field_names.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/codepage/codepage.h"
#include "platform/runtime/error.h"
#include "support/errors.h"

namespace platform::data::dbase {
namespace {

std::vector<std::string> Written(const std::vector<std::string>& utf8) {
  std::vector<std::string> out;
  for (const FieldName& name : MakeFieldNames(utf8)) out.push_back(codepage::FromCp936(name.bytes));
  return out;
}

TEST(FieldNamesTest, CutToTenBytesWithoutSplittingACharacter) {
  const struct {
    const char* name;
    const char* written;
  } cases[] = {
      {"Code", "Code"},
      {"ABCDEFGHIJ", "ABCDEFGHIJ"},        // exactly 10 bytes
      {"ABCDEFGHIJKL", "ABCDEFGHIJ"},
      {"名称", "名称"},                    // Chinese stays Chinese
      {"一二三四五六", "一二三四五"},      // 12 bytes -> 10
      {"a一二三四五", "a一二三四"},        // 11 bytes: the last character would be split
      {"ab😀😀😀", "ab😀😀"},              // four-byte forms: 2 + 4 + 4
      {"abc😀😀", "abc😀"},                // 3 + 4 + 4 = 11: the second one goes whole
      {"单价 (元)", "单价 (元)"},          // 9 bytes, spaces and brackets kept
  };
  for (const auto& c : cases) {
    const auto names = MakeFieldNames(std::vector<std::string>{c.name});
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(codepage::FromCp936(names[0].bytes), c.written) << c.name;
    EXPECT_LE(names[0].bytes.size(), 10u) << c.name;
    EXPECT_EQ(names[0].shortened, std::string(c.name) != c.written) << c.name;
    EXPECT_FALSE(names[0].numbered) << c.name;
  }
}

TEST(FieldNamesTest, DuplicatesIgnoringAsciiCaseAreNumbered) {
  EXPECT_EQ(Written({"Code", "code", "CODE"}), (std::vector<std::string>{"Code", "code_2", "CODE_3"}));
  // Equal only after the cut to 10 bytes.
  EXPECT_EQ(Written({"ABCDEFGHIJ1", "ABCDEFGHIJ2"}),
            (std::vector<std::string>{"ABCDEFGHIJ", "ABCDEFGH_2"}));
  EXPECT_EQ(Written({"一二三四五六", "一二三四五七"}),
            (std::vector<std::string>{"一二三四五", "一二三四_2"}));
  // A numbered name may meet a later original one.
  EXPECT_EQ(Written({"A", "a", "A_2"}), (std::vector<std::string>{"A", "a_2", "A_2_2"}));
  const auto names = MakeFieldNames(std::vector<std::string>{"x", "X"});
  EXPECT_FALSE(names[0].numbered);
  EXPECT_TRUE(names[1].numbered);
}

TEST(FieldNamesTest, TrailBytesThatLookLikeLettersAreNotFolded) {
  // 丄 is 81 41 and 乤 is 81 61: "A" and "a" as trail bytes.
  EXPECT_EQ(Written({"丄", "乤"}), (std::vector<std::string>{"丄", "乤"}));
  EXPECT_NE(FieldNameKey(codepage::ToCp936("丄")), FieldNameKey(codepage::ToCp936("乤")));
  EXPECT_EQ(FieldNameKey("AbC"), "abc");
}

TEST(FieldNamesTest, TwoHundredFiftyFiveEqualNamesStayUniqueAndShort) {
  for (const std::string base : {"x", "ABCDEFGHIJ", "一二三四五"}) {
    const std::vector<std::string> utf8(255, base);
    std::set<std::string> keys;
    for (const FieldName& name : MakeFieldNames(utf8)) {
      EXPECT_LE(name.bytes.size(), 10u);
      EXPECT_TRUE(keys.insert(FieldNameKey(name.bytes)).second) << name.bytes;
    }
    EXPECT_EQ(Written(utf8).back().substr(Written(utf8).back().size() - 4), "_255");
  }
}

TEST(FieldNamesTest, FourByteCharactersAreCounted) {
  const auto names = MakeFieldNames(std::vector<std::string>{"a😀b𠀀", "名称"});
  EXPECT_EQ(names[0].four_byte, 2u);
  EXPECT_EQ(names[1].four_byte, 0u);
}

TEST(FieldNamesTest, UnusableNamesAreRefused) {
  const struct {
    std::vector<std::string> names;
    int number;
  } cases[] = {
      {{""}, err::kDbaseBadFieldName},
      {{"a", ""}, err::kDbaseBadFieldName},
      {{std::string("a\0b", 3)}, err::kDbaseBadFieldName},
      {std::vector<std::string>(256, "a"), err::kDbaseTooManyFields},
  };
  for (const auto& c : cases) {
    const Error e = testing_support::ErrorOf([&] { MakeFieldNames(c.names); });
    EXPECT_EQ(e.number(), c.number) << e.description();
    EXPECT_NE(e.description().find("字段"), std::string::npos) << e.description();
  }
}

}  // namespace
}  // namespace platform::data::dbase
