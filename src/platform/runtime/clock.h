#pragma once

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

// The clock behind the time-named staging file and the dBase header date.
// Tests set it; the program uses SystemClock().
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() const = 0;
};

const Clock& SystemClock();

// A clock that always answers the time it was given.
class FixedClock : public Clock {
 public:
  explicit FixedClock(const LocalTime& time) : time_(time) {}
  LocalTime Now() const override { return time_; }
  void Set(const LocalTime& time) { time_ = time; }

 private:
  LocalTime time_;
};

}  // namespace platform
