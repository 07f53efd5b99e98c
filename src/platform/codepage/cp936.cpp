// Code page 936 and its GB18030 completion, from the tables in cp936_data.h:
// the same bytes on every system, and nothing to build at start (the
// encoding table is computed by the compiler).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "platform/codepage/codepage.h"
#include "platform/codepage/cp936_data.h"
#include "platform/codepage/double_byte.h"

namespace platform::codepage {
namespace {

using double_byte::Cell;
using double_byte::kLeadFirst;
using double_byte::kLeadLast;
using double_byte::kReplacement;
using double_byte::kTrailCount;
using double_byte::kTrailFirst;
constexpr char32_t kEuro = 0x20AC;
constexpr unsigned kEuroByte = 0x80;
// Four-byte codes count from 0x81308130; the basic plane's end at
// 0x8431A439, the other planes' start at 0x90308130.
constexpr std::uint32_t kFourByteBasicCount = 39420;
constexpr std::uint32_t kFourByteSupplementaryStart = 189000;

// UTF-16 unit -> code page form: 0 = none, < 0x100 a single byte, else
// lead << 8 | trail.
using EncodeTable = std::array<std::uint16_t, 0x10000>;

constexpr EncodeTable BuildEncodeTable() {
  EncodeTable table{};
  for (unsigned c = 0; c < 0x80; ++c) table[c] = static_cast<std::uint16_t>(c);
  table[kEuro] = kEuroByte;
  for (std::size_t i = 0; i < std::size(cp936::kDecode); ++i) {
    const char16_t c = cp936::kDecode[i];
    if (c == 0) continue;
    table[c] = static_cast<std::uint16_t>((kLeadFirst + i / kTrailCount) << 8 |
                                          (kTrailFirst + i % kTrailCount));
  }
  return table;
}

constexpr EncodeTable kEncode = BuildEncodeTable();

constexpr bool NoSurrogateHasACode() {
  for (char32_t c = 0xD800; c <= 0xDFFF; ++c) {
    if (kEncode[c] != 0) return false;
  }
  return true;
}
// The fast path below leans on this to pass surrogates to the checked one.
static_assert(NoSurrogateHasACode());

// The two-byte code of the well-formed three-byte sequence at s (the
// caller makes sure three bytes are there), or 0 when s starts anything
// else: another length, a malformed or overlong sequence, a character
// without a two-byte code. Nearly every Chinese character is one such
// sequence.
inline std::uint16_t TwoByteCodeAt(const unsigned char* s) {
  const unsigned b0 = s[0];
  const unsigned b1 = s[1];
  const unsigned b2 = s[2];
  // 1110xxxx 10xxxxxx 10xxxxxx, tested at once.
  if (((b0 << 16 | b1 << 8 | b2) & 0xF0C0C0) != 0xE08080) return 0;
  const char32_t c = (b0 & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F);
  const std::uint16_t code = kEncode[c];
  return c >= 0x800 && code >= 0x100 ? code : 0;
}

// The GB18030 two-byte forms again, by code, for decoding.
constexpr auto BuildTwoByteByCode() {
  std::array<cp936::TwoByteForm, std::size(cp936::kGb18030TwoByte)> forms{};
  std::copy(std::begin(cp936::kGb18030TwoByte), std::end(cp936::kGb18030TwoByte), forms.begin());
  std::sort(forms.begin(), forms.end(),
            [](const auto& a, const auto& b) { return a.code < b.code; });
  return forms;
}

constexpr auto kTwoByteByCode = BuildTwoByteByCode();

// The GB18030 two-byte code of a character code page 936 lacks; 0 if none.
std::uint16_t Gb18030TwoByte(char32_t c) {
  const auto* end = std::end(cp936::kGb18030TwoByte);
  const auto* form = std::lower_bound(std::begin(cp936::kGb18030TwoByte), end, c,
                                      [](const auto& f, char32_t v) { return f.character < v; });
  return form != end && form->character == c ? form->code : 0;
}

// The position of c's four-byte code counted from 0x81308130; false when
// GB18030 has none for it.
bool FourByteIndex(char32_t c, std::uint32_t& index) {
  if (c >= 0x10000) {
    index = kFourByteSupplementaryStart + (c - 0x10000);
    return c <= 0x10FFFF;
  }
  const auto* begin = std::begin(cp936::kGb18030FourByte);
  const auto* after = std::upper_bound(begin, std::end(cp936::kGb18030FourByte), c,
                                       [](char32_t v, const auto& r) { return v < r.first; });
  if (after == begin) return false;
  const cp936::FourByteRange& range = *(after - 1);
  if (c - range.first >= range.count) return false;
  index = range.index + (c - range.first);
  return true;
}

void AppendFourByteCode(std::uint32_t index, std::string& out) {
  char code[4];
  code[3] = static_cast<char>(0x30 + index % 10);
  index /= 10;
  code[2] = static_cast<char>(0x81 + index % 126);
  index /= 126;
  code[1] = static_cast<char>(0x30 + index % 10);
  code[0] = static_cast<char>(0x81 + index / 10);
  out.append(code, 4);
}

// The GB18030 form of a character code page 936 lacks (U+FFFD's where
// GB18030 has none either); its length.
std::size_t AppendGb18030(char32_t c, std::string& out) {
  if (const std::uint16_t code = Gb18030TwoByte(c); code != 0) {
    out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    return 2;
  }
  std::uint32_t index = 0;
  if (!FourByteIndex(c, index)) FourByteIndex(kReplacement, index);
  AppendFourByteCode(index, out);
  return 4;
}

std::size_t Gb18030Length(char32_t c) { return Gb18030TwoByte(c) != 0 ? 2 : 4; }

// The character of a four-byte code; U+FFFD for a code GB18030 leaves
// unassigned.
char32_t DecodeFourByte(const unsigned char* b) {
  if (b[0] < kLeadFirst || b[0] > kLeadLast || b[2] < kLeadFirst || b[2] > kLeadLast ||
      b[3] < 0x30 || b[3] > 0x39) {
    return kReplacement;
  }
  const std::uint32_t index =
      (((b[0] - kLeadFirst) * 10u + (b[1] - 0x30u)) * 126u + (b[2] - kLeadFirst)) * 10u +
      (b[3] - 0x30u);
  if (index >= kFourByteSupplementaryStart) {
    const std::uint32_t c = 0x10000 + (index - kFourByteSupplementaryStart);
    return c <= 0x10FFFF ? c : kReplacement;
  }
  if (index >= kFourByteBasicCount) return kReplacement;
  const auto* begin = std::begin(cp936::kGb18030FourByteByIndex);
  const auto* after = std::upper_bound(
      begin, std::end(cp936::kGb18030FourByteByIndex), index,
      [](std::uint32_t v, std::uint16_t r) { return v < cp936::kGb18030FourByte[r].index; });
  if (after == begin) return kReplacement;
  const cp936::FourByteRange& range = cp936::kGb18030FourByte[*(after - 1)];
  return index - range.index < range.count ? range.first + (index - range.index) : kReplacement;
}

// The character of a two-byte code; U+FFFD for a code with none.
char32_t DecodeTwoByte(unsigned lead, unsigned trail) {
  if (trail < kTrailFirst || trail == 0xFF) return kReplacement;
  if (const char16_t c = cp936::kDecode[Cell(lead, trail)]; c != 0) return c;
  const std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
  const auto* form = std::lower_bound(kTwoByteByCode.begin(), kTwoByteByCode.end(), code,
                                      [](const auto& f, std::uint16_t v) { return f.code < v; });
  return form != kTwoByteByCode.end() && form->code == code ? form->character : kReplacement;
}

bool IsFourByteStart(std::string_view bytes, std::size_t i) {
  return i + 3 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) >= 0x30 &&
         static_cast<unsigned char>(bytes[i + 1]) <= 0x39;
}

// The end of the run of ASCII bytes starting at i, eight bytes at a time.
std::size_t AsciiRunEnd(std::string_view utf8, std::size_t i) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  while (utf8.size() - i >= 8) {
    std::uint64_t word;
    std::memcpy(&word, utf8.data() + i, sizeof word);
    if ((word & kHighBits) != 0) break;
    i += 8;
  }
  while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
  return i;
}

// The character at i (not ASCII), decoding well-formed three-byte
// sequences (all of CJK) in line; advances i. Inlined into both loops
// below: it runs once for every Chinese character written.
#if defined(__GNUC__)
[[gnu::always_inline]]
#endif
inline char32_t NextNonAscii(std::string_view utf8, std::size_t& i) {
  const auto b = static_cast<unsigned char>(utf8[i]);
  if ((b & 0xF0) == 0xE0 && i + 2 < utf8.size() &&
      (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80 &&
      (static_cast<unsigned char>(utf8[i + 2]) & 0xC0) == 0x80) {
    const auto c = static_cast<char32_t>((b & 0x0F) << 12 |
                                         (static_cast<unsigned char>(utf8[i + 1]) & 0x3F) << 6 |
                                         (static_cast<unsigned char>(utf8[i + 2]) & 0x3F));
    if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
      i += 3;
      return c;
    }
  }
  return NextCodePoint(utf8, i);
}

const unsigned char* Bytes(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The bytes of the run of characters with two-byte codes at the start of
// s (see TwoByteCodeAt).
std::size_t TwoByteRunLength(const unsigned char* s, std::size_t n) {
  std::size_t i = 0;
  while (n - i >= 3 && TwoByteCodeAt(s + i) != 0) i += 3;
  return i;
}

// Bytes gather in a small buffer: one append per buffer, not per byte
// (this runs for every value of every row written).
class ByteBuffer {
 public:
  // buffer_ is left unset: only what was put in it is read, and this runs
  // once per value written.
  // cppcheck-suppress uninitMemberVar
  explicit ByteBuffer(std::string& out) : out_(out) {}
  ~ByteBuffer() { Flush(); }
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  bool Ascii(const char* data, std::size_t n) {
    if (n > sizeof buffer_ - n_) {
      Flush();
      out_.append(data, n);
      return true;
    }
    std::memcpy(buffer_ + n_, data, n);
    n_ += n;
    return true;
  }
  // Encodes the run of characters with two-byte codes at the start of
  // s (see TwoByteCodeAt); returns the bytes of s it took.
  std::size_t TwoByteRun(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    for (; n - i >= 3; i += 3) {
      const std::uint16_t code = TwoByteCodeAt(s + i);
      if (code == 0) break;
      if (n_ + 2 > sizeof buffer_) Flush();
      buffer_[n_] = static_cast<char>(code >> 8);
      buffer_[n_ + 1] = static_cast<char>(code & 0xFF);
      n_ += 2;
    }
    return i;
  }
  bool Code(std::uint16_t code) {
    if (n_ + 2 > sizeof buffer_) Flush();
    if (code >= 0x100) buffer_[n_++] = static_cast<char>(code >> 8);
    buffer_[n_++] = static_cast<char>(code & 0xFF);
    return true;
  }
  bool Gb18030(char32_t c) {
    Flush();
    AppendGb18030(c, out_);
    return true;
  }

 private:
  void Flush() {
    out_.append(buffer_, n_);
    n_ = 0;
  }

  std::string& out_;
  char buffer_[256];
  std::size_t n_ = 0;
};

// Bytes written in place into a fixed room; each step says false, writing
// nothing, when its bytes would not fit.
class FixedRoom {
 public:
  FixedRoom(char* begin, char* end) : p_(begin), end_(end) {}

  bool Ascii(const char* data, std::size_t n) {
    if (n > Left()) return false;
    std::memcpy(p_, data, n);
    p_ += n;
    return true;
  }
  // Stops early, short of room; the character it stopped at then fails
  // in Code.
  std::size_t TwoByteRun(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    for (; n - i >= 3 && Left() >= 2; i += 3) {
      const std::uint16_t code = TwoByteCodeAt(s + i);
      if (code == 0) break;
      p_[0] = static_cast<char>(code >> 8);
      p_[1] = static_cast<char>(code & 0xFF);
      p_ += 2;
    }
    return i;
  }
  bool Code(std::uint16_t code) {
    if (code >= 0x100) {
      if (Left() < 2) return false;
      *p_++ = static_cast<char>(code >> 8);
    } else if (Left() < 1) {
      return false;
    }
    *p_++ = static_cast<char>(code & 0xFF);
    return true;
  }
  bool Gb18030(char32_t c) {
    std::string code;  // at most four bytes: no allocation
    AppendGb18030(c, code);
    return Ascii(code.data(), code.size());
  }
  char* end() const { return p_; }

 private:
  std::size_t Left() const { return static_cast<std::size_t>(end_ - p_); }

  char* p_;
  char* const end_;
};

// The encoding loop for both outputs, from byte i of utf8 on; counts the
// characters code page 936 cannot hold into outside. False when out ran
// out of room.
template <class Out>
bool EncodeCp936(std::string_view utf8, std::size_t i, Out& out, std::size_t& outside) {
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {  // ASCII runs are copied as they are
      const std::size_t end = AsciiRunEnd(utf8, i + 1);
      if (!out.Ascii(utf8.data() + i, end - i)) return false;
      i = end;
      continue;
    }
    if (const std::size_t run = out.TwoByteRun(Bytes(utf8) + i, utf8.size() - i); run > 0) {
      i += run;
      continue;
    }
    const char32_t c = NextNonAscii(utf8, i);
    const std::uint16_t code = c < 0x10000 ? kEncode[c] : 0;
    if (code != 0) {
      if (!out.Code(code)) return false;
    } else {
      if (!out.Gb18030(c)) return false;
      ++outside;
    }
  }
  return true;
}

}  // namespace

std::size_t AppendCp936(std::string_view utf8, std::string& out) {
  // Most values (numbers, dates, Latin text) are ASCII throughout: one copy.
  const std::size_t i = AsciiRunEnd(utf8, 0);
  out.append(utf8.data(), i);
  if (i == utf8.size()) return 0;
  std::size_t outside = 0;
  ByteBuffer buffer(out);
  EncodeCp936(utf8, i, buffer, outside);
  return outside;
}

std::size_t WriteCp936(std::string_view utf8, char* out, std::size_t room, std::size_t& outside) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080;
  outside = 0;
  const char* in = utf8.data();
  const std::size_t n = utf8.size();
  // Most values are ASCII throughout: copied as they are scanned, eight
  // bytes a step while both the text and the room have them.
  std::size_t i = 0;
  std::uint64_t word;
  while (n - i >= 8 && room - i >= 8) {
    std::memcpy(&word, in + i, sizeof word);
    if ((word & kHighBits) != 0) break;
    std::memcpy(out + i, &word, sizeof word);
    i += 8;
  }
  // The last few bytes as one step ending where the text ends, again
  // over bytes already copied.
  if (i < n && n - i < 8 && n >= 8 && n <= room) {
    std::memcpy(&word, in + n - 8, sizeof word);
    if ((word & kHighBits) == 0) {
      std::memcpy(out + n - 8, &word, sizeof word);
      return n;
    }
  }
  for (; i < n && i < room && static_cast<unsigned char>(in[i]) < 0x80; ++i) out[i] = in[i];
  if (i == n) return i;
  if (static_cast<unsigned char>(in[i]) < 0x80) return kDoesNotFit;  // ASCII past the room
  FixedRoom fixed(out + i, out + room);
  if (!EncodeCp936(utf8, i, fixed, outside)) return kDoesNotFit;
  return static_cast<std::size_t>(fixed.end() - out);
}

std::string ToCp936(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  AppendCp936(utf8, out);
  return out;
}

std::size_t Cp936Length(std::string_view utf8) {
  std::size_t length = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      const std::size_t end = AsciiRunEnd(utf8, i + 1);
      length += end - i;
      i = end;
      continue;
    }
    const std::size_t run = TwoByteRunLength(Bytes(utf8) + i, utf8.size() - i);
    if (run > 0) {
      length += run / 3 * 2;
      i += run;
      continue;
    }
    const char32_t c = NextNonAscii(utf8, i);
    const std::uint16_t code = c < 0x10000 ? kEncode[c] : 0;
    length += code >= 0x100 ? 2 : code != 0 ? 1 : Gb18030Length(c);
  }
  return length;
}

std::string FromCp936(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      out += static_cast<char>(b0);
      ++i;
    } else if (b0 == kEuroByte) {  // code page 936's one high single byte
      AppendUtf8(kEuro, out);
      ++i;
    } else if (b0 == 0xFF || i + 1 >= bytes.size()) {
      AppendUtf8(kReplacement, out);
      ++i;
    } else if (IsFourByteStart(bytes, i)) {
      AppendUtf8(DecodeFourByte(reinterpret_cast<const unsigned char*>(bytes.data() + i)), out);
      i += 4;
    } else {
      AppendUtf8(DecodeTwoByte(b0, static_cast<unsigned char>(bytes[i + 1])), out);
      i += 2;
    }
  }
  return out;
}

std::size_t Cp936PrefixLength(std::string_view bytes, std::size_t max_bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    std::size_t width = 1;
    if (b0 >= kLeadFirst && b0 <= kLeadLast && i + 1 < bytes.size()) {
      width = IsFourByteStart(bytes, i) ? 4 : 2;
    }
    if (i + width > max_bytes) break;
    i += width;
  }
  return i;
}

bool IsDoubleByte(char32_t c) { return c >= 0x80 && c < 0x10000 && kEncode[c] >= 0x100; }

}  // namespace platform::codepage
