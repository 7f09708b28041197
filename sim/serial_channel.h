// The data side of a simulated bridge device: the receive queue, the host's pending reads and
// writes, the serial time-outs, comm events and the byte-level faults. It is the SerialLine its
// peer talks back through.
//
// Every request completes exactly once, outside the channel's lock (a completion may re-enter the
// device from the platform). Requests carry the session they were started in; when the device
// leaves the bus the session ends and everything of it completes with
// STATUS_DEVICE_NOT_CONNECTED.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "devside/payloads.h"
#include "devside/serial_timeouts.h"
#include "platform/posix/devices.h"
#include "sim/peer.h"
#include "sim/timer_queue.h"
#include "sim/usb_packetiser.h"

namespace ralvex::sim {

class SerialChannel final : public SerialLine {
 public:
  // `toPeer` gets the bytes the host writes (outside the channel's lock); `onExhausted` runs
  // once the unplug budget is used up (outside the lock too).
  struct Hooks {
    std::function<void(const uint8_t*, size_t)> toPeer;
    std::function<void()> onExhausted;
  };

  // With `wireModel`, bytes take their time on the line in both directions, and bytes towards
  // the host leave the chip in USB packets of `packetBytes` (see UsbPacketiser).
  SerialChannel(bool wireModel, size_t packetBytes, std::optional<uint64_t> byteBudget,
                uint32_t readFailures, Hooks hooks);
  ~SerialChannel();
  SerialChannel(const SerialChannel&) = delete;
  SerialChannel& operator=(const SerialChannel&) = delete;

  // SerialLine: bytes from the peer.
  void SendToHost(const uint8_t* data, size_t length) override;
  void SendToHostAfter(uint32_t delayMs, const uint8_t* data, size_t length) override;

  // Host I/O of the file `file` opened in `session`.
  void StartRead(posix::IoRequest& request, uint64_t file, uint64_t session);
  void StartWrite(posix::IoRequest& request, uint64_t file, uint64_t session);
  void Cancel(posix::IoRequest& request);
  // A file closes: whatever it still has pending is cancelled and its comm-event waits end.
  void CloseFile(uint64_t file);
  // Ends the comm-event waits of `file` (they fail as aborted); its other requests go on.
  void AbortEventWaits(uint64_t file);

  // The device left the bus or restarted: the session ends, pending I/O fails, queued bytes
  // go. `connected` tells whether bytes from the peer are taken in from now on.
  void EndSession(uint64_t nextSession, bool connected);
  void SetConnected(bool connected);
  // A new unplug budget (nullopt: none), as after the device is plugged in again.
  void ResetBudget(std::optional<uint64_t> byteBudget);
  uint64_t Session() const;

  // Settings.
  void SetTimeouts(const devside::SerialTimeouts& timeouts);
  devside::SerialTimeouts Timeouts() const;
  void SetStopped(bool stopped);
  bool Stopped() const;
  void SetWireParameters(uint32_t baud, uint8_t latencyMs);
  void SetEventChar(uint8_t eventChar, bool enabled);
  void FailReads(uint32_t count);

  // Purges: RX empties the receive queue (pending reads keep waiting for new bytes); TX drops
  // output not yet on the wire (its writes complete cancelled).
  void Purge(bool rx, bool tx);

  size_t ReceiveCount() const;
  size_t TransmitCount() const;
  uint32_t TakeEventStatus();
  uint32_t TakeCommErrors();

  // Comm events (wait mask). Setting the mask ends waits in progress with an event word of 0.
  void SetWaitMask(uint32_t mask);
  uint32_t WaitMask() const;
  void RaiseEvents(uint32_t events, uint32_t eventStatus);
  // Blocks until an event of the mask occurs (or occurred since the last wait), the mask
  // changes, the file closes or the session ends. Returns a Win32 error code.
  uint32_t WaitForEvent(uint64_t file, uint64_t session, uint32_t* events);

 private:
  struct Completion {
    posix::IoRequest* request;
    uint32_t status;
    uint32_t count;
  };
  using Completions = std::vector<Completion>;

  struct PendingRead {
    posix::IoRequest* request = nullptr;
    uint64_t id = 0;
    uint64_t file = 0;
    uint32_t wanted = 0;
    uint32_t filled = 0;
    devside::ReadPlan plan;
    uint64_t totalTimer = 0;
    uint64_t intervalTimer = 0;
  };

  struct PendingWrite {
    posix::IoRequest* request = nullptr;
    uint64_t id = 0;
    uint64_t file = 0;
    uint32_t count = 0;   // bytes that reach the wire
    uint32_t status = 0;  // 0, or STATUS_TIMEOUT when the write time-out cuts it short
    uint64_t timer = 0;
  };

  // With the lock held.
  void ArriveLocked(const uint8_t* data, size_t length, Completions* done);
  void ServeReadsLocked(Completions* done);
  void FinishReadLocked(std::deque<PendingRead>::iterator it, uint32_t status, Completions* done);
  bool TakeBudgetLocked(uint32_t wanted, uint32_t* allowed);
  void OnReadTimer(uint64_t readId, uint64_t timerId);
  void OnWriteDue(uint64_t writeId);
  // Moves the packets sent by now into the receive queue and keeps one timer for the next.
  void PumpPacketsLocked(Completions* done);
  void OnPumpTimer();
  void Run(Completions& done, bool exhausted);

  const bool wireModel_;
  const Hooks hooks_;

  mutable std::mutex mutex_;
  std::condition_variable eventsChanged_;
  uint64_t session_ = 1;
  bool connected_ = true;
  std::deque<uint8_t> receive_;
  std::deque<PendingRead> reads_;
  std::deque<PendingWrite> writes_;
  uint64_t nextId_ = 1;
  devside::SerialTimeouts timeouts_;
  bool stopped_ = false;
  uint32_t baud_ = 9600;
  UsbPacketiser packetiser_;  // the chip's buffer towards the host, with the wire model
  uint64_t pumpTimer_ = 0;
  TimerQueue::Clock::time_point pumpDue_{};
  uint32_t readFailures_ = 0;
  std::optional<uint64_t> budget_;
  bool budgetSpent_ = false;
  bool exhaustSignal_ = false;  // the budget ran out: tell the device once the lock is free
  uint32_t commErrors_ = 0;
  uint32_t eventStatus_ = 0;
  uint32_t waitMask_ = 0;
  uint32_t waitHistory_ = 0;
  uint64_t maskGeneration_ = 0;
  std::map<uint64_t, uint64_t> intervalGeneration_;  // read id -> current interval timer
  std::map<uint64_t, int> waiters_;                  // file -> comm-event waits in progress
  std::set<uint64_t> closedFiles_;                   // closed files that still have waiters
  TimerQueue::Clock::time_point txFree_{};
  TimerQueue::Clock::time_point rxFree_{};
  TimerQueue::Clock::time_point lastDelayed_{};
  uint64_t transmitBytes_ = 0;

  // Last: destroyed first, so no timer runs into a half-destroyed channel.
  TimerQueue timers_;
};

}  // namespace ralvex::sim
