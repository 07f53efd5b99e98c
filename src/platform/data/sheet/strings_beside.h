#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>

#include "platform/data/sheet/string_table.h"

namespace platform::data::sheet {

// A workbook's shared strings, read at once or on a thread of their own
// beside the sheet's first scan, which needs them only at its end. A
// reader holds one and hands Get() out as its SharedStrings().
class StringsBeside {
 public:
  using Read = std::function<std::shared_ptr<const StringTable>()>;

  StringsBeside() = default;
  // Waits for the reading; never throws.
  ~StringsBeside() {
    if (thread_.joinable()) thread_.join();
  }
  StringsBeside(const StringsBeside&) = delete;
  StringsBeside& operator=(const StringsBeside&) = delete;

  // Reads now (raising what read raises), or starts reading on the thread.
  void Start(Read read, bool beside) {
    if (!beside) {
      strings_ = read();
      return;
    }
    thread_ = std::thread([this, read = std::move(read)] {
      try {
        strings_ = read();
      } catch (...) {
        error_ = std::current_exception();
      }
    });
  }

  // Whether Get() returns at once.
  bool ready() const { return !thread_.joinable(); }

  // Waits for the strings the first time; raises what reading them
  // raised, at every call.
  std::shared_ptr<const StringTable> Get() const {
    if (thread_.joinable()) thread_.join();
    if (error_) std::rethrow_exception(error_);
    return strings_;
  }

 private:
  std::shared_ptr<const StringTable> strings_;
  std::exception_ptr error_;
  mutable std::thread thread_;
};

}  // namespace platform::data::sheet
