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
  struct MeasureWidths {};

  StringTable() = default;
  // A table that also keeps each string's length in code page 936, the
  // width it needs in a table. Shared strings are read beside the sheet's
  // scan, so measuring them there, once each, spares the layout pass.
  explicit StringTable(MeasureWidths) : measured_(true) {}

  void Add(std::string_view text);
  // Room for count strings of bytes bytes in all, so that adding them
  // never moves what is there (an estimate too large costs address space,
  // not memory: pages never written are never mapped).
  void Reserve(std::size_t bytes, std::size_t count);
  std::size_t size() const { return ends_.size(); }
  // What the strings take: their bytes and an end offset each.
  std::size_t HeldBytes() const {
    return blob_.size() + (ends_.size() + widths_.size()) * sizeof(std::uint32_t);
  }
  bool measured() const { return measured_; }
  // index < size(), measured() only; UINT32_MAX for any longer width.
  std::uint32_t Width(std::size_t index) const { return widths_[index]; }
  // index < size().
  std::string_view Get(std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(blob_).substr(begin, ends_[index] - begin);
  }

 private:
  std::string blob_;
  std::vector<std::uint32_t> ends_;
  std::vector<std::uint32_t> widths_;
  bool measured_ = false;
};

}  // namespace platform::data::sheet
