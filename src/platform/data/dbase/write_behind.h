#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/work_behind.h"

// Statements carried out on a thread of their own while the caller builds
// the next ones.
namespace platform::data::dbase {

// Statements on their way to the thread, their texts back to back.
class StatementBatch {
 public:
  void Add(std::string_view text) {
    bytes_.append(text);
    ends_.push_back(bytes_.size());
  }
  std::size_t count() const { return ends_.size(); }
  std::size_t byte_count() const { return bytes_.size(); }
  std::string_view text(std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }
  void Clear() {
    bytes_.clear();
    ends_.clear();
  }

 private:
  std::string bytes_;
  std::vector<std::size_t> ends_;
};

using WriteBehind = WorkBehind<StatementBatch>;

}  // namespace platform::data::dbase
