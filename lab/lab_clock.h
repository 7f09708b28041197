// The clocks a log runs on: the steady clock for its schedule, the system clock for the rows'
// times, and the sleep between samples. The program uses the real ones; the scheduler's tests
// inject a clock that moves only when told.
#pragma once

#include <chrono>

namespace ralvex::lab {

using SteadyTime = std::chrono::steady_clock::time_point;
using WallTime = std::chrono::system_clock::time_point;
using Millis = std::chrono::milliseconds;

inline double Seconds(std::chrono::nanoseconds span) {
  return std::chrono::duration<double>(span).count();
}

class LabClock {
 public:
  virtual ~LabClock() = default;
  virtual SteadyTime Now() const = 0;
  virtual WallTime WallNow() const = 0;
  virtual void SleepFor(std::chrono::nanoseconds span) = 0;
};

class SystemLabClock final : public LabClock {
 public:
  SteadyTime Now() const override;
  WallTime WallNow() const override;
  void SleepFor(std::chrono::nanoseconds span) override;
};

}  // namespace ralvex::lab
