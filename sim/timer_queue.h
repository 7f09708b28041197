// A timer thread for one simulated device: runs callbacks when they fall due. The thread starts
// with the first timer and sleeps on a condition variable while nothing is due, so an idle device
// costs no CPU. The thread runs without timer slack, so callbacks run as close to their due time as
// the scheduler allows.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace ralvex::sim {

class TimerQueue {
 public:
  using Clock = std::chrono::steady_clock;

  TimerQueue() = default;
  // Stops the thread; callbacks not yet run are dropped. Safe from a callback as well.
  ~TimerQueue();
  TimerQueue(const TimerQueue&) = delete;
  TimerQueue& operator=(const TimerQueue&) = delete;

  // Runs `callback` on the timer thread at `due` (at once if it has passed). Timers due at the
  // same moment run in the order they were scheduled. Returns an id for Cancel, or 0 when the
  // queue is shutting down and the timer was dropped.
  uint64_t Schedule(Clock::time_point due, std::function<void()> callback);
  // Drops a timer that has not started; false if it ran, is running or never existed.
  bool Cancel(uint64_t id);
  // Whether the calling thread is the timer thread.
  bool OnTimerThread() const;

 private:
  // Shared with the thread, so that the queue may even be destroyed from one of its callbacks.
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    // Keyed by (due, id): ids grow, so equal due times keep their scheduling order.
    std::map<std::pair<Clock::time_point, uint64_t>, std::function<void()>> timers;
    std::map<uint64_t, Clock::time_point> dueOf;
    uint64_t nextId = 1;
    bool stopping = false;
    std::thread::id threadId;
  };
  static void Run(std::shared_ptr<State> state);

  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::thread thread_;
};

}  // namespace ralvex::sim
