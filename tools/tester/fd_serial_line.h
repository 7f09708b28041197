// The line the emulated tester answers on, over a file descriptor: bytes go out at once, or
// after a delay in the order they were scheduled (a tester that answers late).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/peer.h"

namespace ralvex::tester_tool {

class FdSerialLine final : public sim::SerialLine {
 public:
  explicit FdSerialLine(int fd);
  ~FdSerialLine();
  FdSerialLine(const FdSerialLine&) = delete;
  FdSerialLine& operator=(const FdSerialLine&) = delete;

  void SendToHost(const uint8_t* data, size_t length) override;
  void SendToHostAfter(uint32_t delayMs, const uint8_t* data, size_t length) override;

 private:
  using Clock = std::chrono::steady_clock;
  void RunDelayed();

  const int fd_;
  std::mutex writeMutex_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  // Keyed by due time and then by order of scheduling: equal times keep their order.
  std::multimap<Clock::time_point, std::vector<uint8_t>> delayed_;
  Clock::time_point lastDue_{};
  std::thread sender_;
};

}  // namespace ralvex::tester_tool
