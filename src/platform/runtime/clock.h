#pragma once

#include <chrono>

namespace platform {

// Local wall-clock time, broken down. Month 1-12, day 1-31.
struct LocalTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The clock behind the time-named staging file, the dBase header date and
// the intervals at which a window or a terminal is redrawn. Tests set it;
// the program uses SystemClock().
class Clock {
 public:
  using Ticks = std::chrono::steady_clock::duration;
  virtual ~Clock() = default;
  virtual LocalTime Now() const = 0;
  // Time since an arbitrary start that never goes back, for intervals
  // (wall-clock time may jump).
  virtual Ticks Elapsed() const = 0;
};

const Clock& SystemClock();

// A clock that answers the time it was given; its intervals move only
// when a test advances them.
class FixedClock : public Clock {
 public:
  explicit FixedClock(const LocalTime& time) : time_(time) {}
  LocalTime Now() const override { return time_; }
  Ticks Elapsed() const override { return elapsed_; }
  void Set(const LocalTime& time) { time_ = time; }
  void Advance(Ticks by) { elapsed_ += by; }

 private:
  LocalTime time_;
  Ticks elapsed_{};
};

}  // namespace platform
