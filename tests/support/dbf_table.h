#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// A .dbf file as a dBase reader finds it, checked by its header alone:
// version 3, a header of 32 bytes plus 32 per field ending in 0x0D, every
// field a character field, records as long as the widths add up to, each
// flagged present (' ') or deleted ('*'), all the header counts followed
// by the end-of-file byte 0x1A.
struct DbfTable {
  std::string problem;  // what is wrong; empty for a complete table
  std::uint32_t count = 0;
  std::vector<std::string> records;  // without the flag byte
  std::size_t trailing = 0;          // bytes after the end-of-file byte

  bool complete() const { return problem.empty(); }
};

DbfTable ReadDbfTable(std::string_view bytes);
DbfTable ReadDbfFile(const std::string& path);

}  // namespace testing_support
