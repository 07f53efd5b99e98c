#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text in code page 936 (GBK), the code page of the .dbf files we write,
// and the other Windows code pages older workbooks are stored in. Text
// inside the program is UTF-8 throughout. The tables are built into the
// program (make_tables.py writes them), so every system converts alike.
namespace platform::codepage {

inline constexpr int kCp936 = 936;

// Appends the code page 936 form of UTF-8 text. A character that code
// page 936 cannot hold is written in its GB18030 form, so that nothing is
// lost: decoding the bytes as GB18030 gives the text back. That form has
// four bytes, but for the user-defined areas (U+E000-U+E765) and about a
// hundred characters GB18030 placed in two-byte codes (U+2E81 at FE50...).
// Malformed UTF-8 bytes, and the few private-use characters GB18030 has no
// code for, are written as the GB18030 form of U+FFFD.
// Returns the number of characters code page 936 could not hold.
std::size_t AppendCp936(std::string_view utf8, std::string& out);
std::string ToCp936(std::string_view utf8);

// The same bytes as AppendCp936, written into out[0, room) when they fit:
// returns how many were written and sets outside to AppendCp936's count.
// Returns kDoesNotFit when they would take more than room bytes (out then
// holds some of them).
inline constexpr std::size_t kDoesNotFit = static_cast<std::size_t>(-1);
std::size_t WriteCp936(std::string_view utf8, char* out, std::size_t room, std::size_t& outside);

// The length in bytes of the code page 936 form of UTF-8 text.
std::size_t Cp936Length(std::string_view utf8);

// Decodes code page 936 bytes, the GB18030 forms above included.
// A malformed sequence becomes U+FFFD.
std::string FromCp936(std::string_view bytes);

// The longest prefix of code page 936 bytes that holds at most max_bytes
// bytes and ends on a character boundary (a two- or four-byte character
// is never split).
std::size_t Cp936PrefixLength(std::string_view bytes, std::size_t max_bytes);

// True when the character is a double-byte character of code page 936
// (its code page form is a lead byte 0x81-0xFE and a trail byte).
bool IsDoubleByte(char32_t c);

// Decodes text stored in a Windows code page (as older workbooks store
// it): 1252, 936, 950, 932, 949, 125x, 437, 850, 874, 10000/32768
// (Macintosh Roman)... Throws platform::Error for an unknown code page.
// A byte, or a two-byte code, with no character becomes U+FFFD. Bytes
// below 0x80 are ASCII in every code page.
std::string ToUtf8(std::string_view bytes, int code_page);

// Decodes UTF-16LE (as BIFF8 stores uncompressed strings); unpaired
// surrogates become U+FFFD.
void AppendUtf16Le(const unsigned char* data, std::size_t units,
                   std::string& out);
// Decodes "compressed" BIFF8 text: one byte per UTF-16 unit (Latin-1).
void AppendLatin1(const unsigned char* data, std::size_t count,
                  std::string& out);

// UTF-8 helpers. NextCodePoint returns U+FFFD for a malformed sequence and
// always advances at least one byte.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);
void AppendUtf8(char32_t c, std::string& out);

}  // namespace platform::codepage
