// The emulated tester's sense of time: a monotonic clock within a run, the wall clock between
// runs (a tester stays powered while the program is not running). Tests inject their own.
#pragma once

#include <cstdint>
#include <memory>

namespace ralvex::sim {

class TesterClock {
 public:
  virtual ~TesterClock() = default;
  // Milliseconds from any fixed point; never goes back.
  virtual uint64_t MonotonicMs() const = 0;
  // Milliseconds since 1970 (what a state file records).
  virtual int64_t WallMs() const = 0;
};

// The system's clocks.
std::shared_ptr<TesterClock> SystemTesterClock();

}  // namespace ralvex::sim
