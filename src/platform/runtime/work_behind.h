#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Work carried out on a thread of its own while the caller prepares the
// next: the caller fills one batch while the thread works on those handed
// before.
namespace platform {

// The thread and its hand-off, whatever the batches hold.
class HandOffThread {
 public:
  // work runs on the thread once for every Pass, in turn; at most depth
  // passes wait or run at a time.
  HandOffThread(std::function<void()> work, std::size_t depth);
  // Waits for the work in hand, then ends the thread; never throws.
  ~HandOffThread();
  HandOffThread(const HandOffThread&) = delete;
  HandOffThread& operator=(const HandOffThread&) = delete;

  // Waits while depth passes wait or run. Once the work has raised,
  // raises that first error again, this time and every later one; else
  // counts one more pass for the thread.
  void Pass();
  // Waits until the thread is idle; raises as Pass does.
  void Wait();
  // Whether the work has raised: cheap enough to ask at every step.
  bool failed() const { return failed_.load(std::memory_order_relaxed); }

 private:
  void Run();
  void RaiseError(std::unique_lock<std::mutex>& lock);

  std::function<void()> work_;
  std::size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t pending_ = 0;  // passes not yet done
  bool stop_ = false;
  std::exception_ptr error_;
  std::atomic<bool> failed_{false};
  std::thread thread_;  // started with the first Pass
};

// Batches of work for a thread: the caller fills one while the thread
// works on those handed before. Batch has count() (0: nothing to hand)
// and Clear().
template <typename Batch>
class WorkBehind {
 public:
  using Work = std::function<void(const Batch&)>;

  // work runs on the thread, one batch at a time, in the order handed; at
  // most depth batches wait or are worked on while the caller fills the
  // next (more ride out the turns the thread takes with others).
  explicit WorkBehind(Work work, std::size_t depth = 1)
      : work_(std::move(work)), slots_(std::max<std::size_t>(depth, 1) + 1), thread_([this] { WorkNext(); }, depth) {}

  // The batch the caller fills; empty after each Hand.
  Batch& filling() { return slots_[filling_]; }

  // Passes the filled batch to the thread, first waiting while depth
  // batches are still to be done. Once work has raised, nothing more goes
  // to it: this and every later call drop the filled batch and raise that
  // first error again.
  void Hand() {
    if (filling().count() == 0) return;
    try {
      thread_.Pass();
    } catch (...) {
      filling().Clear();
      throw;
    }
    // The next slot is one the thread is done with: at most depth of the
    // depth + 1 are handed and not done.
    filling_ = (filling_ + 1) % slots_.size();
    filling().Clear();
  }

  // Whether work has raised (Hand then says what).
  bool failed() const { return thread_.failed(); }

  // Hands what is filled and waits until the thread is idle; raises as
  // Hand does.
  void Finish() {
    Hand();
    thread_.Wait();
  }

 private:
  // On the thread: each index is moved by one side only; past the batch
  // even when its work raises.
  void WorkNext() {
    const std::size_t slot = working_;
    working_ = (working_ + 1) % slots_.size();
    work_(slots_[slot]);
  }

  Work work_;
  std::vector<Batch> slots_;  // a ring: the filling one, then those handed
  std::size_t filling_ = 0;
  std::size_t working_ = 0;
  HandOffThread thread_;  // last: ended before the batches go
};

}  // namespace platform
