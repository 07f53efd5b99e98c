#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Statements carried out on a thread of their own while the caller builds
// the next ones: the caller fills one batch while the thread works on the
// other.
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

class WriteBehind {
 public:
  using Work = std::function<void(const StatementBatch&)>;

  // work runs on the thread, one batch at a time, in the order handed.
  explicit WriteBehind(Work work);
  // Waits for the batch in work, then ends the thread; never throws.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // The batch the caller fills; empty after each Hand.
  StatementBatch& filling() { return filling_; }

  // Passes the filled batch to the thread, first waiting while it still
  // works on the one before. Once work has raised, nothing more goes to
  // it: this and every later call drop the filled batch and raise that
  // first error again.
  void Hand();

  // Whether work has raised (Hand then says what): cheap enough to ask
  // after every statement.
  bool failed() const { return failed_.load(std::memory_order_relaxed); }

  // Hands what is filled and waits until the thread is idle; raises as
  // Hand does.
  void Finish();

 private:
  void Run();
  void RaiseError(std::unique_lock<std::mutex>& lock);

  Work work_;
  StatementBatch filling_;
  StatementBatch working_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool busy_ = false;  // working_ holds a batch not yet done
  bool stop_ = false;
  std::exception_ptr error_;
  std::atomic<bool> failed_{false};
  std::thread thread_;  // started with the first batch
};

}  // namespace platform::data::dbase
