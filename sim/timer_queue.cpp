#include "sim/timer_queue.h"

#include <sys/prctl.h>

namespace ralvex::sim {

TimerQueue::~TimerQueue() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->timers.clear();
    state_->dueOf.clear();
  }
  state_->changed.notify_all();
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // destroyed from a callback: the loop ends on its own state
    } else {
      thread_.join();
    }
  }
}

uint64_t TimerQueue::Schedule(Clock::time_point due, std::function<void()> callback) {
  uint64_t id;
  bool wake;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    // Shutting down (a callback scheduling while its owner goes away): dropped, like the rest.
    if (state_->stopping) return 0;
    id = state_->nextId++;
    wake = state_->timers.empty() || due < state_->timers.begin()->first.first;
    state_->timers.emplace(std::make_pair(due, id), std::move(callback));
    state_->dueOf.emplace(id, due);
    if (!thread_.joinable()) {
      thread_ = std::thread(&TimerQueue::Run, state_);
      state_->threadId = thread_.get_id();
    }
  }
  if (wake) state_->changed.notify_all();
  return id;
}

bool TimerQueue::Cancel(uint64_t id) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto it = state_->dueOf.find(id);
  if (it == state_->dueOf.end()) return false;
  state_->timers.erase(std::make_pair(it->second, id));
  state_->dueOf.erase(it);
  return true;
}

bool TimerQueue::OnTimerThread() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->threadId == std::this_thread::get_id();
}

void TimerQueue::Run(std::shared_ptr<State> state) {
  // A sleeping thread's wake-ups may come up to its timer slack late (50 us by default); the
  // line's bytes and packets are due at their moment, so this thread asks for none.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  std::unique_lock<std::mutex> lock(state->mutex);
  while (!state->stopping) {
    if (state->timers.empty()) {
      state->changed.wait(lock);
      continue;
    }
    auto first = state->timers.begin();
    Clock::time_point due = first->first.first;
    if (Clock::now() < due) {
      state->changed.wait_until(lock, due);
      continue;
    }
    std::function<void()> callback = std::move(first->second);
    state->dueOf.erase(first->first.second);
    state->timers.erase(first);
    lock.unlock();
    callback();
    callback = nullptr;  // what it captured is released outside the lock too
    lock.lock();
  }
}

}  // namespace ralvex::sim
