#include "tools/tester/fd_serial_line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace ralvex::tester_tool {
namespace {

constexpr int SEND_PATIENCE_MS = 1000;

}  // namespace

FdSerialLine::FdSerialLine(int fd) : fd_(fd), sender_([this] { RunDelayed(); }) {}

FdSerialLine::~FdSerialLine() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  sender_.join();
}

void FdSerialLine::SendToHost(const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  while (length > 0) {
    const ssize_t n = ::write(fd_, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // A host that stopped reading gets a moment; after that the bytes are dropped, as a
      // line with nobody listening would.
      pollfd out = {fd_, POLLOUT, 0};
      if (::poll(&out, 1, SEND_PATIENCE_MS) > 0) continue;
      return;
    }
    if (n <= 0) return;  // the host side is gone: what it would have read is lost with it
    data += n;
    length -= static_cast<size_t>(n);
  }
}

void FdSerialLine::SendToHostAfter(uint32_t delayMs, const uint8_t* data, size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Clock::time_point due =
      std::max(Clock::now() + std::chrono::milliseconds(delayMs), lastDue_);
  lastDue_ = due;
  delayed_.emplace(due, std::vector<uint8_t>(data, data + length));
  changed_.notify_all();
}

void FdSerialLine::RunDelayed() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (delayed_.empty()) {
      changed_.wait(lock);
      continue;
    }
    auto first = delayed_.begin();
    if (Clock::now() < first->first) {
      changed_.wait_until(lock, first->first);
      continue;
    }
    std::vector<uint8_t> bytes = std::move(first->second);
    delayed_.erase(first);
    lock.unlock();
    SendToHost(bytes.data(), bytes.size());
    lock.lock();
  }
}

}  // namespace ralvex::tester_tool
