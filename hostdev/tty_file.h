// One open bridge port: the DeviceFile behind a handle on a real device. Control requests map to
// termios2 and the tty ioctls; reads and writes run on the file's own service thread, which
// polls the tty and applies the bridge driver's serial time-out rules (devside/serial_timeouts.h).
// Reads are served in order, the time-outs of each counting from when it reaches the front.
// When the tty hangs up (unplugged, the far end of a pseudo-terminal closed) everything pending
// and everything after fails with STATUS_DEVICE_NOT_CONNECTED.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "devside/request_rows.h"
#include "devside/serial_timeouts.h"
#include "hostdev/host_identity.h"
#include "platform/posix/devices.h"

namespace ralvex::hostdev {

class TtyFile final : public posix::DeviceFile {
 public:
  // Takes `fd` (open, raw, locked). `latencyAttribute` is the sysfs file of the port's latency
  // timer, empty when its driver has none. `onClosed` runs once the fd is closed.
  TtyFile(int fd, PortIdentity identity, std::string latencyAttribute,
          std::function<void()> onClosed);
  ~TtyFile() override;
  TtyFile(const TtyFile&) = delete;
  TtyFile& operator=(const TtyFile&) = delete;

  uint32_t Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outLength,
                   uint32_t* returned) override;
  void StartRead(posix::IoRequest& request) override;
  void StartWrite(posix::IoRequest& request) override;
  void Cancel(posix::IoRequest& request) override;
  void Close() override;
  void Closing() override;

 private:
  using Clock = std::chrono::steady_clock;

  struct PendingRead {
    posix::IoRequest* request = nullptr;
    uint32_t filled = 0;
    bool started = false;  // at the front: its time-outs run
    Clock::time_point totalDue = Clock::time_point::max();
    Clock::time_point intervalDue = Clock::time_point::max();
  };
  struct PendingWrite {
    posix::IoRequest* request = nullptr;
    uint32_t sent = 0;
    bool started = false;
    Clock::time_point due = Clock::time_point::max();
  };
  struct Completion {
    posix::IoRequest* request;
    uint32_t status;
    uint32_t count;
  };
  using Completions = std::vector<Completion>;

  void Serve();
  // With the lock held: moves bytes, ends requests that are done or due.
  void StepLocked(Clock::time_point now, Completions* done);
  void ServeReadsLocked(Clock::time_point now, Completions* done);
  void ServeWritesLocked(Clock::time_point now, Completions* done);
  void HangUpLocked(Completions* done);
  int PollTimeoutLocked(Clock::time_point now) const;
  // Queues `request` on `queue` for the service thread, or ends it now: at once when empty,
  // as not connected when the file is closed or hung up.
  template <typename Pending>
  void Enqueue(posix::IoRequest& request, std::deque<Pending>& queue);
  void Wake(int fd);
  static void Finish(Completions& done);

  // One row per slot a tty can carry: the shortest buffers it takes and what answers it
  // (tty_requests.cpp).
  using RequestCall = devside::RequestCall;
  using RequestRow = devside::RequestRow<TtyFile>;
  static const RequestRow REQUEST_ROWS[];
  static const devside::RequestDispatcher<TtyFile>& Dispatcher();

  uint32_t QueryText(RequestCall& call, const std::string& text);
  uint32_t DeviceInfo(RequestCall& call);
  uint32_t SetModemLine(bool dtr, bool on);
  uint32_t SetTimeouts(RequestCall& call);
  uint32_t GetTimeouts(RequestCall& call);
  uint32_t QueueStatus(RequestCall& call);
  uint32_t ModemStatus(RequestCall& call);
  uint32_t SetLatency(uint8_t milliseconds);
  uint32_t GetLatency(RequestCall& call);
  uint32_t SetWaitMask(uint32_t mask);
  uint32_t GetWaitMask(RequestCall& call);
  uint32_t WaitEvent(RequestCall& call);
  uint32_t WaitForEvent(uint32_t* events);  // tty_file.cpp

  const int fd_;
  const int wakeFd_;      // the service thread's poll
  const int waitWakeFd_;  // comm-event waits: readable once the mask changes or the file closes
  const PortIdentity identity_;
  const std::string latencyAttribute_;
  std::function<void()> onClosed_;

  std::mutex mutex_;
  std::condition_variable waitsDone_;
  bool stopping_ = false;
  bool closed_ = false;
  bool closing_ = false;
  bool hungUp_ = false;
  bool sawHangUp_ = false;  // the last poll reported a hang-up
  std::deque<PendingRead> reads_;
  std::deque<PendingWrite> writes_;
  devside::SerialTimeouts timeouts_;
  // What a tty without modem lines or latency attribute remembers of the requests.
  bool dtr_ = false;
  bool rts_ = false;
  uint8_t latency_ = 16;
  uint32_t waitMask_ = 0;
  uint64_t maskGeneration_ = 0;
  int waiters_ = 0;

  std::thread service_;
};

}  // namespace ralvex::hostdev
