#include "platform/runtime/work_behind.h"

namespace platform {

HandOffThread::HandOffThread(std::function<void()> work, std::size_t depth)
    : work_(std::move(work)), depth_(depth == 0 ? 1 : depth) {}

HandOffThread::~HandOffThread() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void HandOffThread::RaiseError(std::unique_lock<std::mutex>& lock) {
  if (!error_) return;
  const std::exception_ptr error = error_;
  lock.unlock();
  std::rethrow_exception(error);
}

void HandOffThread::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return pending_ < depth_ || error_; });
  RaiseError(lock);  // nothing goes in after a failure
  ++pending_;
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  lock.unlock();
  changed_.notify_all();
}

void HandOffThread::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return pending_ == 0; });
  RaiseError(lock);
}

void HandOffThread::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Work given before the stop is still done: what a caller handed
    // over is what it gets.
    changed_.wait(lock, [&] { return pending_ > 0 || stop_; });
    if (pending_ == 0) return;
    const bool given_up = error_ != nullptr;
    lock.unlock();
    std::exception_ptr error;
    if (!given_up) {
      try {
        work_();
      } catch (...) {
        error = std::current_exception();
      }
    }
    lock.lock();
    if (error) {
      error_ = error;
      failed_.store(true, std::memory_order_relaxed);
    }
    --pending_;
    changed_.notify_all();
  }
}

}  // namespace platform
