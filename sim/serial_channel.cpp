#include "sim/serial_channel.h"

#include <algorithm>
#include <utility>

#include "sim/bridge_device.h"
#include "sim/wire_model.h"

namespace ralvex::sim {
namespace {

using Clock = TimerQueue::Clock;

}  // namespace

SerialChannel::SerialChannel(bool wireModel, size_t packetBytes, std::optional<uint64_t> byteBudget,
                             uint32_t readFailures, Hooks hooks)
    : wireModel_(wireModel),
      hooks_(std::move(hooks)),
      packetiser_(packetBytes),
      readFailures_(readFailures),
      budget_(byteBudget) {}

SerialChannel::~SerialChannel() = default;

void SerialChannel::Run(Completions& done, bool exhausted) {
  if (exhausted && hooks_.onExhausted) hooks_.onExhausted();
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
  if (*budget_ == 0 && !budgetSpent_) {
    budgetSpent_ = true;
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
    if (wireModel_) {
      // One byte after the other on the line, each landing in the chip as its stop bit ends.
      const Clock::time_point start = std::max(Clock::now(), rxFree_);
      for (size_t i = 0; i < length; ++i) packetiser_.Land(start + WireTime(i + 1, baud_), data[i]);
      rxFree_ = start + WireTime(length, baud_);
      PumpPacketsLocked(&done);
    } else {
      ArriveLocked(data, length, &done);
    }
    exhausted = std::exchange(exhaustSignal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::SendToHostAfter(uint32_t delayMs, const uint8_t* data, size_t length) {
  if (data == nullptr || length == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!connected_) return;
  Clock::time_point due = std::max(Clock::now() + std::chrono::milliseconds(delayMs), lastDelayed_);
  lastDelayed_ = due;
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

void SerialChannel::PumpPacketsLocked(Completions* done) {
  std::vector<uint8_t> sent;
  packetiser_.TakeSent(Clock::now(), &sent);
  // A device off the bus takes nothing in: the packets are lost.
  if (!sent.empty() && connected_) ArriveLocked(sent.data(), sent.size(), done);

  const std::optional<Clock::time_point> next = packetiser_.NextSend();
  if (!next || (pumpTimer_ != 0 && pumpDue_ <= *next)) return;
  if (pumpTimer_ != 0) timers_.Cancel(pumpTimer_);
  pumpDue_ = *next;
  pumpTimer_ = timers_.Schedule(*next, [this] { OnPumpTimer(); });
}

void SerialChannel::OnPumpTimer() {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pumpTimer_ = 0;
    PumpPacketsLocked(&done);
    exhausted = std::exchange(exhaustSignal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::ArriveLocked(const uint8_t* data, size_t length, Completions* done) {
  size_t room = RECEIVE_QUEUE_CAPACITY - std::min(receive_.size(), RECEIVE_QUEUE_CAPACITY);
  size_t taken = std::min(length, room);
  uint32_t events = 0;
  if (taken < length) {
    commErrors_ |= CE_RXOVER;  // the rest is lost, and the host can learn so
    events |= EV_ERR;
  }
  if (taken > 0) {
    receive_.insert(receive_.end(), data, data + taken);
    events |= EV_RXCHAR;
    eventStatus_ |= devside::EVENT_STATUS_RXCHAR;
    if (packetiser_.EventCharEnabled() &&
        std::find(data, data + taken, packetiser_.EventChar()) != data + taken) {
      events |= EV_RXFLAG;
    }
  }
  if (events & waitMask_) {
    waitHistory_ |= events & waitMask_;
    eventsChanged_.notify_all();
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
    if (session != session_ || !connected_ || budgetSpent_) {
      done.push_back({&request, STATUS_DEVICE_NOT_CONNECTED, 0});
    } else if (readFailures_ > 0) {
      if (readFailures_ != EVERY_READ) --readFailures_;
      done.push_back({&request, STATUS_IO_DEVICE_ERROR, 0});
    } else if (length == 0) {
      done.push_back({&request, 0, 0});
    } else {
      PendingRead read;
      read.request = &request;
      read.id = nextId_++;
      read.file = file;
      read.wanted = length;
      read.plan = devside::PlanRead(timeouts_, length);
      uint64_t id = read.id;
      reads_.push_back(read);
      ServeReadsLocked(&done);
      auto it = std::find_if(reads_.begin(), reads_.end(),
                             [id](const PendingRead& r) { return r.id == id; });
      if (it != reads_.end()) {
        if (it->plan.immediate) {
          FinishReadLocked(it, 0, &done);
        } else if (it->plan.totalMs > 0) {
          it->totalTimer =
              timers_.Schedule(Clock::now() + std::chrono::milliseconds(it->plan.totalMs),
                               [this, id] { OnReadTimer(id, 0); });
        }
      }
    }
    exhausted = std::exchange(exhaustSignal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::ServeReadsLocked(Completions* done) {
  while (!reads_.empty() && !stopped_ && !budgetSpent_ && !receive_.empty()) {
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
      exhaustSignal_ = true;
      FinishReadLocked(reads_.begin(), read.filled == read.wanted ? 0 : STATUS_DEVICE_NOT_CONNECTED,
                       done);
      break;
    }
    if (read.plan.Complete(read.filled, read.wanted)) {
      FinishReadLocked(reads_.begin(), 0, done);
      continue;
    }
    if (read.plan.intervalMs > 0) {
      if (read.intervalTimer != 0) timers_.Cancel(read.intervalTimer);
      uint64_t id = read.id;
      // A fresh timer id each time tells a stale expiry from the current one.
      uint64_t generation = nextId_++;
      read.intervalTimer =
          timers_.Schedule(Clock::now() + std::chrono::milliseconds(read.plan.intervalMs),
                           [this, id, generation] { OnReadTimer(id, generation); });
      intervalGeneration_[id] = generation;
    }
    break;
  }
}

void SerialChannel::FinishReadLocked(std::deque<PendingRead>::iterator it, uint32_t status,
                                     Completions* done) {
  if (it->totalTimer != 0) timers_.Cancel(it->totalTimer);
  if (it->intervalTimer != 0) timers_.Cancel(it->intervalTimer);
  intervalGeneration_.erase(it->id);
  done->push_back({it->request, status, it->filled});
  reads_.erase(it);
}

void SerialChannel::OnReadTimer(uint64_t readId, uint64_t generation) {
  Completions done;
  bool exhausted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(reads_.begin(), reads_.end(),
                           [readId](const PendingRead& r) { return r.id == readId; });
    if (it == reads_.end()) return;
    if (generation != 0) {
      auto current = intervalGeneration_.find(readId);
      if (current == intervalGeneration_.end() || current->second != generation) return;
    }
    FinishReadLocked(it, STATUS_TIMEOUT, &done);
    ServeReadsLocked(&done);
    exhausted = std::exchange(exhaustSignal_, false);
  }
  Run(done, exhausted);
}

// ---- writes ----

void SerialChannel::StartWrite(posix::IoRequest& request, uint64_t file, uint64_t session) {
  Completions done;
  bool exhausted;
  const uint8_t* deliver = nullptr;
  uint32_t deliverLength = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    uint32_t length = request.Length();
    if (session != session_ || !connected_ || budgetSpent_) {
      done.push_back({&request, STATUS_DEVICE_NOT_CONNECTED, 0});
    } else if (length == 0) {
      done.push_back({&request, 0, 0});
    } else {
      uint32_t count = length;
      uint32_t status = 0;
      Clock::time_point now = Clock::now();
      Clock::time_point start = std::max(now, txFree_);
      Clock::time_point due = start + WireTime(count, baud_);
      if (wireModel_) {
        const uint64_t limitMs = devside::WriteTimeoutMs(timeouts_, length);
        if (limitMs > 0 && now + std::chrono::milliseconds(limitMs) < due) {
          due = now + std::chrono::milliseconds(limitMs);
          count =
              static_cast<uint32_t>(std::min<uint64_t>(count, BytesInWireTime(due - start, baud_)));
          status = STATUS_TIMEOUT;
        }
      }
      uint32_t allowed;
      if (TakeBudgetLocked(count, &allowed)) exhaustSignal_ = true;
      if (allowed < count) status = STATUS_DEVICE_NOT_CONNECTED;
      count = allowed;
      if (!wireModel_ || count == 0) {
        deliver = request.Buffer();
        deliverLength = count;
        done.push_back({&request, status, count});
        if (count > 0 && (waitMask_ & EV_TXEMPTY) && writes_.empty()) {
          waitHistory_ |= EV_TXEMPTY;
          eventsChanged_.notify_all();
        }
      } else {
        txFree_ = start + WireTime(count, baud_);
        PendingWrite write;
        write.request = &request;
        write.id = nextId_++;
        write.file = file;
        write.count = count;
        write.status = status;
        uint64_t id = write.id;
        write.timer = timers_.Schedule(due, [this, id] { OnWriteDue(id); });
        writes_.push_back(write);
        transmitBytes_ += count;
      }
    }
    exhausted = std::exchange(exhaustSignal_, false);
  }
  if (deliverLength > 0 && hooks_.toPeer) hooks_.toPeer(deliver, deliverLength);
  Run(done, exhausted);
}

void SerialChannel::OnWriteDue(uint64_t writeId) {
  posix::IoRequest* request = nullptr;
  uint32_t count = 0;
  uint32_t status = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(writes_.begin(), writes_.end(),
                           [writeId](const PendingWrite& w) { return w.id == writeId; });
    if (it == writes_.end()) return;
    request = it->request;
    count = it->count;
    status = it->status;
    transmitBytes_ -= count;
    writes_.erase(it);
    if (writes_.empty() && (waitMask_ & EV_TXEMPTY)) {
      waitHistory_ |= EV_TXEMPTY;
      eventsChanged_.notify_all();
    }
  }
  if (count > 0 && hooks_.toPeer) hooks_.toPeer(request->Buffer(), count);
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
      transmitBytes_ -= write->count;
      done.push_back({write->request, STATUS_CANCELLED, 0});
      writes_.erase(write);
    }
    exhausted = std::exchange(exhaustSignal_, false);
  }
  Run(done, exhausted);
}

void SerialChannel::CloseFile(uint64_t file) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = reads_.begin(); it != reads_.end();) {
      if (it->file == file) {
        if (it->totalTimer != 0) timers_.Cancel(it->totalTimer);
        if (it->intervalTimer != 0) timers_.Cancel(it->intervalTimer);
        intervalGeneration_.erase(it->id);
        done.push_back({it->request, STATUS_CANCELLED, it->filled});
        it = reads_.erase(it);
      } else {
        ++it;
      }
    }
    for (auto it = writes_.begin(); it != writes_.end();) {
      if (it->file == file) {
        timers_.Cancel(it->timer);
        transmitBytes_ -= it->count;
        done.push_back({it->request, STATUS_CANCELLED, 0});
        it = writes_.erase(it);
      } else {
        ++it;
      }
    }
    if (waiters_.count(file) > 0) {
      closedFiles_.insert(file);
      eventsChanged_.notify_all();
    } else {
      closedFiles_.erase(file);
    }
    ServeReadsLocked(&done);
  }
  Run(done, false);
}

void SerialChannel::AbortEventWaits(uint64_t file) {
  std::lock_guard<std::mutex> lock(mutex_);
  // Marked even with no waiter yet: a call already past the platform's gate may still be on its
  // way into WaitForEvent. CloseFile drops the mark.
  closedFiles_.insert(file);
  eventsChanged_.notify_all();
}

void SerialChannel::EndSession(uint64_t nextSession, bool connected) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    session_ = nextSession;
    connected_ = connected;
    for (PendingRead& read : reads_) {
      if (read.totalTimer != 0) timers_.Cancel(read.totalTimer);
      if (read.intervalTimer != 0) timers_.Cancel(read.intervalTimer);
      done.push_back({read.request, STATUS_DEVICE_NOT_CONNECTED, read.filled});
    }
    reads_.clear();
    intervalGeneration_.clear();
    for (PendingWrite& write : writes_) {
      timers_.Cancel(write.timer);
      done.push_back({write.request, STATUS_DEVICE_NOT_CONNECTED, 0});
    }
    writes_.clear();
    transmitBytes_ = 0;
    receive_.clear();
    packetiser_.Clear();
    waitHistory_ = 0;
    eventStatus_ = 0;
    commErrors_ = 0;
    Clock::time_point now = Clock::now();
    txFree_ = rxFree_ = now;
    eventsChanged_.notify_all();
  }
  Run(done, false);
}

void SerialChannel::SetConnected(bool connected) {
  std::lock_guard<std::mutex> lock(mutex_);
  connected_ = connected;
}

void SerialChannel::ResetBudget(std::optional<uint64_t> byteBudget) {
  std::lock_guard<std::mutex> lock(mutex_);
  budget_ = byteBudget;
  budgetSpent_ = false;
}

uint64_t SerialChannel::Session() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_;
}

// ---- settings and status ----

void SerialChannel::SetTimeouts(const devside::SerialTimeouts& timeouts) {
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = timeouts;
}

devside::SerialTimeouts SerialChannel::Timeouts() const {
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
    exhausted = std::exchange(exhaustSignal_, false);
  }
  Run(done, exhausted);
}

bool SerialChannel::Stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

void SerialChannel::SetWireParameters(uint32_t baud, uint8_t latencyMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  baud_ = baud;
  packetiser_.SetLatency(latencyMs);
}

void SerialChannel::SetEventChar(uint8_t eventChar, bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  packetiser_.SetEventChar(eventChar, enabled);
}

void SerialChannel::FailReads(uint32_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  readFailures_ = count;
}

void SerialChannel::Purge(bool rx, bool tx) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (rx) {
      // The chip's own buffer goes too, with any bytes still on their way to it.
      receive_.clear();
      packetiser_.Clear();
      rxFree_ = Clock::now();
    }
    if (tx) {
      for (PendingWrite& write : writes_) {
        timers_.Cancel(write.timer);
        done.push_back({write.request, STATUS_CANCELLED, 0});
      }
      writes_.clear();
      transmitBytes_ = 0;
      txFree_ = Clock::now();
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
  return transmitBytes_;
}

uint32_t SerialChannel::TakeEventStatus() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(eventStatus_, 0);
}

uint32_t SerialChannel::TakeCommErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(commErrors_, 0);
}

// ---- comm events ----

void SerialChannel::SetWaitMask(uint32_t mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  waitMask_ = mask;
  waitHistory_ = 0;
  ++maskGeneration_;
  eventsChanged_.notify_all();
}

uint32_t SerialChannel::WaitMask() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return waitMask_;
}

void SerialChannel::RaiseEvents(uint32_t events, uint32_t eventStatus) {
  std::lock_guard<std::mutex> lock(mutex_);
  eventStatus_ |= eventStatus;
  if (events & waitMask_) {
    waitHistory_ |= events & waitMask_;
    eventsChanged_.notify_all();
  }
}

uint32_t SerialChannel::WaitForEvent(uint64_t file, uint64_t session, uint32_t* events) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (waitMask_ == 0) return ERROR_INVALID_PARAMETER;  // nothing could ever end the wait
  uint64_t generation = maskGeneration_;
  ++waiters_[file];
  uint32_t result = 0;
  for (;;) {
    if (session != session_) {
      result = ERROR_DEVICE_NOT_CONNECTED;
      break;
    }
    if (closedFiles_.count(file) > 0) {
      result = ERROR_OPERATION_ABORTED;
      break;
    }
    if (maskGeneration_ != generation) {
      *events = 0;
      break;
    }
    if (waitHistory_ & waitMask_) {
      *events = waitHistory_ & waitMask_;
      waitHistory_ &= ~*events;
      break;
    }
    eventsChanged_.wait(lock);
  }
  // The closed mark stays until CloseFile: a later call on a closing file must not wait either.
  if (--waiters_[file] == 0) waiters_.erase(file);
  return result;
}

}  // namespace ralvex::sim
