#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Builds ZIP archives in memory for the container's tests and the
// workbook reader's: stored or deflated entries, with or without data
// descriptors and Zip64 fields. The layout is reported so tests can damage
// known bytes.
namespace zip_builder {

struct EntryDraft {
  std::string name;
  std::string data;
  bool deflate = true;
  bool descriptor = false;  // sizes and CRC after the data, zeros in the local header
  bool zip64 = false;       // sizes and offset in Zip64 extra fields
};

struct Layout {
  std::string bytes;
  std::vector<std::size_t> header_offsets;  // local headers
  std::vector<std::size_t> data_offsets;    // compressed bytes
  std::vector<std::size_t> data_sizes;
  std::vector<std::size_t> directory_headers;  // central headers
  std::size_t directory_offset = 0;
  std::size_t end_offset = 0;  // end of central directory record
};

// Entries in order, then the central directory and the end record
// (preceded by Zip64 ones when zip64_end), then comment.
Layout Zip(const std::vector<EntryDraft>& entries, std::string_view comment = {}, bool zip64_end = false);

// Raw deflate (no zlib header) of data.
std::string Deflate(std::string_view data);
std::uint32_t Crc(std::string_view data);

void Put16(std::string& bytes, std::size_t offset, std::uint16_t v);
void Put32(std::string& bytes, std::size_t offset, std::uint32_t v);

}  // namespace zip_builder
