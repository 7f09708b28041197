#include "hostdev/tty_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace ralvex::hostdev {
namespace {

// Only the events a tty can tell about are waited for.
constexpr uint32_t WAITABLE_EVENTS = EV_RXCHAR;

std::chrono::steady_clock::time_point After(std::chrono::steady_clock::time_point now,
                                            uint64_t milliseconds) {
  return now + std::chrono::milliseconds(milliseconds);
}

}  // namespace

TtyFile::TtyFile(int fd, PortIdentity identity, std::string latencyAttribute,
                 std::function<void()> onClosed)
    : fd_(fd),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      waitWakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      identity_(std::move(identity)),
      latencyAttribute_(std::move(latencyAttribute)),
      onClosed_(std::move(onClosed)) {
  service_ = std::thread([this] { Serve(); });
}

TtyFile::~TtyFile() {
  Close();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (waitWakeFd_ >= 0) ::close(waitWakeFd_);
}

void TtyFile::Wake(int fd) {
  uint64_t one = 1;
  ssize_t ignored = ::write(fd, &one, sizeof one);
  (void)ignored;
}

void TtyFile::Finish(Completions& done) {
  for (const Completion& c : done) c.request->Complete(c.status, c.count);
  done.clear();
}

// ---- the service thread ----

void TtyFile::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    Completions done;
    const Clock::time_point now = Clock::now();
    StepLocked(now, &done);
    short events = 0;
    if (!hungUp_ && !reads_.empty()) events |= POLLIN;
    if (!hungUp_ && !writes_.empty()) events |= POLLOUT;
    const int timeout = done.empty() ? PollTimeoutLocked(now) : 0;
    lock.unlock();
    // Completions outside the lock: one may start the next request at once.
    Finish(done);
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {events != 0 ? fd_ : -1, events, 0}};
    int ready = ::poll(fds, 2, timeout);
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
      (void)ignored;
    }
    lock.lock();
    if (ready > 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) sawHangUp_ = true;
  }
}

int TtyFile::PollTimeoutLocked(Clock::time_point now) const {
  Clock::time_point next = Clock::time_point::max();
  if (!reads_.empty() && reads_.front().started) {
    next = std::min({next, reads_.front().totalDue, reads_.front().intervalDue});
  }
  if (!writes_.empty() && writes_.front().started) next = std::min(next, writes_.front().due);
  if (next == Clock::time_point::max()) return -1;
  if (next <= now) return 0;
  auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
  return static_cast<int>(std::min<int64_t>(wait, 60'000));
}

void TtyFile::StepLocked(Clock::time_point now, Completions* done) {
  ServeReadsLocked(now, done);
  ServeWritesLocked(now, done);
  sawHangUp_ = false;
}

void TtyFile::HangUpLocked(Completions* done) {
  hungUp_ = true;
  for (const PendingRead& r : reads_) {
    done->push_back({r.request, STATUS_DEVICE_NOT_CONNECTED, r.filled});
  }
  reads_.clear();
  for (const PendingWrite& w : writes_) {
    done->push_back({w.request, STATUS_DEVICE_NOT_CONNECTED, w.sent});
  }
  writes_.clear();
  Wake(waitWakeFd_);
}

void TtyFile::ServeReadsLocked(Clock::time_point now, Completions* done) {
  while (!reads_.empty() && !hungUp_) {
    PendingRead& read = reads_.front();
    const uint32_t wanted = read.request->Length();
    // The rules in force now; only the total time-out is fixed when the read starts.
    const devside::ReadPlan plan = devside::PlanRead(timeouts_, wanted);
    if (!read.started) {
      read.started = true;
      if (plan.totalMs > 0) read.totalDue = After(now, plan.totalMs);
    }
    while (read.filled < wanted) {
      ssize_t n = ::read(fd_, read.request->Buffer() + read.filled, wanted - read.filled);
      if (n > 0) {
        read.filled += static_cast<uint32_t>(n);
        if (plan.intervalMs > 0) read.intervalDue = After(now, plan.intervalMs);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN && !sawHangUp_) break;
      // 0, EIO or a hang-up: the far side is gone.
      HangUpLocked(done);
      return;
    }
    if (plan.Complete(read.filled, wanted)) {
      done->push_back({read.request, 0, read.filled});
    } else if (now >= read.totalDue || now >= read.intervalDue) {
      done->push_back({read.request, STATUS_TIMEOUT, read.filled});
    } else {
      return;
    }
    reads_.pop_front();
  }
}

void TtyFile::ServeWritesLocked(Clock::time_point now, Completions* done) {
  while (!writes_.empty() && !hungUp_) {
    PendingWrite& write = writes_.front();
    const uint32_t length = write.request->Length();
    if (!write.started) {
      write.started = true;
      const uint64_t total = devside::WriteTimeoutMs(timeouts_, length);
      if (total > 0) write.due = After(now, total);
    }
    while (write.sent < length) {
      ssize_t n = ::write(fd_, write.request->Buffer() + write.sent, length - write.sent);
      if (n > 0) {
        write.sent += static_cast<uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN && !sawHangUp_) break;
      HangUpLocked(done);
      return;
    }
    if (write.sent == length) {
      done->push_back({write.request, 0, write.sent});
    } else if (now >= write.due) {
      done->push_back({write.request, STATUS_TIMEOUT, write.sent});
    } else {
      return;
    }
    writes_.pop_front();
  }
}

// ---- requests from the platform ----

template <typename Pending>
void TtyFile::Enqueue(posix::IoRequest& request, std::deque<Pending>& queue) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool gone = closed_ || hungUp_;
  if (gone || request.Length() == 0) {
    lock.unlock();
    request.Complete(gone ? STATUS_DEVICE_NOT_CONNECTED : 0, 0);
    return;
  }
  queue.push_back({&request});
  Wake(wakeFd_);
}

void TtyFile::StartRead(posix::IoRequest& request) {
  Enqueue(request, reads_);
}

void TtyFile::StartWrite(posix::IoRequest& request) {
  Enqueue(request, writes_);
}

void TtyFile::Cancel(posix::IoRequest& request) {
  Completions done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto read = std::find_if(reads_.begin(), reads_.end(),
                             [&](const PendingRead& r) { return r.request == &request; });
    if (read != reads_.end()) {
      done.push_back({read->request, STATUS_CANCELLED, read->filled});
      reads_.erase(read);
    }
    auto write = std::find_if(writes_.begin(), writes_.end(),
                              [&](const PendingWrite& w) { return w.request == &request; });
    if (write != writes_.end()) {
      done.push_back({write->request, STATUS_CANCELLED, write->sent});
      writes_.erase(write);
    }
    Wake(wakeFd_);
  }
  Finish(done);
}

void TtyFile::Closing() {
  std::lock_guard<std::mutex> lock(mutex_);
  closing_ = true;
  Wake(waitWakeFd_);
}

void TtyFile::Close() {
  Completions done;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_) return;
    closed_ = true;
    closing_ = true;
    stopping_ = true;
    Wake(wakeFd_);
    Wake(waitWakeFd_);
    waitsDone_.wait(lock, [this] { return waiters_ == 0; });
    // The platform cancels everything first; whatever a caller outside it left goes now.
    for (const PendingRead& r : reads_) done.push_back({r.request, STATUS_CANCELLED, r.filled});
    for (const PendingWrite& w : writes_) done.push_back({w.request, STATUS_CANCELLED, w.sent});
    reads_.clear();
    writes_.clear();
  }
  if (service_.joinable()) service_.join();
  Finish(done);
  ioctl(fd_, TIOCNXCL);
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
  if (onClosed_) std::exchange(onClosed_, nullptr)();
}

// ---- comm-event waits ----

uint32_t TtyFile::WaitForEvent(uint32_t* events) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (waitMask_ == 0) return ERROR_INVALID_PARAMETER;  // nothing could ever end the wait
  const uint64_t generation = maskGeneration_;
  if (waiters_++ == 0 && !closing_ && !hungUp_) {
    // A wake-up left from a mask change nobody waited through.
    uint64_t count;
    ssize_t ignored = ::read(waitWakeFd_, &count, sizeof count);
    (void)ignored;
  }
  uint32_t result = 0;
  for (;;) {
    if (closing_) {
      result = ERROR_OPERATION_ABORTED;
      break;
    }
    if (hungUp_) {
      result = ERROR_DEVICE_NOT_CONNECTED;
      break;
    }
    if (maskGeneration_ != generation) {
      *events = 0;
      break;
    }
    int waiting = 0;
    if ((waitMask_ & EV_RXCHAR) && ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0) {
      *events = EV_RXCHAR;
      break;
    }
    const bool watchInput = (waitMask_ & WAITABLE_EVENTS) != 0;
    lock.unlock();
    pollfd fds[2] = {{waitWakeFd_, POLLIN, 0}, {watchInput ? fd_ : -1, POLLIN, 0}};
    ::poll(fds, 2, -1);
    lock.lock();
    if (fds[1].revents & (POLLHUP | POLLERR)) {
      result = ERROR_DEVICE_NOT_CONNECTED;
      break;
    }
  }
  if (--waiters_ == 0) {
    // The last waiter takes the wake-up away, unless it is the close's, which stays for good.
    if (!closing_ && !hungUp_) {
      uint64_t count;
      ssize_t ignored = ::read(waitWakeFd_, &count, sizeof count);
      (void)ignored;
    }
    waitsDone_.notify_all();
  }
  return result;
}

}  // namespace ralvex::hostdev
