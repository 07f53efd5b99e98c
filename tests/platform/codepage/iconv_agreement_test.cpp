// The built-in tables against the system's iconv (glibc), over every code
// point and every code: they were written from it by make_tables.py, and
// must still say what it says. Linux only.
#include <iconv.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

#include "platform/codepage/codepage.h"

namespace platform::codepage {
namespace {

const std::string kReplacementUtf8 = "\xEF\xBF\xBD";

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // The whole conversion, or nothing when iconv refuses any of it.
  std::optional<std::string> operator()(std::string_view in) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    char* dst = buffer;
    std::size_t room = sizeof buffer;
    if (iconv(cd_, &src, &left, &dst, &room) == static_cast<std::size_t>(-1)) return std::nullopt;
    if (iconv(cd_, nullptr, nullptr, &dst, &room) == static_cast<std::size_t>(-1)) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(dst - buffer));
  }

 private:
  iconv_t cd_;
};

std::string Utf8(char32_t c) {
  std::string s;
  AppendUtf8(c, s);
  return s;
}

TEST(IconvAgreementTest, EveryCharacterEncodesAsIconvSays) {
  Iconv cp936("CP936", "UTF-8");
  Iconv gb18030("GB18030", "UTF-8");
  ASSERT_TRUE(cp936.ok() && gb18030.ok());
  const std::string replacement = *gb18030(kReplacementUtf8);
  int failures = 0;
  for (char32_t c = 0; c <= 0x10FFFF && failures < 10; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string text = Utf8(c);
    // glibc drops the tag characters (U+E0000-U+E007F) without a word;
    // the program keeps them in their GB18030 form.
    const std::string cp936_form = cp936(text).value_or("");
    const bool in_cp936 = !cp936_form.empty();
    const std::string expected = in_cp936 ? cp936_form : gb18030(text).value_or(replacement);
    std::string got;
    const std::size_t outside = AppendCp936(text, got);
    const bool agrees = got == expected && outside == (in_cp936 ? 0u : 1u) &&
                        Cp936Length(text) == got.size() &&
                        IsDoubleByte(c) == (cp936_form.size() == 2);
    if (!agrees) {
      ++failures;
      ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(c);
    }
  }
}

TEST(IconvAgreementTest, EveryCodeDecodesAsIconvSays) {
  Iconv cp936("UTF-8", "CP936");
  Iconv gb18030("UTF-8", "GB18030");
  ASSERT_TRUE(cp936.ok() && gb18030.ok());
  int failures = 0;
  const auto check = [&](const std::string& code) {
    std::optional<std::string> expected = code.size() == 2 ? cp936(code) : std::nullopt;
    if (!expected) expected = gb18030(code);
    const std::string got = FromCp936(code);
    if (got != expected.value_or(kReplacementUtf8) && failures++ < 10) {
      ADD_FAILURE() << "code " << testing::PrintToString(code);
    }
  };
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      check({static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
  for (int b0 = 0x81; b0 <= 0xFE; ++b0) {
    for (int b1 = 0x30; b1 <= 0x39; ++b1) {
      for (int b2 = 0x81; b2 <= 0xFE; ++b2) {
        for (int b3 = 0x30; b3 <= 0x39; ++b3) {
          check({static_cast<char>(b0), static_cast<char>(b1), static_cast<char>(b2), static_cast<char>(b3)});
        }
      }
    }
  }
}

struct OlderCodePage {
  int number;
  const char* iconv_name;
  bool double_byte;
};

constexpr OlderCodePage kOlderCodePages[] = {
    {437, "CP437", false},   {737, "CP737", false},     {775, "CP775", false},
    {850, "CP850", false},   {852, "CP852", false},     {855, "CP855", false},
    {857, "CP857", false},   {860, "CP860", false},     {861, "CP861", false},
    {862, "CP862", false},   {863, "CP863", false},     {864, "CP864", false},
    {865, "CP865", false},   {866, "CP866", false},     {869, "CP869", false},
    {874, "CP874", false},   {1250, "CP1250", false},   {1251, "CP1251", false},
    {1252, "CP1252", false}, {1253, "CP1253", false},   {1254, "CP1254", false},
    {1255, "CP1255", false}, {1256, "CP1256", false},   {1257, "CP1257", false},
    {1258, "CP1258", false}, {10000, "MACINTOSH", false}, {32768, "MACINTOSH", false},
    {10007, "MAC-CYRILLIC", false}, {10029, "MAC-CENTRALEUROPE", false},
    {32769, "CP1252", false}, {932, "CP932", true},     {949, "CP949", true},
    {950, "CP950", true},
};

class OlderCodePageTest : public ::testing::TestWithParam<OlderCodePage> {};

// A byte or pair iconv decodes gives its character; one it refuses starts
// with U+FFFD.
TEST_P(OlderCodePageTest, DecodesAsIconvSays) {
  const OlderCodePage& page = GetParam();
  Iconv decode("UTF-8", page.iconv_name);
  ASSERT_TRUE(decode.ok());
  int failures = 0;
  const auto check = [&](const std::string& bytes) {
    const std::optional<std::string> expected = decode(bytes);
    const std::string got = ToUtf8(bytes, page.number);
    const bool agrees = expected ? got == *expected : got.rfind(kReplacementUtf8, 0) == 0;
    if (!agrees && failures++ < 10) ADD_FAILURE() << testing::PrintToString(bytes) << " gave " << got;
  };
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string single(1, static_cast<char>(b));
    if (!page.double_byte || decode(single)) {
      check(single);
      continue;
    }
    for (int trail = 0x40; trail <= 0xFE; ++trail) check({static_cast<char>(b), static_cast<char>(trail)});
  }
}

INSTANTIATE_TEST_SUITE_P(All, OlderCodePageTest, ::testing::ValuesIn(kOlderCodePages),
                         [](const auto& info) { return std::to_string(info.param.number); });

}  // namespace
}  // namespace platform::codepage
