#include "platform/data/sheet/string_table.h"

#include <limits>

#include "platform/runtime/error.h"
#include "platform/runtime/memory.h"

namespace platform::data::sheet {

void StringTable::Add(std::string_view text) {
  if (blob_.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
    Raise(err::kOutOfMemory, "工作簿中的文字太多，无法读取");
  }
  blob_.append(text);
  ends_.push_back(static_cast<std::uint32_t>(blob_.size()));
}

void StringTable::Reserve(std::size_t bytes, std::size_t count) {
  blob_.reserve(bytes);
  ends_.reserve(count);
  PreferLargePages(blob_.data(), blob_.capacity());
  PreferLargePages(ends_.data(), ends_.capacity() * sizeof(std::uint32_t));
}

}  // namespace platform::data::sheet
