#include "platform/data/zip/read_ahead.h"

#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::data::zip {
namespace {

constexpr std::size_t kSlots = 4;
constexpr std::size_t kSlotSize = std::size_t{256} << 10;

class ReadAheadReader : public EntryReader {
 public:
  explicit ReadAheadReader(std::unique_ptr<EntryReader> inner) : inner_(std::move(inner)) {
    for (Slot& slot : slots_) slot.bytes.resize(kSlotSize);
    worker_ = std::thread([this] { Work(); });
  }

  ~ReadAheadReader() override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
  }

  std::size_t Read(char* out, std::size_t n) override {
    Slot& slot = slots_[next_read_ % kSlots];
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return slot.full; });
    }
    // The bytes read before an error come first, as inner gave them.
    if (slot.taken == slot.size && slot.error) std::rethrow_exception(slot.error);
    const std::size_t take = std::min(n, slot.size - slot.taken);
    std::memcpy(out, slot.bytes.data() + slot.taken, take);
    slot.taken += take;
    if (slot.taken == slot.size && !slot.last) {
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        slot.full = false;
      }
      changed_.notify_all();
      ++next_read_;
    }
    return take;
  }

 private:
  struct Slot {
    std::vector<char> bytes;
    std::size_t size = 0;
    std::size_t taken = 0;
    bool full = false;   // filled by the worker, not yet emptied by the reader
    bool last = false;   // the end of the stream (or an error) is in it
    std::exception_ptr error;
  };

  // Fills slots in turn until the stream ends, fails, or the reader goes.
  void Work() {
    for (std::size_t k = 0;; ++k) {
      Slot& slot = slots_[k % kSlots];
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || !slot.full; });
        if (stop_) return;
      }
      slot.size = slot.taken = 0;
      try {
        while (slot.size < kSlotSize) {
          const std::size_t got = inner_->Read(slot.bytes.data() + slot.size, kSlotSize - slot.size);
          if (got == 0) {
            slot.last = true;
            break;
          }
          slot.size += got;
        }
      } catch (...) {
        slot.error = std::current_exception();
        slot.last = true;
      }
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        slot.full = true;
      }
      changed_.notify_all();
      if (slot.last) return;
    }
  }

  std::unique_ptr<EntryReader> inner_;
  Slot slots_[kSlots];
  std::size_t next_read_ = 0;  // only the reader touches it
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace

std::unique_ptr<EntryReader> ReadAhead(std::unique_ptr<EntryReader> inner) {
  return std::make_unique<ReadAheadReader>(std::move(inner));
}

}  // namespace platform::data::zip
