#include "platform/codepage/codepage.h"

#include <gtest/gtest.h>

#include "platform/runtime/error.h"
#include "support/errors.h"

namespace platform::codepage {
namespace {

struct EncodeCase {
  const char* utf8;
  std::string cp936;
  std::size_t four_byte;
};

class Cp936EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Cp936EncodeTest, EncodesAndDecodesBack) {
  const EncodeCase& c = GetParam();
  std::string out;
  EXPECT_EQ(AppendCp936(c.utf8, out), c.four_byte);
  EXPECT_EQ(out, c.cp936);
  EXPECT_EQ(Cp936Length(c.utf8), c.cp936.size());
  EXPECT_EQ(FromCp936(out), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Cp936EncodeTest,
    ::testing::Values(
        EncodeCase{"", "", 0}, EncodeCase{"Code 123", "Code 123", 0},
        EncodeCase{"苹果", "\xC6\xBB\xB9\xFB", 0},
        EncodeCase{"名称", "\xC3\xFB\xB3\xC6", 0},
        EncodeCase{"€", "\x80", 0},
        // Not in code page 936: written in four-byte GB18030 form.
        EncodeCase{"€😀", std::string("\x80\x94\x39\xFC\x36", 5), 1},
        EncodeCase{"\xE2\x82\xAF", std::string("\x81\x36\xB3\x34", 4), 1},  // U+20AF
        EncodeCase{"a\xC3\xA9z", "a\xA8\xA6z", 0},                       // é
        // GB18030's two-byte forms: a user-defined character (U+E000) and
        // characters GB18030 added in two-byte codes.
        EncodeCase{"\xEE\x80\x80", "\xAA\xA1", 1}, EncodeCase{"⺁", "\xFE\x50", 1},
        EncodeCase{"𠂇", "\xFE\x51", 1}),
    [](const ::testing::TestParamInfo<EncodeCase>& info) { return "Case" + std::to_string(info.index); });

TEST(Cp936Test, MalformedUtf8BecomesReplacementCharacter) {
  EXPECT_EQ(ToCp936("a\xFF" "b"), "a\x84\x31\xA4\x37" "b");
  EXPECT_EQ(ToCp936("\xE8\x8B"), "\x84\x31\xA4\x37\x84\x31\xA4\x37");  // cut sequence
}

// Three-byte forms that only look like Chinese characters, among real ones:
// each bad byte is one U+FFFD, and the measure agrees with the bytes.
TEST(Cp936Test, MalformedThreeByteFormsAmongChineseCharacters) {
  const std::string fffd = "\x84\x31\xA4\x37";
  const struct {
    const char* utf8;
    std::string cp936;
  } cases[] = {
      {"\xE0\x82\xB7", fffd + fffd + fffd},                           // overlong U+00B7, which has a code
      {"\xED\xA0\x80", fffd + fffd + fffd},                           // a surrogate
      {"苹\xE0\x82\xB7果", "\xC6\xBB" + fffd + fffd + fffd + "\xB9\xFB"},
      {"苹果\xED\x9F\xBF", "\xC6\xBB\xB9\xFB\x83\x36\xC7\x38"},         // U+D7FF, no two-byte code
      {"苹果\xE8\x8B", "\xC6\xBB\xB9\xFB" + fffd + fffd},               // cut at the end
      {"苹\xE8\x8B" "A", "\xC6\xBB" + fffd + fffd + "A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToCp936(c.utf8), c.cp936) << c.utf8;
    EXPECT_EQ(Cp936Length(c.utf8), c.cp936.size()) << c.utf8;
  }
}

// Written in place, the bytes are AppendCp936's whenever they fit the
// room, and nothing past the room is touched when they do not.
TEST(Cp936Test, WrittenInPlaceAsAppendedOrRefusedAtEveryRoom) {
  const char* texts[] = {"", "Code 123", "0123456789abcdefghij", "苹果", "a苹b果c", "€😀", "\xE2\x82\xAF",
                         "a\xC3\xA9z", "\xEE\x80\x80", "苹\xE0\x82\xB7果", "苹果\xE8\x8B",
                         "名称 Ledger 12.5 总计金额", "Ledger 12345 苹果", "abcdefgh苹", "abcdefg苹果",
                         "ab苹cdefghij", "abcdefgh苹果ijklmnopq"};
  for (const char* text : texts) {
    std::string appended;
    const std::size_t appended_outside = AppendCp936(text, appended);
    for (std::size_t room = 0; room <= appended.size() + 2; ++room) {
      std::string out(room + 4, '#');
      std::size_t outside = 99;
      const std::size_t written = WriteCp936(text, out.data(), room, outside);
      EXPECT_EQ(out.substr(room), "####") << text << " room " << room;
      if (appended.size() > room) {
        EXPECT_EQ(written, kDoesNotFit) << text << " room " << room;
        continue;
      }
      ASSERT_EQ(written, appended.size()) << text << " room " << room;
      EXPECT_EQ(out.substr(0, written), appended) << text << " room " << room;
      EXPECT_EQ(out.substr(written, room - written), std::string(room - written, '#')) << text;
      EXPECT_EQ(outside, appended_outside) << text;
    }
  }
}

TEST(Cp936Test, DoubleByteCharacters) {
  EXPECT_TRUE(IsDoubleByte(U'数'));
  EXPECT_TRUE(IsDoubleByte(U'，'));
  EXPECT_FALSE(IsDoubleByte(U'A'));
  EXPECT_FALSE(IsDoubleByte(U'€'));        // a single byte, 0x80
  EXPECT_FALSE(IsDoubleByte(0x20AF));      // not in the code page at all
  EXPECT_FALSE(IsDoubleByte(U'😀'));
}

TEST(Cp936Test, PrefixNeverSplitsACharacter) {
  const std::string bytes = ToCp936("ab苹果😀");  // 2 + 2 + 2 + 4 bytes
  EXPECT_EQ(Cp936PrefixLength(bytes, 3), 2u);
  EXPECT_EQ(Cp936PrefixLength(bytes, 4), 4u);
  EXPECT_EQ(Cp936PrefixLength(bytes, 5), 4u);
  EXPECT_EQ(Cp936PrefixLength(bytes, 9), 6u);
  EXPECT_EQ(Cp936PrefixLength(bytes, 10), 10u);
  EXPECT_EQ(Cp936PrefixLength(bytes, 100), 10u);
}

TEST(CodePageTest, DecodesOlderWorkbookCodePages) {
  EXPECT_EQ(ToUtf8("caf\xE9", 1252), "café");
  EXPECT_EQ(ToUtf8("\xC6\xBB\xB9\xFB", 936), "苹果");
  EXPECT_EQ(ToUtf8("\xA4\xA4\xA4\xE5", 950), "中文");
  EXPECT_EQ(ToUtf8("plain", 1252), "plain");
  EXPECT_EQ(ToUtf8("a\x81" "b", 1252), "a\xEF\xBF\xBD" "b");  // 0x81 is unassigned
  // A lead byte without a valid trail is one U+FFFD; the next byte stands.
  EXPECT_EQ(ToUtf8("\xA4 \xA4", 950), "\xEF\xBF\xBD \xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8("\x82\xA0", 932), "あ");
  EXPECT_EQ(ToUtf8("\xB0\xA1", 949), "가");
  EXPECT_EQ(ToUtf8("\xCF\xDB", 32768), "œ€");  // Macintosh Roman
  EXPECT_EQ(ToUtf8("\xE9", 367), "\xEF\xBF\xBD");
  const Error e = testing_support::ErrorOf([] { ToUtf8("\xE9", 12345); });
  EXPECT_EQ(e.number(), err::kNotSupported);
  EXPECT_NE(e.description().find("12345"), std::string::npos) << e.description();
}

TEST(CodePageTest, Utf16AndLatin1) {
  const unsigned char utf16[] = {0xF9, 0x82, 0x9C, 0x67, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8};
  std::string out;
  AppendUtf16Le(utf16, 5, out);
  EXPECT_EQ(out, "苹果😀\xEF\xBF\xBD");  // the last unit is an unpaired surrogate
  const unsigned char latin1[] = {'c', 'a', 'f', 0xE9};
  out.clear();
  AppendLatin1(latin1, 4, out);
  EXPECT_EQ(out, "café");
}

}  // namespace
}  // namespace platform::codepage
