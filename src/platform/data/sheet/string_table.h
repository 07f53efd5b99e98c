#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::data::sheet {

// Many strings in one buffer: a workbook's shared strings are stored once
// and cells refer to them by index. At most 4 GiB of text in all (Add
// raises 7 beyond).
class StringTable {
 public:
  void Add(std::string_view text);
  // Room for count strings of bytes bytes in all, so that adding them
  // never moves what is there (an estimate too large costs address space,
  // not memory: pages never written are never mapped).
  void Reserve(std::size_t bytes, std::size_t count);
  std::size_t size() const { return ends_.size(); }
  // What the strings take: their bytes and an end offset each.
  std::size_t HeldBytes() const { return blob_.size() + ends_.size() * sizeof(std::uint32_t); }
  // index < size().
  std::string_view Get(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(blob_).substr(begin, ends_[index] - begin);
  }

 private:
  std::string blob_;
  std::vector<std::uint32_t> ends_;
};

}  // namespace platform::data::sheet
