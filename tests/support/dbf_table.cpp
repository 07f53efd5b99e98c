#include "support/dbf_table.h"

#include "support/little_endian.h"
#include "support/temp_dir.h"

namespace testing_support {
namespace {

constexpr std::size_t kFileHeaderSize = 32;
constexpr std::size_t kFieldDescriptorSize = 32;

std::string HeaderProblem(std::string_view bytes, std::size_t header, std::size_t record) {
  if (bytes.size() < kFileHeaderSize + 2 || bytes[0] != 0x03) return "no dBase III header";
  if (header < kFileHeaderSize + kFieldDescriptorSize + 1 ||
      (header - kFileHeaderSize - 1) % kFieldDescriptorSize != 0 || header > bytes.size() ||
      bytes[header - 1] != 0x0D) {
    return "bad header length " + std::to_string(header);
  }
  std::size_t widths = 1;
  for (std::size_t at = kFileHeaderSize; at + 1 < header; at += kFieldDescriptorSize) {
    if (bytes[at + 11] != 'C') return "a field that is not a character field";
    widths += static_cast<unsigned char>(bytes[at + 16]);
  }
  if (widths != record) return "record length " + std::to_string(record) + " is not the widths' sum";
  return "";
}

}  // namespace

DbfTable ReadDbfTable(std::string_view bytes) {
  DbfTable table;
  const std::size_t header = bytes.size() >= kFileHeaderSize ? LittleEndian(bytes, 8, 2) : 0;
  const std::size_t record = bytes.size() >= kFileHeaderSize ? LittleEndian(bytes, 10, 2) : 0;
  table.problem = HeaderProblem(bytes, header, record);
  if (!table.complete()) return table;
  table.count = LittleEndian(bytes, 4, 4);
  const std::uint64_t end = header + static_cast<std::uint64_t>(table.count) * record;
  if (end >= bytes.size() || bytes[end] != 0x1A) {
    table.problem = "the " + std::to_string(table.count) + " records counted are not followed by 0x1A";
    return table;
  }
  for (std::uint32_t i = 0; i < table.count; ++i) {
    const std::string_view one = bytes.substr(header + i * record, record);
    if (one[0] != ' ' && one[0] != '*') {
      table.problem = "record " + std::to_string(i + 1) + " has no flag byte";
      return table;
    }
    table.records.emplace_back(one.substr(1));
  }
  table.trailing = bytes.size() - end - 1;
  return table;
}

DbfTable ReadDbfFile(const std::string& path) { return ReadDbfTable(ReadFileBytes(path)); }

}  // namespace testing_support
