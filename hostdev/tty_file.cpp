#include "hostdev/tty_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "hostdev/tty_line.h"

namespace ralvex::hostdev {
namespace {

constexpr uint32_t PRIMARY_REQUEST_BASE = 0x00220000;
constexpr uint32_t REQUEST_SLOT_COUNT = 126;

// The slots a tty can carry; every other request is refused.
enum Slot : uint32_t {
  SLOT_EVENT_STATUS = 36,
  SLOT_STATUS = 37,
  SLOT_SERIAL = 39,
  SLOT_DESCRIPTION = 40,
  SLOT_LOCATION = 41,
  SLOT_BAUD_RATE = 65,
  SLOT_DATA_CHARACTERISTICS = 67,
  SLOT_BREAK_ON = 68,
  SLOT_BREAK_OFF = 69,
  SLOT_SET_TIMEOUTS = 71,
  SLOT_GET_TIMEOUTS = 72,
  SLOT_SET_DTR = 73,
  SLOT_CLR_DTR = 74,
  SLOT_SET_RTS = 76,
  SLOT_CLR_RTS = 77,
  SLOT_SET_WAIT_MASK = 81,
  SLOT_WAIT_ON_MASK = 82,
  SLOT_PURGE = 83,
  SLOT_CHARS = 87,
  SLOT_FLOW_CONTROL = 89,
  SLOT_MODEM_STATUS = 90,
  SLOT_QUEUE_STATUS = 91,
  SLOT_SET_LATENCY = 92,
  SLOT_GET_LATENCY = 93,
  SLOT_SET_COMM_MASK = 97,
  SLOT_WAIT_COMM_EVENT = 98,
  SLOT_COMM_ERROR = 99,
  SLOT_DEVICE_INFO = 102,
  SLOT_DRIVER_VERSION = 111,
  SLOT_GET_COMM_MASK = 112,
  SLOT_PACKET_SIZE = 113,
  SLOT_COM_PORT = 114,
  SLOT_QUEUE_STATUS_EX = 118,
};

constexpr uint32_t IDENTITY_BYTES = 64;
constexpr uint32_t DEVICE_INFO_BYTES = 96;
constexpr uint32_t COMMTIMEOUTS_BYTES = 20;
constexpr uint32_t COMM_ERROR_BYTES = 16;
// What the driver-version request reports for this driver: 1.0.0.
constexpr uint32_t HOST_DRIVER_VERSION = 0x00010000;
constexpr uint32_t EVENT_STATUS_RXCHAR = 0x1;
// Modem status: the input lines in the bridge's low byte.
constexpr uint32_t MODEM_CTS = 0x10;
constexpr uint32_t MODEM_DSR = 0x20;
constexpr uint32_t MODEM_RING = 0x40;
constexpr uint32_t MODEM_DCD = 0x80;
// Only the events a tty can tell about are waited for.
constexpr uint32_t WAITABLE_EVENTS = EV_RXCHAR;
// Longer total time-outs are taken as none (the product could overflow the clock).
constexpr uint64_t LONGEST_TIMEOUT_MS = 24ull * 24 * 3600 * 1000;

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

struct Lengths {
  uint32_t in;
  uint32_t out;
};

Lengths MinimumLengths(uint32_t slot) {
  switch (slot) {
    case SLOT_EVENT_STATUS:
    case SLOT_MODEM_STATUS:
    case SLOT_QUEUE_STATUS:
    case SLOT_QUEUE_STATUS_EX:
    case SLOT_WAIT_ON_MASK:
    case SLOT_WAIT_COMM_EVENT:
    case SLOT_DRIVER_VERSION:
    case SLOT_GET_COMM_MASK:
    case SLOT_COM_PORT:
    case SLOT_LOCATION:
      return {0, 4};
    case SLOT_STATUS:
      return {0, 12};
    case SLOT_SERIAL:
    case SLOT_DESCRIPTION:
    case SLOT_GET_LATENCY:
      return {0, 1};
    case SLOT_BAUD_RATE:
    case SLOT_SET_WAIT_MASK:
    case SLOT_SET_COMM_MASK:
    case SLOT_PURGE:
    case SLOT_CHARS:
    case SLOT_FLOW_CONTROL:
      return {4, 0};
    case SLOT_DATA_CHARACTERISTICS:
      return {3, 0};
    case SLOT_SET_TIMEOUTS:
      return {8, 0};
    case SLOT_GET_TIMEOUTS:
      return {0, COMMTIMEOUTS_BYTES};
    case SLOT_SET_LATENCY:
      return {1, 0};
    case SLOT_COMM_ERROR:
      return {0, COMM_ERROR_BYTES};
    case SLOT_DEVICE_INFO:
      return {0, DEVICE_INFO_BYTES};
    case SLOT_PACKET_SIZE:
      return {0, 2};
    default:
      return {0, 0};
  }
}

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
  const SerialTimeouts& t = timeouts_;
  const bool immediate = t.readInterval == MAXDWORD && t.readMultiplier == 0 && t.readConstant == 0;
  const bool firstByte = t.readInterval == MAXDWORD && t.readMultiplier == MAXDWORD &&
                         t.readConstant > 0 && t.readConstant < MAXDWORD;
  const uint32_t interval =
      (t.readInterval != 0 && t.readInterval != MAXDWORD) ? t.readInterval : 0;
  while (!reads_.empty() && !hungUp_) {
    PendingRead& read = reads_.front();
    const uint32_t wanted = read.request->Length();
    if (!read.started) {
      read.started = true;
      uint64_t total = 0;
      if (firstByte) {
        total = t.readConstant;
      } else if (!immediate) {
        total = uint64_t{t.readMultiplier} * wanted + t.readConstant;
        if (total > LONGEST_TIMEOUT_MS) total = 0;
      }
      if (total > 0) read.totalDue = After(now, total);
    }
    while (read.filled < wanted) {
      ssize_t n = ::read(fd_, read.request->Buffer() + read.filled, wanted - read.filled);
      if (n > 0) {
        read.filled += static_cast<uint32_t>(n);
        if (interval > 0) read.intervalDue = After(now, interval);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN && !sawHangUp_) break;
      // 0, EIO or a hang-up: the far side is gone.
      HangUpLocked(done);
      return;
    }
    if (read.filled == wanted || immediate || (firstByte && read.filled > 0)) {
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
      uint64_t total = uint64_t{timeouts_.writeMultiplier} * length + timeouts_.writeConstant;
      if (total > 0 && total <= LONGEST_TIMEOUT_MS) write.due = After(now, total);
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

void TtyFile::StartRead(posix::IoRequest& request) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_ || hungUp_) {
    lock.unlock();
    request.Complete(STATUS_DEVICE_NOT_CONNECTED, 0);
    return;
  }
  if (request.Length() == 0) {
    lock.unlock();
    request.Complete(0, 0);
    return;
  }
  reads_.push_back({&request});
  Wake(wakeFd_);
}

void TtyFile::StartWrite(posix::IoRequest& request) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (closed_ || hungUp_) {
    lock.unlock();
    request.Complete(STATUS_DEVICE_NOT_CONNECTED, 0);
    return;
  }
  if (request.Length() == 0) {
    lock.unlock();
    request.Complete(0, 0);
    return;
  }
  writes_.push_back({&request});
  Wake(wakeFd_);
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

// ---- control requests ----

uint32_t TtyFile::Control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength, uint32_t* returned) {
  uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  *returned = 0;
  const auto* input = static_cast<const uint8_t*>(in);
  auto* output = static_cast<uint8_t*>(out);
  if ((input == nullptr && inLength > 0) || (output == nullptr && outLength > 0)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (code < PRIMARY_REQUEST_BASE || (code - PRIMARY_REQUEST_BASE) % 4 != 0 ||
      (code - PRIMARY_REQUEST_BASE) / 4 >= REQUEST_SLOT_COUNT) {
    return ERROR_INVALID_FUNCTION;
  }
  const uint32_t slot = (code - PRIMARY_REQUEST_BASE) / 4;
  const Lengths need = MinimumLengths(slot);
  if (inLength < need.in || outLength < need.out) return ERROR_INVALID_PARAMETER;
  return Dispatch(slot, input, inLength, output, outLength, returned);
}

uint32_t TtyFile::Dispatch(uint32_t slot, const uint8_t* in, uint32_t inLength, uint8_t* out,
                           uint32_t outLength, uint32_t* returned) {
  switch (slot) {
    case SLOT_SERIAL:
    case SLOT_DESCRIPTION:
    case SLOT_LOCATION:
    case SLOT_DEVICE_INFO:
    case SLOT_DRIVER_VERSION:
    case SLOT_PACKET_SIZE:
    case SLOT_COM_PORT:
      return Identity(slot, out, outLength, returned);

    case SLOT_BAUD_RATE:
      return SetTtyBaudRate(fd_, Get32(in));
    case SLOT_DATA_CHARACTERISTICS:
      return SetTtyDataCharacteristics(fd_, in[2], in[0], in[1]);
    case SLOT_FLOW_CONTROL:
      return SetTtyFlowControl(fd_, static_cast<uint16_t>(in[0] | (in[1] << 8)), in[2], in[3]);
    case SLOT_CHARS:
      // No event or error character on a tty: only "none" can be honoured.
      return (in[1] == 0 && in[3] == 0) ? 0 : ERROR_INVALID_FUNCTION;
    case SLOT_BREAK_ON:
    case SLOT_BREAK_OFF:
      return SetTtyBreak(fd_, slot == SLOT_BREAK_ON);
    case SLOT_SET_DTR:
    case SLOT_CLR_DTR:
    case SLOT_SET_RTS:
    case SLOT_CLR_RTS: {
      const bool dtr = slot == SLOT_SET_DTR || slot == SLOT_CLR_DTR;
      const bool on = slot == SLOT_SET_DTR || slot == SLOT_SET_RTS;
      bool supported = false;
      uint32_t error = SetTtyModemLine(fd_, dtr, on, &supported);
      if (error == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        (dtr ? dtr_ : rts_) = on;
      }
      return error;
    }
    case SLOT_PURGE: {
      const uint32_t mask = Get32(in);
      return PurgeTty(fd_, (mask & 1) != 0, (mask & 2) != 0);
    }
    case SLOT_SET_TIMEOUTS: {
      SerialTimeouts t;
      if (inLength == 8) {
        t.readConstant = Get32(in);
        t.writeConstant = Get32(in + 4);
      } else if (inLength == COMMTIMEOUTS_BYTES) {
        t.readInterval = Get32(in);
        t.readMultiplier = Get32(in + 4);
        t.readConstant = Get32(in + 8);
        t.writeMultiplier = Get32(in + 12);
        t.writeConstant = Get32(in + 16);
      } else {
        return ERROR_INVALID_PARAMETER;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      timeouts_ = t;
      return 0;
    }
    case SLOT_GET_TIMEOUTS: {
      std::lock_guard<std::mutex> lock(mutex_);
      Put32(out, timeouts_.readInterval);
      Put32(out + 4, timeouts_.readMultiplier);
      Put32(out + 8, timeouts_.readConstant);
      Put32(out + 12, timeouts_.writeMultiplier);
      Put32(out + 16, timeouts_.writeConstant);
      *returned = COMMTIMEOUTS_BYTES;
      return 0;
    }
    case SLOT_MODEM_STATUS: {
      uint32_t status = 0;
      if (uint32_t error = ModemStatus(&status)) return error;
      Put32(out, status);
      *returned = 4;
      return 0;
    }
    case SLOT_QUEUE_STATUS:
    case SLOT_QUEUE_STATUS_EX:
    case SLOT_STATUS:
    case SLOT_EVENT_STATUS:
    case SLOT_COMM_ERROR: {
      uint32_t rx = 0, tx = 0;
      if (uint32_t error = TtyQueueCounts(fd_, &rx, &tx)) return error;
      const uint32_t eventStatus = rx > 0 ? EVENT_STATUS_RXCHAR : 0;
      if (slot == SLOT_STATUS) {
        Put32(out, rx);
        Put32(out + 4, tx);
        Put32(out + 8, eventStatus);
        *returned = 12;
      } else if (slot == SLOT_COMM_ERROR) {
        // No line errors are known: the error word and the COMSTAT flags stay 0.
        std::memset(out, 0, COMM_ERROR_BYTES);
        Put32(out + 8, rx);
        Put32(out + 12, tx);
        *returned = COMM_ERROR_BYTES;
      } else {
        Put32(out, slot == SLOT_EVENT_STATUS ? eventStatus : rx);
        *returned = 4;
      }
      return 0;
    }
    case SLOT_SET_LATENCY:
      return SetLatency(in[0]);
    case SLOT_GET_LATENCY: {
      uint8_t value = 0;
      if (uint32_t error = GetLatency(&value)) return error;
      out[0] = value;
      *returned = 1;
      return 0;
    }
    case SLOT_SET_WAIT_MASK:
    case SLOT_SET_COMM_MASK: {
      std::lock_guard<std::mutex> lock(mutex_);
      waitMask_ = Get32(in);
      ++maskGeneration_;
      Wake(waitWakeFd_);
      return 0;
    }
    case SLOT_GET_COMM_MASK: {
      std::lock_guard<std::mutex> lock(mutex_);
      Put32(out, waitMask_);
      *returned = 4;
      return 0;
    }
    case SLOT_WAIT_ON_MASK:
    case SLOT_WAIT_COMM_EVENT: {
      uint32_t events = 0;
      if (uint32_t error = WaitForEvent(&events)) return error;
      Put32(out, events);
      *returned = 4;
      return 0;
    }
    default:
      // EEPROM, bit modes, vendor requests, USB parameters, resets: nothing a tty carries.
      return ERROR_INVALID_FUNCTION;
  }
}

uint32_t TtyFile::Identity(uint32_t slot, uint8_t* out, uint32_t outLength, uint32_t* returned) {
  switch (slot) {
    case SLOT_SERIAL:
    case SLOT_DESCRIPTION: {
      const std::string& text = slot == SLOT_SERIAL ? identity_.serial : identity_.description;
      if (outLength < text.size() + 1) return ERROR_INSUFFICIENT_BUFFER;
      std::memset(out, 0, std::min(outLength, IDENTITY_BYTES));
      std::memcpy(out, text.data(), text.size());
      // Counted without the terminator; the caller's zero-filled buffer supplies it.
      *returned = static_cast<uint32_t>(text.size());
      return 0;
    }
    case SLOT_LOCATION:
      Put32(out, identity_.location);
      *returned = 4;
      return 0;
    case SLOT_DEVICE_INFO: {
      uint8_t reply[DEVICE_INFO_BYTES] = {};
      Put32(reply + 4, identity_.chipCode);
      Put32(reply + 8, identity_.id);
      std::memcpy(reply + 16, identity_.serial.data(),
                  std::min<size_t>(identity_.serial.size(), IDENTITY_SERIAL_MAX));
      std::memcpy(reply + 32, identity_.description.data(),
                  std::min<size_t>(identity_.description.size(), IDENTITY_DESCRIPTION_MAX));
      std::memcpy(out, reply, sizeof reply);
      *returned = sizeof reply;
      return 0;
    }
    case SLOT_DRIVER_VERSION:
      Put32(out, HOST_DRIVER_VERSION);
      *returned = 4;
      return 0;
    case SLOT_PACKET_SIZE:
      out[0] = static_cast<uint8_t>(identity_.packetSize);
      out[1] = static_cast<uint8_t>(identity_.packetSize >> 8);
      *returned = 2;
      return 0;
    default:  // SLOT_COM_PORT: a tty is no COM port
      Put32(out, 0);
      *returned = 4;
      return 0;
  }
}

uint32_t TtyFile::ModemStatus(uint32_t* status) {
  int bits = 0;
  bool supported = false;
  if (uint32_t error = GetTtyModemLines(fd_, &bits, &supported)) return error;
  if (!supported) {
    // A line without modem lines (a pseudo-terminal) looks like a null-modem cable whose far
    // end is up.
    *status = MODEM_CTS | MODEM_DSR;
    return 0;
  }
  *status = ((bits & TIOCM_CTS) ? MODEM_CTS : 0) | ((bits & TIOCM_DSR) ? MODEM_DSR : 0) |
            ((bits & TIOCM_RNG) ? MODEM_RING : 0) | ((bits & TIOCM_CAR) ? MODEM_DCD : 0);
  return 0;
}

uint32_t TtyFile::SetLatency(uint8_t milliseconds) {
  if (!latencyAttribute_.empty()) {
    int fd = ::open(latencyAttribute_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE;
    char text[8];
    int length = std::snprintf(text, sizeof text, "%u\n", milliseconds);
    bool written = ::write(fd, text, static_cast<size_t>(length)) == length;
    ::close(fd);
    if (!written) return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  latency_ = milliseconds;
  return 0;
}

uint32_t TtyFile::GetLatency(uint8_t* milliseconds) {
  if (!latencyAttribute_.empty()) {
    int fd = ::open(latencyAttribute_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      char text[8] = {};
      ssize_t n = ::read(fd, text, sizeof text - 1);
      ::close(fd);
      unsigned value = 0;
      if (n > 0 && std::sscanf(text, "%u", &value) == 1 && value <= 255) {
        *milliseconds = static_cast<uint8_t>(value);
        return 0;
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  *milliseconds = latency_;
  return 0;
}

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
