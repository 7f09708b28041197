#include "sim/serial_channel.h"

#include <algorithm>
#include <utility>

#include "sim/bridge_device.h"
#include "sim/wire_model.h"

namespace ralvex::sim {
namespace {

using Clock = TimerQueue::Clock;

// Total time-outs longer than this are taken as no limit (a timer that far out is never useful,
// and the product multiplier * length could overflow the clock).
constexpr uint64_t LONGEST_TIMEOUT_MS = 24ull * 24 * 3600 * 1000;

}  // namespace

SerialChannel::SerialChannel(bool wire_model, std::optional<uint64_t> byte_budget,
                             uint32_t read_failures, Hooks hooks)
    : wire_model_(wire_model),
      hooks_(std::move(hooks)),
      read_failures_(read_failures),
      budget_(byte_budget) {}

SerialChannel::~SerialChannel() = default;

void SerialChannel::Run(Completions& done, bool exhausted) {
  if (exhausted && hooks_.on_exhausted) hooks_.on_exhausted();
  // Last: a completion may let the owner go away.
  for (const Completion& c : done) c.request->Complete(c.status, c.count);
}

bool SerialChannel::TakeBudgetLocked(uint32_t wanted, uint32_t* allowed) {
  if (!budget_) {
    *allowed = wanted;
    return false;
  }
  *allowed = static_cast<uint32_t>(std::min<uint64_t>(wanted, *budget_));
  *budget_ -= *allowed;
  if (*budget_ == 0 && !budget_spent_) {
    budget_spent_ = true;
    return true;
  }
  return false;
}

// ---- bytes from the peer ----

void SerialChannel::SendToHost(const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0) return;
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_) return;
    if (wire_model_) {
      Clock::time_point now = Clock::now();
      Clock::time_point start = std::max(now, rx_free_);
      rx_free_ = start + WireTime(length, baud_);
      Clock::time_point arrival = rx_free_ + std::chrono::milliseconds(latency_ms_);
      arrival = std::max(arrival, last_arrival_);
      last_arrival_ = arrival;
      std::vector<uint8_t> bytes(data, data + length);
      timers_.Schedule(arrival, [this, session = session_, bytes = std::move(bytes)]() mutable {
        OnArrival(session, std::move(bytes));
      });
    } else {
      ArriveLocked(data, length, &done);
    }
    exhausted = std::exchange(exhaust_signal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::SendToHostAfter(uint32_t delay_ms, const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!connected_) return;
  Clock::time_point due =
      std::max(Clock::now() + std::chrono::milliseconds(delay_ms), last_delayed_);
  last_delayed_ = due;
  std::vector<uint8_t> bytes(data, data + length);
  timers_.Schedule(due, [this, session = session_, bytes = std::move(bytes)] {
    {
      std::lock_guard<std::mutex> inner(mutex_);
      if (session != session_ || !connected_) return;
    }
    // The session may end in between; SendToHost then finds the device disconnected or the
    // bytes land in the new session's queue, as bytes in flight on a real line would.
    SendToHost(bytes.data(), bytes.size());
  });
}

void SerialChannel::OnArrival(uint64_t session, std::vector<uint8_t> bytes) {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (session != session_ || !connected_) return;
    ArriveLocked(bytes.data(), bytes.size(), &done);
    exhausted = std::exchange(exhaust_signal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::ArriveLocked(const uint8_t* data, size_t length, Completions* done) {
  size_t room = RECEIVE_QUEUE_CAPACITY - std::min(receive_.size(), RECEIVE_QUEUE_CAPACITY);
  size_t taken = std::min(length, room);
  uint32_t events = 0;
  if (taken < length) {
    comm_errors_ |= CE_RXOVER;  // the rest is lost, and the host can learn so
    events |= EV_ERR;
  }
  if (taken > 0) {
    receive_.insert(receive_.end(), data, data + taken);
    events |= EV_RXCHAR;
    event_status_ |= EVENT_STATUS_RXCHAR;
    if (event_char_enabled_ && std::find(data, data + taken, event_char_) != data + taken) {
      events |= EV_RXFLAG;
    }
  }
  if (events & wait_mask_) {
    wait_history_ |= events & wait_mask_;
    events_changed_.notify_all();
  }
  ServeReadsLocked(done);
}

// ---- reads ----

void SerialChannel::StartRead(posix::IoRequest& request, uint64_t file, uint64_t session) {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t length = request.Length();
    if (session != session_ || !connected_ || budget_spent_) {
      done.push_back({&request, STATUS_DEVICE_NOT_CONNECTED, 0});
    } else if (read_failures_ > 0) {
      if (read_failures_ != EVERY_READ) --read_failures_;
      done.push_back({&request, STATUS_IO_DEVICE_ERROR, 0});
    } else if (length == 0) {
      done.push_back({&request, 0, 0});
    } else {
      const SerialTimeouts& t = timeouts_;
      bool immediate =
          t.read_interval == MAXDWORD && t.read_multiplier == 0 && t.read_constant == 0;
      bool first_byte = t.read_interval == MAXDWORD && t.read_multiplier == MAXDWORD &&
                        t.read_constant > 0 && t.read_constant < MAXDWORD;
      uint64_t total_ms = 0;
      if (first_byte) {
        total_ms = t.read_constant;
      } else if (!immediate) {
        total_ms = uint64_t{t.read_multiplier} * length + t.read_constant;
        if (total_ms > LONGEST_TIMEOUT_MS) total_ms = 0;
      }
      PendingRead read;
      read.request = &request;
      read.id = next_id_++;
      read.file = file;
      read.wanted = length;
      read.first_byte = first_byte;
      read.interval_ms =
          (t.read_interval != 0 && t.read_interval != MAXDWORD) ? t.read_interval : 0;
      uint64_t id = read.id;
      reads_.push_back(read);
      ServeReadsLocked(&done);
      auto it = std::find_if(reads_.begin(), reads_.end(),
                             [id](const PendingRead& r) { return r.id == id; });
      if (it != reads_.end()) {
        if (immediate) {
          FinishReadLocked(it, 0, &done);
        } else if (total_ms > 0) {
          it->total_timer = timers_.Schedule(Clock::now() + std::chrono::milliseconds(total_ms),
                                             [this, id] { OnReadTimer(id, 0); });
        }
      }
    }
    exhausted = std::exchange(exhaust_signal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::ServeReadsLocked(Completions* done) {
  while (!reads_.empty() && !stopped_ && !budget_spent_ && !receive_.empty()) {
    PendingRead& read = reads_.front();
    uint32_t take =
        static_cast<uint32_t>(std::min<size_t>(receive_.size(), read.wanted - read.filled));
    uint32_t allowed;
    bool spent = TakeBudgetLocked(take, &allowed);
    std::copy_n(receive_.begin(), allowed, read.request->Buffer() + read.filled);
    receive_.erase(receive_.begin(), receive_.begin() + allowed);
    read.filled += allowed;
    if (spent) {
      // The device leaves now: a read that got all it wanted still succeeds.
      exhaust_signal_ = true;
      FinishReadLocked(reads_.begin(), read.filled == read.wanted ? 0 : STATUS_DEVICE_NOT_CONNECTED,
                       done);
      break;
    }
    if (read.filled == read.wanted || read.first_byte) {
      FinishReadLocked(reads_.begin(), 0, done);
      continue;
    }
    if (read.interval_ms > 0) {
      if (read.interval_timer != 0) timers_.Cancel(read.interval_timer);
      uint64_t id = read.id;
      // A fresh timer id each time tells a stale expiry from the current one.
      uint64_t generation = next_id_++;
      read.interval_timer =
          timers_.Schedule(Clock::now() + std::chrono::milliseconds(read.interval_ms),
                           [this, id, generation] { OnReadTimer(id, generation); });
      interval_generation_[id] = generation;
    }
    break;
  }
}

void SerialChannel::FinishReadLocked(std::deque<PendingRead>::iterator it, uint32_t status,
                                     Completions* done) {
  if (it->total_timer != 0) timers_.Cancel(it->total_timer);
  if (it->interval_timer != 0) timers_.Cancel(it->interval_timer);
  interval_generation_.erase(it->id);
  done->push_back({it->request, status, it->filled});
  reads_.erase(it);
}

void SerialChannel::OnReadTimer(uint64_t read_id, uint64_t generation) {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(reads_.begin(), reads_.end(),
                           [read_id](const PendingRead& r) { return r.id == read_id; });
    if (it == reads_.end()) return;
    if (generation != 0) {
      auto current = interval_generation_.find(read_id);
      if (current == interval_generation_.end() || current->second != generation) return;
    }
    FinishReadLocked(it, STATUS_TIMEOUT, &done);
    ServeReadsLocked(&done);
    exhausted = std::exchange(exhaust_signal_, false);
  }
  Run(done, exhausted);
}

// ---- writes ----

void SerialChannel::StartWrite(posix::IoRequest& request, uint64_t file, uint64_t session) {
  Completions done;
  bool exhausted;
  const uint8_t* deliver = nullptr;
  uint32_t deliver_length = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t length = request.Length();
    if (session != session_ || !connected_ || budget_spent_) {
      done.push_back({&request, STATUS_DEVICE_NOT_CONNECTED, 0});
    } else if (length == 0) {
      done.push_back({&request, 0, 0});
    } else {
      uint32_t count = length;
      uint32_t status = 0;
      Clock::time_point now = Clock::now();
      Clock::time_point start = std::max(now, tx_free_);
      Clock::time_point due = start + WireTime(count, baud_);
      if (wire_model_) {
        uint64_t limit_ms =
            uint64_t{timeouts_.write_multiplier} * length + timeouts_.write_constant;
        if (limit_ms > 0 && limit_ms <= LONGEST_TIMEOUT_MS &&
            now + std::chrono::milliseconds(limit_ms) < due) {
          due = now + std::chrono::milliseconds(limit_ms);
          count =
              static_cast<uint32_t>(std::min<uint64_t>(count, BytesInWireTime(due - start, baud_)));
          status = STATUS_TIMEOUT;
        }
      }
      uint32_t allowed;
      if (TakeBudgetLocked(count, &allowed)) exhaust_signal_ = true;
      if (allowed < count) status = STATUS_DEVICE_NOT_CONNECTED;
      count = allowed;
      if (!wire_model_ || count == 0) {
        deliver = request.Buffer();
        deliver_length = count;
        done.push_back({&request, status, count});
        if (count > 0 && (wait_mask_ & EV_TXEMPTY) && writes_.empty()) {
          wait_history_ |= EV_TXEMPTY;
          events_changed_.notify_all();
        }
      } else {
        tx_free_ = start + WireTime(count, baud_);
        PendingWrite write;
        write.request = &request;
        write.id = next_id_++;
        write.file = file;
        write.count = count;
        write.status = status;
        uint64_t id = write.id;
        write.timer = timers_.Schedule(due, [this, id] { OnWriteDue(id); });
        writes_.push_back(write);
        transmit_bytes_ += count;
      }
    }
    exhausted = std::exchange(exhaust_signal_, false);
  }
  if (deliver_length > 0 && hooks_.to_peer) hooks_.to_peer(deliver, deliver_length);
  Run(done, exhausted);
}

void SerialChannel::OnWriteDue(uint64_t write_id) {
  posix::IoRequest* request = nullptr;
  uint32_t count = 0;
  uint32_t status = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(writes_.begin(), writes_.end(),
                           [write_id](const PendingWrite& w) { return w.id == write_id; });
    if (it == writes_.end()) return;
    request = it->request;
    count = it->count;
    status = it->status;
    transmit_bytes_ -= count;
    writes_.erase(it);
    if (writes_.empty() && (wait_mask_ & EV_TXEMPTY)) {
      wait_history_ |= EV_TXEMPTY;
      events_changed_.notify_all();
    }
  }
  if (count > 0 && hooks_.to_peer) hooks_.to_peer(request->Buffer(), count);
  request->Complete(status, count);
}

// ---- cancel, close, sessions ----

void SerialChannel::Cancel(posix::IoRequest& request) {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto read = std::find_if(reads_.begin(), reads_.end(),
                             [&request](const PendingRead& r) { return r.request == &request; });
    if (read != reads_.end()) {
      FinishReadLocked(read, STATUS_CANCELLED, &done);
      ServeReadsLocked(&done);
    }
    auto write = std::find_if(writes_.begin(), writes_.end(),
                              [&request](const PendingWrite& w) { return w.request == &request; });
    if (write != writes_.end()) {
      timers_.Cancel(write->timer);
      transmit_bytes_ -= write->count;
      done.push_back({write->request, STATUS_CANCELLED, 0});
      writes_.erase(write);
    }
    exhausted = std::exchange(exhaust_signal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::CloseFile(uint64_t file) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = reads_.begin(); it != reads_.end();) {
      if (it->file == file) {
        if (it->total_timer != 0) timers_.Cancel(it->total_timer);
        if (it->interval_timer != 0) timers_.Cancel(it->interval_timer);
        interval_generation_.erase(it->id);
        done.push_back({it->request, STATUS_CANCELLED, it->filled});
        it = reads_.erase(it);
      } else {
        ++it;
      }
    }
    for (auto it = writes_.begin(); it != writes_.end();) {
      if (it->file == file) {
        timers_.Cancel(it->timer);
        transmit_bytes_ -= it->count;
        done.push_back({it->request, STATUS_CANCELLED, 0});
        it = writes_.erase(it);
      } else {
        ++it;
      }
    }
    if (waiters_.count(file) > 0) {
      closed_files_.insert(file);
      events_changed_.notify_all();
    } else {
      closed_files_.erase(file);
    }
    ServeReadsLocked(&done);
  }
  Run(done, false);
}

void SerialChannel::AbortEventWaits(uint64_t file) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Marked even with no waiter yet: a call already past the platform's gate may still be on its
  // way into WaitForEvent. CloseFile drops the mark.
  closed_files_.insert(file);
  events_changed_.notify_all();
}

void SerialChannel::EndSession(uint64_t next_session, bool connected) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_ = next_session;
    connected_ = connected;
    for (PendingRead& read : reads_) {
      if (read.total_timer != 0) timers_.Cancel(read.total_timer);
      if (read.interval_timer != 0) timers_.Cancel(read.interval_timer);
      done.push_back({read.request, STATUS_DEVICE_NOT_CONNECTED, read.filled});
    }
    reads_.clear();
    interval_generation_.clear();
    for (PendingWrite& write : writes_) {
      timers_.Cancel(write.timer);
      done.push_back({write.request, STATUS_DEVICE_NOT_CONNECTED, 0});
    }
    writes_.clear();
    transmit_bytes_ = 0;
    receive_.clear();
    wait_history_ = 0;
    event_status_ = 0;
    comm_errors_ = 0;
    Clock::time_point now = Clock::now();
    tx_free_ = rx_free_ = last_arrival_ = now;
    events_changed_.notify_all();
  }
  Run(done, false);
}

void SerialChannel::SetConnected(bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  connected_ = connected;
}

void SerialChannel::ResetBudget(std::optional<uint64_t> byte_budget) {
  std::lock_guard<std::mutex> lock(mutex_);
  budget_ = byte_budget;
  budget_spent_ = false;
}

uint64_t SerialChannel::Session() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_;
}

// ---- settings and status ----

void SerialChannel::SetTimeouts(const SerialTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = timeouts;
}

SerialTimeouts SerialChannel::Timeouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return timeouts_;
}

void SerialChannel::SetStopped(bool stopped) {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = stopped;
    ServeReadsLocked(&done);
    exhausted = std::exchange(exhaust_signal_, false);
  }
  Run(done, exhausted);
}

bool SerialChannel::Stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

void SerialChannel::SetWireParameters(uint32_t baud, uint8_t latency_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  baud_ = baud;
  latency_ms_ = latency_ms;
}

void SerialChannel::SetEventChar(uint8_t event_char, bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  event_char_ = event_char;
  event_char_enabled_ = enabled;
}

void SerialChannel::FailReads(uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  read_failures_ = count;
}

void SerialChannel::Purge(bool rx, bool tx) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (rx) receive_.clear();
    if (tx) {
      for (PendingWrite& write : writes_) {
        timers_.Cancel(write.timer);
        done.push_back({write.request, STATUS_CANCELLED, 0});
      }
      writes_.clear();
      transmit_bytes_ = 0;
      tx_free_ = Clock::now();
    }
  }
  Run(done, false);
}

size_t SerialChannel::ReceiveCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return receive_.size();
}

size_t SerialChannel::TransmitCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transmit_bytes_;
}

uint32_t SerialChannel::TakeEventStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(event_status_, 0);
}

uint32_t SerialChannel::TakeCommErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(comm_errors_, 0);
}

// ---- comm events ----

void SerialChannel::SetWaitMask(uint32_t mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  wait_mask_ = mask;
  wait_history_ = 0;
  ++mask_generation_;
  events_changed_.notify_all();
}

uint32_t SerialChannel::WaitMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wait_mask_;
}

void SerialChannel::RaiseEvents(uint32_t events, uint32_t event_status) {
  std::lock_guard<std::mutex> lock(mutex_);
  event_status_ |= event_status;
  if (events & wait_mask_) {
    wait_history_ |= events & wait_mask_;
    events_changed_.notify_all();
  }
}

uint32_t SerialChannel::WaitForEvent(uint64_t file, uint64_t session, uint32_t* events) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait_mask_ == 0) return ERROR_INVALID_PARAMETER;  // nothing could ever end the wait
  uint64_t generation = mask_generation_;
  ++waiters_[file];
  uint32_t result = 0;
  for (;;) {
    if (session != session_) {
      result = ERROR_DEVICE_NOT_CONNECTED;
      break;
    }
    if (closed_files_.count(file) > 0) {
      result = ERROR_OPERATION_ABORTED;
      break;
    }
    if (mask_generation_ != generation) {
      *events = 0;
      break;
    }
    if (wait_history_ & wait_mask_) {
      *events = wait_history_ & wait_mask_;
      wait_history_ &= ~*events;
      break;
    }
    events_changed_.wait(lock);
  }
  // The closed mark stays until CloseFile: a later call on a closing file must not wait either.
  if (--waiters_[file] == 0) waiters_.erase(file);
  return result;
}

}  // namespace ralvex::sim
