#include "platform/data/sheet/string_table.h"

#include <algorithm>
#include <limits>

#include "platform/codepage/codepage.h"
#include "platform/runtime/error.h"
#include "platform/runtime/memory.h"

namespace platform::data::sheet {

void StringTable::Add(std::string_view text) {
  if (blob_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
    Raise(err::kOutOfMemory, "工作簿中的文字太多，无法读取");
  }
  blob_.append(text);
  ends_.push_back(static_cast<std::uint32_t>(blob_.size()));
  if (measured_) {
    constexpr std::size_t kMost = std::numeric_limits<std::uint32_t>::max();
    widths_.push_back(static_cast<std::uint32_t>(std::min(codepage::Cp936Length(text), kMost)));
  }
}

void StringTable::Reserve(std::size_t bytes, std::size_t count) {
  blob_.reserve(bytes);
  ends_.reserve(count);
  if (measured_) widths_.reserve(count);
  PreferLargePages(blob_.data(), blob_.capacity());
  PreferLargePages(ends_.data(), ends_.capacity() * sizeof(std::uint32_t));
}

}  // namespace platform::data::sheet
