// SIGINT and SIGTERM ask a run to stop. The handler only counts the request in an atomic; the
// run's loops look at the count at least every 100 ms. One request ends the run in order (the load
// back to 0 mA, the summary); a second SIGINT ends it at once.
#pragma once

#include <atomic>

namespace ralvex::lab {

// Counts stop requests: SIGTERM counts one, each SIGINT one.
class StopRequests {
 public:
  void Request() { count_.fetch_add(1, std::memory_order_relaxed); }
  int Count() const { return count_.load(std::memory_order_relaxed); }
  bool Stopping() const { return Count() >= 1; }
  // A second request: end now, leaving out the steps that talk to the tester.
  bool Urgent() const { return Count() >= 2; }

 private:
  std::atomic<int> count_{0};
  static_assert(std::atomic<int>::is_always_lock_free);
};

// The process's requests, counted by the handlers that InstallStopHandlers puts in place.
StopRequests& ProcessStopRequests();
void InstallStopHandlers();

}  // namespace ralvex::lab
