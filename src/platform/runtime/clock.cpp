#include "platform/runtime/clock.h"

#include <ctime>

namespace platform {
namespace {

class RealClock : public Clock {
 public:
  LocalTime Now() const override {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
            tm.tm_hour,        tm.tm_min,     tm.tm_sec};
  }
  Ticks Elapsed() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
};

}  // namespace

const Clock& SystemClock() {
  static const RealClock clock;
  return clock;
}

}  // namespace platform
