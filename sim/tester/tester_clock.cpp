#include "sim/tester/tester_clock.h"

#include <chrono>

namespace ralvex::sim {

namespace {

class SystemClock final : public TesterClock {
 public:
  uint64_t MonotonicMs() const override {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  }
  int64_t WallMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }
};

}  // namespace

std::shared_ptr<TesterClock> SystemTesterClock() {
  static const std::shared_ptr<TesterClock> clock = std::make_shared<SystemClock>();
  return clock;
}

}  // namespace ralvex::sim
