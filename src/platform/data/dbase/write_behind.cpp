#include "platform/data/dbase/write_behind.h"

#include <utility>

namespace platform::data::dbase {

WriteBehind::WriteBehind(Work work) : work_(std::move(work)) {}

WriteBehind::~WriteBehind() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void WriteBehind::RaiseError(std::unique_lock<std::mutex>& lock) {
  if (!error_) return;
  const std::exception_ptr error = error_;
  lock.unlock();
  std::rethrow_exception(error);
}

void WriteBehind::Hand() {
  if (filling_.count() == 0) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !busy_; });
  if (error_) {
    // Nothing goes in after a failure.
    filling_.Clear();
    RaiseError(lock);
  }
  std::swap(filling_, working_);
  busy_ = true;
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  lock.unlock();
  changed_.notify_all();
  filling_.Clear();
}

void WriteBehind::Finish() {
  Hand();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !busy_; });
  RaiseError(lock);
}

void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // A batch handed before the stop is still written: the rows a caller
    // handed over are the rows the table keeps.
    changed_.wait(lock, [&] { return busy_ || stop_; });
    if (!busy_) return;
    const bool given_up = error_ != nullptr;
    lock.unlock();
    std::exception_ptr error;
    if (!given_up) {
      try {
        work_(working_);
      } catch (...) {
        error = std::current_exception();
      }
    }
    lock.lock();
    if (error) {
      error_ = error;
      failed_.store(true, std::memory_order_relaxed);
    }
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace platform::data::dbase
