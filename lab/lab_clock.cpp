#include "lab/lab_clock.h"

#include <thread>

namespace ralvex::lab {

SteadyTime SystemLabClock::Now() const {
  return std::chrono::steady_clock::now();
}

WallTime SystemLabClock::WallNow() const {
  return std::chrono::system_clock::now();
}

void SystemLabClock::SleepFor(std::chrono::nanoseconds span) {
  std::this_thread::sleep_for(span);
}

}  // namespace ralvex::lab
