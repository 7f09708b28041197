// The control requests a tty can carry, one row per slot. EEPROM, bit modes, vendor requests, USB
// parameters and resets are nothing a tty carries: their slots have no row and are refused.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hostdev/tty_file.h"
#include "hostdev/tty_line.h"

namespace ralvex::hostdev {
namespace {

constexpr uint32_t PRIMARY_REQUEST_BASE = 0x00220000;
constexpr uint32_t REQUEST_SLOT_COUNT = 126;

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
constexpr uint32_t STATUS_BYTES = 12;
constexpr uint32_t COMMTIMEOUTS_BYTES = 20;
constexpr uint32_t SHORT_TIMEOUTS_BYTES = 8;
constexpr uint32_t COMM_ERROR_BYTES = 16;
// What the driver-version request reports for this driver: 1.0.0.
constexpr uint32_t HOST_DRIVER_VERSION = 0x00010000;
constexpr uint32_t EVENT_STATUS_RXCHAR = 0x1;
// Modem status: the input lines in the bridge's low byte.
constexpr uint32_t MODEM_CTS = 0x10;
constexpr uint32_t MODEM_DSR = 0x20;
constexpr uint32_t MODEM_RING = 0x40;
constexpr uint32_t MODEM_DCD = 0x80;

uint32_t Get32(std::span<const uint8_t> in, size_t at = 0) {
  return uint32_t{in[at]} | (uint32_t{in[at + 1]} << 8) | (uint32_t{in[at + 2]} << 16) |
         (uint32_t{in[at + 3]} << 24);
}
void Put32(std::span<uint8_t> out, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

uint32_t TtyFile::Reply32(RequestCall& call, uint32_t value) {
  Put32(call.out, 0, value);
  call.returned = 4;
  return 0;
}

const TtyFile::RequestRow TtyFile::REQUEST_ROWS[] = {
    // Identity.
    {SLOT_SERIAL, 0, 1, [](auto& f, auto& c) { return f.QueryText(c, f.identity_.serial); }},
    {SLOT_DESCRIPTION, 0, 1,
     [](auto& f, auto& c) { return f.QueryText(c, f.identity_.description); }},
    {SLOT_LOCATION, 0, 4, [](auto& f, auto& c) { return TtyFile::Reply32(c, f.identity_.location); }},
    {SLOT_DEVICE_INFO, 0, DEVICE_INFO_BYTES, [](auto& f, auto& c) { return f.DeviceInfo(c); }},
    {SLOT_DRIVER_VERSION, 0, 4, [](auto&, auto& c) { return TtyFile::Reply32(c, HOST_DRIVER_VERSION); }},
    {SLOT_PACKET_SIZE, 0, 2,
     [](auto& f, auto& c) {
       c.out[0] = static_cast<uint8_t>(f.identity_.packetSize);
       c.out[1] = static_cast<uint8_t>(f.identity_.packetSize >> 8);
       c.returned = 2;
       return 0u;
     }},
    // A tty is no COM port.
    {SLOT_COM_PORT, 0, 4, [](auto&, auto& c) { return TtyFile::Reply32(c, 0); }},

    // Line settings and lines.
    {SLOT_BAUD_RATE, 4, 0, [](auto& f, auto& c) { return SetTtyBaudRate(f.fd_, Get32(c.in)); }},
    {SLOT_DATA_CHARACTERISTICS, 3, 0,
     [](auto& f, auto& c) { return SetTtyDataCharacteristics(f.fd_, c.in[2], c.in[0], c.in[1]); }},
    {SLOT_FLOW_CONTROL, 4, 0,
     [](auto& f, auto& c) {
       return SetTtyFlowControl(f.fd_, static_cast<uint16_t>(c.in[0] | (c.in[1] << 8)), c.in[2],
                                c.in[3]);
     }},
    // No event or error character on a tty: only "none" can be honoured.
    {SLOT_CHARS, 4, 0,
     [](auto&, auto& c) { return (c.in[1] == 0 && c.in[3] == 0) ? 0u : ERROR_INVALID_FUNCTION; }},
    {SLOT_BREAK_ON, 0, 0, [](auto& f, auto&) { return SetTtyBreak(f.fd_, true); }},
    {SLOT_BREAK_OFF, 0, 0, [](auto& f, auto&) { return SetTtyBreak(f.fd_, false); }},
    {SLOT_SET_DTR, 0, 0, [](auto& f, auto&) { return f.SetModemLine(true, true); }},
    {SLOT_CLR_DTR, 0, 0, [](auto& f, auto&) { return f.SetModemLine(true, false); }},
    {SLOT_SET_RTS, 0, 0, [](auto& f, auto&) { return f.SetModemLine(false, true); }},
    {SLOT_CLR_RTS, 0, 0, [](auto& f, auto&) { return f.SetModemLine(false, false); }},
    {SLOT_PURGE, 4, 0,
     [](auto& f, auto& c) {
       const uint32_t mask = Get32(c.in);
       return PurgeTty(f.fd_, (mask & 1) != 0, (mask & 2) != 0);
     }},

    // Time-outs and latency.
    {SLOT_SET_TIMEOUTS, SHORT_TIMEOUTS_BYTES, 0, [](auto& f, auto& c) { return f.SetTimeouts(c); }},
    {SLOT_GET_TIMEOUTS, 0, COMMTIMEOUTS_BYTES, [](auto& f, auto& c) { return f.GetTimeouts(c); }},
    {SLOT_SET_LATENCY, 1, 0, [](auto& f, auto& c) { return f.SetLatency(c.in[0]); }},
    {SLOT_GET_LATENCY, 0, 1, [](auto& f, auto& c) { return f.GetLatency(c); }},

    // Status.
    {SLOT_MODEM_STATUS, 0, 4, [](auto& f, auto& c) { return f.ModemStatus(c); }},
    {SLOT_QUEUE_STATUS, 0, 4, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_QUEUE_STATUS_EX, 0, 4, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_EVENT_STATUS, 0, 4, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_STATUS, 0, STATUS_BYTES, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_COMM_ERROR, 0, COMM_ERROR_BYTES, [](auto& f, auto& c) { return f.QueueStatus(c); }},

    // Events.
    {SLOT_SET_WAIT_MASK, 4, 0, [](auto& f, auto& c) { return f.SetWaitMask(Get32(c.in)); }},
    {SLOT_SET_COMM_MASK, 4, 0, [](auto& f, auto& c) { return f.SetWaitMask(Get32(c.in)); }},
    {SLOT_GET_COMM_MASK, 0, 4, [](auto& f, auto& c) { return f.GetWaitMask(c); }},
    {SLOT_WAIT_ON_MASK, 0, 4, [](auto& f, auto& c) { return f.WaitEvent(c); }},
    {SLOT_WAIT_COMM_EVENT, 0, 4, [](auto& f, auto& c) { return f.WaitEvent(c); }},
};

const TtyFile::RequestRow* TtyFile::RowOf(uint32_t slot) {
  static const std::array<const RequestRow*, REQUEST_SLOT_COUNT> BY_SLOT = [] {
    std::array<const RequestRow*, REQUEST_SLOT_COUNT> bySlot{};
    for (const RequestRow& row : REQUEST_ROWS) bySlot[row.slot] = &row;
    return bySlot;
  }();
  return slot < REQUEST_SLOT_COUNT ? BY_SLOT[slot] : nullptr;
}

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
  const RequestRow* row = code < PRIMARY_REQUEST_BASE || (code - PRIMARY_REQUEST_BASE) % 4 != 0
                              ? nullptr
                              : RowOf((code - PRIMARY_REQUEST_BASE) / 4);
  if (row == nullptr) return ERROR_INVALID_FUNCTION;
  if (inLength < row->minInput || outLength < row->minOutput) return ERROR_INVALID_PARAMETER;
  RequestCall call{row->slot, {}, {}};
  if (input != nullptr) call.in = {input, inLength};
  if (output != nullptr) call.out = {output, outLength};
  const uint32_t error = row->handle(*this, call);
  *returned = call.returned;
  return error;
}

uint32_t TtyFile::QueryText(RequestCall& call, const std::string& text) {
  if (call.out.size() < text.size() + 1) return ERROR_INSUFFICIENT_BUFFER;
  std::fill_n(call.out.begin(), std::min<size_t>(call.out.size(), IDENTITY_BYTES), 0);
  std::copy(text.begin(), text.end(), call.out.begin());
  // Counted without the terminator; the caller's zero-filled buffer supplies it.
  call.returned = static_cast<uint32_t>(text.size());
  return 0;
}

uint32_t TtyFile::DeviceInfo(RequestCall& call) {
  std::array<uint8_t, DEVICE_INFO_BYTES> reply{};
  Put32(reply, 4, identity_.chipCode);
  Put32(reply, 8, identity_.id);
  std::memcpy(reply.data() + 16, identity_.serial.data(),
              std::min<size_t>(identity_.serial.size(), IDENTITY_SERIAL_MAX));
  std::memcpy(reply.data() + 32, identity_.description.data(),
              std::min<size_t>(identity_.description.size(), IDENTITY_DESCRIPTION_MAX));
  std::copy(reply.begin(), reply.end(), call.out.begin());
  call.returned = DEVICE_INFO_BYTES;
  return 0;
}

uint32_t TtyFile::SetModemLine(bool dtr, bool on) {
  bool supported = false;
  const uint32_t error = SetTtyModemLine(fd_, dtr, on, &supported);
  if (error == 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    (dtr ? dtr_ : rts_) = on;
  }
  return error;
}

uint32_t TtyFile::SetTimeouts(RequestCall& call) {
  // The short form carries the read and write constants only.
  SerialTimeouts t;
  if (call.in.size() == SHORT_TIMEOUTS_BYTES) {
    t.readConstant = Get32(call.in, 0);
    t.writeConstant = Get32(call.in, 4);
  } else if (call.in.size() == COMMTIMEOUTS_BYTES) {
    t.readInterval = Get32(call.in, 0);
    t.readMultiplier = Get32(call.in, 4);
    t.readConstant = Get32(call.in, 8);
    t.writeMultiplier = Get32(call.in, 12);
    t.writeConstant = Get32(call.in, 16);
  } else {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = t;
  return 0;
}

uint32_t TtyFile::GetTimeouts(RequestCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  Put32(call.out, 0, timeouts_.readInterval);
  Put32(call.out, 4, timeouts_.readMultiplier);
  Put32(call.out, 8, timeouts_.readConstant);
  Put32(call.out, 12, timeouts_.writeMultiplier);
  Put32(call.out, 16, timeouts_.writeConstant);
  call.returned = COMMTIMEOUTS_BYTES;
  return 0;
}

uint32_t TtyFile::QueueStatus(RequestCall& call) {
  uint32_t rx = 0, tx = 0;
  if (uint32_t error = TtyQueueCounts(fd_, &rx, &tx)) return error;
  const uint32_t eventStatus = rx > 0 ? EVENT_STATUS_RXCHAR : 0;
  switch (call.slot) {
    case SLOT_STATUS:
      Put32(call.out, 0, rx);
      Put32(call.out, 4, tx);
      Put32(call.out, 8, eventStatus);
      call.returned = STATUS_BYTES;
      return 0;
    case SLOT_COMM_ERROR:
      // No line errors are known: the error word and the COMSTAT flags stay 0.
      std::fill_n(call.out.begin(), COMM_ERROR_BYTES, 0);
      Put32(call.out, 8, rx);
      Put32(call.out, 12, tx);
      call.returned = COMM_ERROR_BYTES;
      return 0;
    case SLOT_EVENT_STATUS:
      return Reply32(call, eventStatus);
    default:  // the receive queue, either form
      return Reply32(call, rx);
  }
}

uint32_t TtyFile::ModemStatus(RequestCall& call) {
  int bits = 0;
  bool supported = false;
  if (uint32_t error = GetTtyModemLines(fd_, &bits, &supported)) return error;
  if (!supported) {
    // A line without modem lines (a pseudo-terminal) looks like a null-modem cable whose far
    // end is up.
    return Reply32(call, MODEM_CTS | MODEM_DSR);
  }
  return Reply32(call, ((bits & TIOCM_CTS) ? MODEM_CTS : 0) | ((bits & TIOCM_DSR) ? MODEM_DSR : 0) |
                           ((bits & TIOCM_RNG) ? MODEM_RING : 0) |
                           ((bits & TIOCM_CAR) ? MODEM_DCD : 0));
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

uint32_t TtyFile::GetLatency(RequestCall& call) {
  call.returned = 1;
  if (!latencyAttribute_.empty()) {
    int fd = ::open(latencyAttribute_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      char text[8] = {};
      ssize_t n = ::read(fd, text, sizeof text - 1);
      ::close(fd);
      unsigned value = 0;
      if (n > 0 && std::sscanf(text, "%u", &value) == 1 && value <= 255) {
        call.out[0] = static_cast<uint8_t>(value);
        return 0;
      }
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  call.out[0] = latency_;
  return 0;
}

uint32_t TtyFile::SetWaitMask(uint32_t mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  waitMask_ = mask;
  ++maskGeneration_;
  Wake(waitWakeFd_);
  return 0;
}

uint32_t TtyFile::GetWaitMask(RequestCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  return Reply32(call, waitMask_);
}

uint32_t TtyFile::WaitEvent(RequestCall& call) {
  uint32_t events = 0;
  if (uint32_t error = WaitForEvent(&events)) return error;
  return Reply32(call, events);
}

}  // namespace ralvex::hostdev
