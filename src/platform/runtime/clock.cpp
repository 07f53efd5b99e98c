#include "platform/runtime/clock.h"

#include "platform/runtime/current_time.h"

namespace platform {
namespace {

class RealClock : public Clock {
 public:
  LocalTime Now() const override { return CurrentLocalTime(); }
  Ticks Elapsed() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
};

}  // namespace

const Clock& SystemClock() {
  static const RealClock clock;
  return clock;
}

}  // namespace platform
