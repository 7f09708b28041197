#include "sim/timer_queue.h"

namespace ralvex::sim {

TimerQueue::~TimerQueue() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->timers.clear();
    state_->due_of.clear();
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
    id = state_->next_id++;
    wake = state_->timers.empty() || due < state_->timers.begin()->first.first;
    state_->timers.emplace(std::make_pair(due, id), std::move(callback));
    state_->due_of.emplace(id, due);
    if (!thread_.joinable()) {
      thread_ = std::thread(&TimerQueue::Run, state_);
      state_->thread_id = thread_.get_id();
    }
  }
  if (wake) state_->changed.notify_all();
  return id;
}

bool TimerQueue::Cancel(uint64_t id) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  auto it = state_->due_of.find(id);
  if (it == state_->due_of.end()) return false;
  state_->timers.erase(std::make_pair(it->second, id));
  state_->due_of.erase(it);
  return true;
}

bool TimerQueue::OnTimerThread() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->thread_id == std::this_thread::get_id();
}

void TimerQueue::Run(std::shared_ptr<State> state) {
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
    state->due_of.erase(first->first.second);
    state->timers.erase(first);
    lock.unlock();
    callback();
    callback = nullptr;  // what it captured is released outside the lock too
    lock.lock();
  }
}

}  // namespace ralvex::sim
