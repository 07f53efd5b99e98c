#pragma once

#include <cstddef>

// Decoding tables of the code pages older workbooks are stored in, from
// legacy_tables.cpp (written by make_tables.py). Bytes below 0x80 are ASCII
// in all of them.
namespace platform::codepage::legacy {

// In high[]: the byte starts a two-byte code.
inline constexpr char16_t kLeadByte = 0xFFFF;

struct CodePageTable {
  int code_page;
  // Character of each byte 0x80-0xFF; 0 for none, kLeadByte for a lead byte.
  const char16_t* high;
  // For double-byte code pages: character of each two-byte code, lead
  // 0x81-0xFE and trail 0x40-0xFE at (lead - 0x81) * 191 + (trail - 0x40),
  // 0 for none. Null for single-byte code pages.
  const char16_t* pairs;
};

extern const CodePageTable kTables[];
extern const std::size_t kTableCount;

}  // namespace platform::codepage::legacy
