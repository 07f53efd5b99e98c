// UTF-8 and UTF-16 helpers and the older code pages, decoded through the
// tables of legacy_tables.cpp (the same on every system).
#include <string>

#include "platform/codepage/codepage.h"
#include "platform/codepage/double_byte.h"
#include "platform/codepage/legacy_tables.h"
#include "platform/runtime/error.h"

namespace platform::codepage {
namespace {

using double_byte::Cell;
using double_byte::kReplacement;
using double_byte::kTrailFirst;
using double_byte::kTrailLast;

// Code page numbers workbooks write for a code page known by another number.
int TableNumber(int code_page) {
  switch (code_page) {
    case 32768: return 10000;  // Macintosh Roman
    case 32769: return 1252;   // what Excel 97 writes for Windows Latin-1
    default: return code_page;
  }
}

const legacy::CodePageTable* FindTable(int code_page) {
  const int number = TableNumber(code_page);
  for (std::size_t i = 0; i < legacy::kTableCount; ++i) {
    if (legacy::kTables[i].code_page == number) return &legacy::kTables[i];
  }
  return nullptr;
}

// Decodes with a table; a byte or pair with no character becomes U+FFFD
// and decoding goes on at the next byte.
std::string DecodeWithTable(std::string_view bytes, const legacy::CodePageTable& table) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      continue;
    }
    char32_t c = table.high[b - 0x80];
    if (c == legacy::kLeadByte) {
      c = kReplacement;
      const auto trail = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0u;
      if (table.pairs != nullptr && trail >= kTrailFirst && trail <= kTrailLast) {
        const char16_t pair = table.pairs[Cell(b, trail)];
        if (pair != 0) {
          c = pair;
          ++i;
        }
      }
    }
    AppendUtf8(c != 0 ? c : kReplacement, out);
  }
  return out;
}

std::string DecodeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) AppendUtf8(NextCodePoint(bytes, i), out);
  return out;
}

std::string DecodeUtf16Le(std::string_view bytes) {
  std::string out;
  AppendUtf16Le(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size() / 2, out);
  if (bytes.size() % 2 != 0) AppendUtf8(kReplacement, out);
  return out;
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

std::string ToUtf8(std::string_view bytes, int code_page) {
  bool ascii = true;
  for (const char ch : bytes) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
  if (ascii) return std::string(bytes);
  switch (code_page) {
    case kCp936: return FromCp936(bytes);
    case 65001: return DecodeUtf8(bytes);
    case 1200: return DecodeUtf16Le(bytes);
    case 367: {  // ASCII: every high byte is foreign
      static constexpr char16_t kNone[128] = {};
      return DecodeWithTable(bytes, {367, kNone, nullptr});
    }
    default: break;
  }
  const legacy::CodePageTable* table = FindTable(code_page);
  if (table == nullptr) Raise(err::kNotSupported, "不支持的代码页：" + std::to_string(code_page));
  return DecodeWithTable(bytes, *table);
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
