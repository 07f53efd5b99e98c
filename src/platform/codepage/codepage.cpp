#include "platform/codepage/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/runtime/error.h"

namespace platform::codepage {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr unsigned kLeadFirst = 0x81;
constexpr unsigned kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailCount = 0xFF - kTrailFirst;  // 0x40..0xFE

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts the whole input or reports false (the output is then partial).
  bool Convert(const char* in, std::size_t in_len, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    std::size_t left = in_len;
    char buffer[256];
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

  // Converts the whole input where the converter skips what it cannot
  // convert (//IGNORE): iconv then reports EILSEQ but goes on, or stops
  // after the skip and is called again. False on any other failure.
  bool ConvertSkipping(const char* in, std::size_t in_len, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    std::size_t left = in_len;
    char buffer[4096];
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t before = left;
      const std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      if (errno != EILSEQ || (left == before && dst == buffer)) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

// Code page 936 as lookup tables, built once from iconv: converting a
// character is then an array access instead of a library call.
struct Tables {
  // UTF-16 unit -> code page form: 0 = not representable, < 0x100 a
  // single byte, else lead << 8 | trail.
  std::array<std::uint16_t, 0x10000> encode{};
  // (lead - 0x81) * 191 + (trail - 0x40) -> character, 0 = unmapped.
  std::array<char16_t, (kLeadLast - kLeadFirst + 1) * kTrailCount> decode{};
};

// Enters the code page form of character c, as iconv gave it.
void Enter(Tables& t, std::uint32_t c, std::string_view bytes) {
  if (bytes.empty()) return;
  const auto b0 = static_cast<unsigned char>(bytes[0]);
  if (bytes.size() == 1 && b0 >= 0x80) {
    t.encode[c] = b0;
  } else if (bytes.size() == 2 && b0 >= kLeadFirst && b0 <= kLeadLast) {
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    if (b1 < kTrailFirst || b1 == 0xFF) return;
    const std::size_t index = (b0 - kLeadFirst) * kTrailCount + (b1 - kTrailFirst);
    // Keep the first character of a pair that shares one code, so
    // every code decodes to exactly one character; the other one is
    // written in four-byte form.
    if (t.decode[index] != 0) return;
    t.decode[index] = static_cast<char16_t>(c);
    t.encode[c] = static_cast<std::uint16_t>(b0 << 8 | b1);
  }
}

bool IsSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// All characters in one conversion: each followed by a line feed, which
// no two-byte code contains, and characters the code page lacks left out
// (//IGNORE). Starting a program is then a few milliseconds cheaper than
// one conversion per character. False when the output does not split
// into one piece per character.
bool EnterAllAtOnce(Tables& t) {
  Iconv to_cp936("CP936//IGNORE", "UTF-32LE");
  if (!to_cp936.ok()) return false;
  // In slices, so that the buffers stay small.
  constexpr std::uint32_t kSlice = 4096;
  std::string in;
  std::string out;
  for (std::uint32_t first = 0x80; first < 0x10000; first += first == 0x80 ? kSlice - 0x80 : kSlice) {
    const std::uint32_t last = std::min<std::uint32_t>(first + kSlice - (first == 0x80 ? 0x80 : 0), 0x10000);
    in.clear();
    for (std::uint32_t c = first; c < last; ++c) {
      if (IsSurrogate(c)) continue;
      const char pair[8] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), 0, 0, '\n', 0, 0, 0};
      in.append(pair, sizeof pair);
    }
    out.clear();
    if (!to_cp936.ConvertSkipping(in.data(), in.size(), out)) return false;
    std::size_t begin = 0;
    std::uint32_t c = first;
    for (std::size_t end; (end = out.find('\n', begin)) != std::string::npos; begin = end + 1, ++c) {
      while (c < last && IsSurrogate(c)) ++c;
      if (c >= last) return false;
      Enter(t, c, std::string_view(out).substr(begin, end - begin));
    }
    while (c < last && IsSurrogate(c)) ++c;
    if (c != last || begin != out.size()) return false;
  }
  return true;
}

const Tables& GetTables() {
  static const std::unique_ptr<Tables> tables = [] {
    auto t = std::make_unique<Tables>();
    for (std::uint32_t c = 0; c < 0x80; ++c) t->encode[c] = static_cast<std::uint16_t>(c);
    if (EnterAllAtOnce(*t)) return t;
    // One character at a time, where the system's iconv does not skip.
    t = std::make_unique<Tables>();
    for (std::uint32_t c = 0; c < 0x80; ++c) t->encode[c] = static_cast<std::uint16_t>(c);
    Iconv to_cp936("CP936", "UTF-32LE");
    if (!to_cp936.ok()) Raise(err::kNotSupported, "系统缺少代码页 936 的转换表");
    std::string bytes;
    for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
      if (IsSurrogate(c)) continue;
      const char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF), 0, 0};
      bytes.clear();
      if (to_cp936.Convert(in, 4, bytes)) Enter(*t, c, bytes);
    }
    return t;
  }();
  return *tables;
}

std::mutex& FourByteMutex() {
  static std::mutex m;
  return m;
}

// The four-byte GB18030 form of a character code page 936 cannot hold.
void AppendFourByte(char32_t c, std::string& out) {
  std::lock_guard lock(FourByteMutex());
  static Iconv to_gb18030("GB18030", "UTF-32LE");
  const char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                      static_cast<char>((c >> 16) & 0xFF), 0};
  if (!to_gb18030.ok() || !to_gb18030.Convert(in, 4, out)) {
    out += "\x84\x31\xA4\x37";  // U+FFFD
  }
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
// sequences (all of CJK) in line; advances i.
char32_t NextNonAscii(std::string_view utf8, std::size_t& i) {
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

bool IsFourByteStart(std::string_view bytes, std::size_t i) {
  return i + 3 < bytes.size() && static_cast<unsigned char>(bytes[i + 1]) >= 0x30 &&
         static_cast<unsigned char>(bytes[i + 1]) <= 0x39;
}

}  // namespace

char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) {
    ++pos;
    return b0;
  }
  int extra;
  char32_t c;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    extra = 1, c = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    extra = 2, c = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    extra = 3, c = b0 & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size()) {
    ++pos;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[pos + k]);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    c = c << 6 | (b & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += static_cast<std::size_t>(extra) + 1;
  return c;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::size_t AppendCp936(std::string_view utf8, std::string& out) {
  const Tables& t = GetTables();
  std::size_t four_byte = 0;
  // Bytes gather in a small buffer: one append per buffer, not per byte
  // (this runs for every value of every row written).
  char buffer[256];
  std::size_t n = 0;
  const auto flush = [&] {
    out.append(buffer, n);
    n = 0;
  };
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {  // ASCII runs are copied as they are
      const std::size_t j = AsciiRunEnd(utf8, i + 1);
      if (j - i > sizeof buffer - n) {
        flush();
        out.append(utf8.data() + i, j - i);
      } else {
        std::memcpy(buffer + n, utf8.data() + i, j - i);
        n += j - i;
      }
      i = j;
      continue;
    }
    const char32_t c = NextNonAscii(utf8, i);
    if (n + 2 > sizeof buffer) flush();
    const std::uint16_t code = c < 0x10000 ? t.encode[c] : 0;
    if (code >= 0x100) {
      buffer[n++] = static_cast<char>(code >> 8);
      buffer[n++] = static_cast<char>(code & 0xFF);
    } else if (code != 0) {
      buffer[n++] = static_cast<char>(code);
    } else {
      flush();
      AppendFourByte(c, out);
      ++four_byte;
    }
  }
  flush();
  return four_byte;
}

std::string ToCp936(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  AppendCp936(utf8, out);
  return out;
}

std::size_t Cp936Length(std::string_view utf8) {
  const Tables& t = GetTables();
  std::size_t length = 0;
  std::size_t i = 0;
  while (i < utf8.size()) {
    if (static_cast<unsigned char>(utf8[i]) < 0x80) {
      const std::size_t end = AsciiRunEnd(utf8, i + 1);
      length += end - i;
      i = end;
      continue;
    }
    const char32_t c = NextNonAscii(utf8, i);
    const std::uint16_t code = c < 0x10000 ? t.encode[c] : 0;
    length += code >= 0x100 ? 2 : code != 0 ? 1 : 4;
  }
  return length;
}

std::string FromCp936(std::string_view bytes) {
  const Tables& t = GetTables();
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {
      out += static_cast<char>(b0);
      ++i;
      continue;
    }
    if (b0 == 0x80) {  // the euro sign, code page 936's one high single byte
      AppendUtf8(0x20AC, out);
      ++i;
      continue;
    }
    if (b0 == 0xFF || i + 1 >= bytes.size()) {
      AppendUtf8(kReplacement, out);
      ++i;
      continue;
    }
    if (IsFourByteStart(bytes, i)) {
      static Iconv from_gb18030("UTF-8", "GB18030");
      std::lock_guard lock(FourByteMutex());
      if (!from_gb18030.ok() || !from_gb18030.Convert(bytes.data() + i, 4, out)) {
        AppendUtf8(kReplacement, out);
      }
      i += 4;
      continue;
    }
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    char16_t c = 0;
    if (b1 >= kTrailFirst && b1 != 0xFF) {
      c = t.decode[(b0 - kLeadFirst) * kTrailCount + (b1 - kTrailFirst)];
    }
    AppendUtf8(c != 0 ? c : kReplacement, out);
    i += 2;
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

bool IsDoubleByte(char32_t c) {
  return c >= 0x80 && c < 0x10000 && GetTables().encode[c] >= 0x100;
}

std::string ToUtf8(std::string_view bytes, int code_page) {
  std::string out;
  bool ascii = true;
  for (const char ch : bytes) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
  if (ascii) return std::string(bytes);
  if (code_page == kCp936) return FromCp936(bytes);
  const char* name = nullptr;
  std::string numbered;
  switch (code_page) {
    case 367: name = "ASCII"; break;
    case 10000:
    case 32768: name = "MACINTOSH"; break;
    case 10007: name = "MAC-CYRILLIC"; break;
    case 10029: name = "MAC-CENTRALEUROPE"; break;
    case 32769: name = "CP1252"; break;  // what Excel 97 writes for Windows Latin-1
    case 1200: name = "UTF-16LE"; break;
    case 65001: name = "UTF-8"; break;
    case 437: case 737: case 775: case 850: case 852: case 855: case 857:
    case 860: case 861: case 862: case 863: case 864: case 865: case 866:
    case 869: case 874: case 932: case 949: case 950: case 1250: case 1251:
    case 1252: case 1253: case 1254: case 1255: case 1256: case 1257:
    case 1258:
      numbered = "CP" + std::to_string(code_page);
      name = numbered.c_str();
      break;
    default:
      Raise(err::kNotSupported, "不支持的代码页：" + std::to_string(code_page));
  }
  Iconv cd("UTF-8", name);
  if (!cd.ok()) Raise(err::kNotSupported, "系统缺少代码页的转换表：" + std::to_string(code_page));
  // Convert byte by byte on failure so one bad byte costs one U+FFFD.
  std::size_t i = 0;
  while (i < bytes.size()) {
    std::size_t run = bytes.size() - i;
    std::string piece;
    if (cd.Convert(bytes.data() + i, run, piece)) {
      out += piece;
      break;
    }
    // Find the longest prefix that converts: the failure point.
    std::size_t good = 0;
    for (std::size_t len = 1; len <= run; ++len) {
      std::string trial;
      if (cd.Convert(bytes.data() + i, len, trial)) good = len;
      if (len - good > 4) break;
    }
    if (good > 0) {
      std::string ok;
      cd.Convert(bytes.data() + i, good, ok);
      out += ok;
      i += good;
    }
    if (i < bytes.size()) {
      AppendUtf8(kReplacement, out);
      ++i;
    }
  }
  return out;
}

// Both decoders below size the output for the worst case once and write
// through a pointer: they run for every string of a workbook.
void AppendUtf16Le(const unsigned char* data, std::size_t units, std::string& out) {
  const std::size_t old = out.size();
  out.resize(old + units * 3);  // a unit takes at most 3 bytes, a pair 4
  auto* o = reinterpret_cast<unsigned char*>(out.data() + old);
  for (std::size_t k = 0; k < units; ++k) {
    char32_t c = static_cast<char32_t>(data[2 * k] | data[2 * k + 1] << 8);
    if (c < 0x80) {
      *o++ = static_cast<unsigned char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && k + 1 < units) {
      const char32_t low = static_cast<char32_t>(data[2 * k + 2] | data[2 * k + 3] << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++k;
      } else {
        c = kReplacement;
      }
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    if (c < 0x800) {
      *o++ = static_cast<unsigned char>(0xC0 | c >> 6);
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *o++ = static_cast<unsigned char>(0xE0 | c >> 12);
      *o++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      *o++ = static_cast<unsigned char>(0xF0 | c >> 18);
      *o++ = static_cast<unsigned char>(0x80 | (c >> 12 & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c >> 6 & 0x3F));
      *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(reinterpret_cast<char*>(o) - out.data()));
}

void AppendLatin1(const unsigned char* data, std::size_t count, std::string& out) {
  const std::size_t old = out.size();
  out.resize(old + count * 2);
  auto* o = reinterpret_cast<unsigned char*>(out.data() + old);
  for (std::size_t k = 0; k < count; ++k) {
    const unsigned char b = data[k];
    if (b < 0x80) {
      *o++ = b;
    } else {
      *o++ = static_cast<unsigned char>(0xC0 | b >> 6);
      *o++ = static_cast<unsigned char>(0x80 | (b & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(reinterpret_cast<char*>(o) - out.data()));
}

}  // namespace platform::codepage
