#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Rows written on a thread of their own while the caller parses the next
// ones: the caller fills one batch while the thread works on the other.
namespace platform::data::dbase {

// Rows of one table, each value's bytes back to back.
class RowBatch {
 public:
  void Add(std::string_view value) {
    bytes_.append(value);
    ends_.push_back(bytes_.size());
  }
  std::size_t value_count() const { return ends_.size(); }
  std::size_t byte_count() const { return bytes_.size(); }
  std::string_view value(std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
  }
  void Clear() {
    bytes_.clear();
    ends_.clear();
  }

  void* table = nullptr;  // whose rows these are; the owner's to interpret

 private:
  std::string bytes_;
  std::vector<std::size_t> ends_;
};

class WriteBehind {
 public:
  using Work = std::function<void(const RowBatch&)>;

  // work runs on the thread, one batch at a time, in the order handed.
  explicit WriteBehind(Work work);
  // Waits for the batch in work, then ends the thread; never throws.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // The batch the caller fills; empty after each Hand.
  RowBatch& filling() { return filling_; }

  // Passes the filled batch to the thread, first waiting while it still
  // works on the one before. Raises what work raised on an earlier batch,
  // once, dropping the filled batch: the caller hears of a failure before
  // handing more. Batches handed after that go to work again (a writer
  // that failed says so for each).
  void Hand();

  // Hands what is filled and waits until the thread is idle; raises as
  // Hand does.
  void Finish();

 private:
  void Run();
  void RaiseError(std::unique_lock<std::mutex>& lock);

  Work work_;
  RowBatch filling_;
  RowBatch working_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool busy_ = false;  // working_ holds a batch not yet done
  bool stop_ = false;
  std::exception_ptr error_;
  std::thread thread_;  // started with the first batch
};

}  // namespace platform::data::dbase
