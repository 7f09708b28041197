// The control requests a tty can carry, one row per slot. EEPROM, bit modes, vendor requests, USB
// parameters and resets are nothing a tty carries: their slots have no row and are refused.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>

#include "devside/payloads.h"
#include "hostdev/tty_file.h"
#include "hostdev/tty_line.h"

namespace ralvex::hostdev {
namespace {

using namespace devside;

// What the driver-version request reports for this driver: 1.0.0.
constexpr uint32_t HOST_DRIVER_VERSION = 0x00010000;

}  // namespace

const TtyFile::RequestRow TtyFile::REQUEST_ROWS[] = {
    // Identity.
    {SLOT_QUERY_SERIAL_NUMBER, 0, 1, [](auto& f, auto& c) { return f.QueryText(c, f.identity_.serial); }},
    {SLOT_QUERY_DESCRIPTION, 0, 1,
     [](auto& f, auto& c) { return f.QueryText(c, f.identity_.description); }},
    {SLOT_QUERY_LOCATION, 0, 4, [](auto& f, auto& c) { return Reply32(c, f.identity_.location); }},
    {SLOT_DEVICE_INFO, 0, DEVICE_INFO_BYTES, [](auto& f, auto& c) { return f.DeviceInfo(c); }},
    {SLOT_GET_DRIVER_VERSION, 0, 4, [](auto&, auto& c) { return Reply32(c, HOST_DRIVER_VERSION); }},
    {SLOT_GET_PACKET_SIZE, 0, 2,
     [](auto& f, auto& c) {
       Put16(c.out.data(), f.identity_.packetSize);
       c.returned = 2;
       return 0u;
     }},
    // A tty is no COM port.
    {SLOT_GET_COM_PORT_NUMBER, 0, 4, [](auto&, auto& c) { return Reply32(c, 0); }},

    // Line settings and lines.
    {SLOT_SET_BAUD_RATE, 4, 0, [](auto& f, auto& c) { return SetTtyBaudRate(f.fd_, Get32(c.in.data())); }},
    {SLOT_SET_DATA_CHARACTERISTICS, 3, 0,
     [](auto& f, auto& c) { return SetTtyDataCharacteristics(f.fd_, c.in[2], c.in[0], c.in[1]); }},
    {SLOT_SET_FLOW_CONTROL, 4, 0,
     [](auto& f, auto& c) {
       return SetTtyFlowControl(f.fd_, Get16(c.in.data()), c.in[2],
                                c.in[3]);
     }},
    // No event or error character on a tty: only "none" can be honoured.
    {SLOT_SET_CHARS, 4, 0,
     [](auto&, auto& c) { return (c.in[1] == 0 && c.in[3] == 0) ? 0u : ERROR_INVALID_FUNCTION; }},
    {SLOT_SET_BREAK_ON, 0, 0, [](auto& f, auto&) { return SetTtyBreak(f.fd_, true); }},
    {SLOT_SET_BREAK_OFF, 0, 0, [](auto& f, auto&) { return SetTtyBreak(f.fd_, false); }},
    {SLOT_SET_DTR, 0, 0, [](auto& f, auto&) { return f.SetModemLine(true, true); }},
    {SLOT_CLR_DTR, 0, 0, [](auto& f, auto&) { return f.SetModemLine(true, false); }},
    {SLOT_SET_RTS, 0, 0, [](auto& f, auto&) { return f.SetModemLine(false, true); }},
    {SLOT_CLR_RTS, 0, 0, [](auto& f, auto&) { return f.SetModemLine(false, false); }},
    {SLOT_PURGE, 4, 0,
     [](auto& f, auto& c) {
       const uint32_t mask = Get32(c.in.data());
       return PurgeTty(f.fd_, (mask & 1) != 0, (mask & 2) != 0);
     }},

    // Time-outs and latency.
    {SLOT_SET_TIMEOUTS, SHORT_TIMEOUTS_BYTES, 0, [](auto& f, auto& c) { return f.SetTimeouts(c); }},
    {SLOT_GET_COMM_TIMEOUTS, 0, COMMTIMEOUTS_BYTES, [](auto& f, auto& c) { return f.GetTimeouts(c); }},
    {SLOT_SET_LATENCY_TIMER, 1, 0, [](auto& f, auto& c) { return f.SetLatency(c.in[0]); }},
    {SLOT_GET_LATENCY_TIMER, 0, 1, [](auto& f, auto& c) { return f.GetLatency(c); }},

    // Status.
    {SLOT_GET_MODEM_STATUS, 0, 4, [](auto& f, auto& c) { return f.ModemStatus(c); }},
    {SLOT_GET_QUEUE_STATUS, 0, 4, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_GET_QUEUE_STATUS_EX, 0, 4, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_GET_EVENT_STATUS, 0, 4, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_GET_STATUS, 0, STATUS_BYTES, [](auto& f, auto& c) { return f.QueueStatus(c); }},
    {SLOT_CLEAR_COMM_ERROR, 0, COMM_ERROR_BYTES, [](auto& f, auto& c) { return f.QueueStatus(c); }},

    // Events.
    {SLOT_SET_WAIT_MASK, 4, 0, [](auto& f, auto& c) { return f.SetWaitMask(Get32(c.in.data())); }},
    {SLOT_SET_COMM_MASK, 4, 0, [](auto& f, auto& c) { return f.SetWaitMask(Get32(c.in.data())); }},
    {SLOT_GET_COMM_MASK, 0, 4, [](auto& f, auto& c) { return f.GetWaitMask(c); }},
    {SLOT_WAIT_ON_MASK, 0, 4, [](auto& f, auto& c) { return f.WaitEvent(c); }},
    {SLOT_WAIT_COMM_EVENT, 0, 4, [](auto& f, auto& c) { return f.WaitEvent(c); }},
};

const devside::RequestDispatcher<TtyFile>& TtyFile::Dispatcher() {
  static const devside::RequestDispatcher<TtyFile> REQUESTS(REQUEST_ROWS);
  return REQUESTS;
}

uint32_t TtyFile::Control(uint32_t code, const void* in, uint32_t inLength, void* out,
                          uint32_t outLength, uint32_t* returned) {
  RequestCall call;
  return Dispatcher().Answer(*this, {code, in, inLength, out, outLength}, PRIMARY_REQUEST_BASE,
                             call, returned);
}

uint32_t TtyFile::QueryText(RequestCall& call, const std::string& text) {
  return EncodeQueryText(text, call.out, &call.returned);
}

uint32_t TtyFile::DeviceInfo(RequestCall& call) {
  EncodeDeviceInfo({identity_.chipCode, identity_.id, 0, identity_.serial, identity_.description},
                   call.out.data());
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
  const std::optional<SerialTimeouts> timeouts = DecodeTimeouts(call.in);
  if (!timeouts) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = *timeouts;
  return 0;
}

uint32_t TtyFile::GetTimeouts(RequestCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  EncodeTimeouts(timeouts_, call.out.data());
  call.returned = COMMTIMEOUTS_BYTES;
  return 0;
}

uint32_t TtyFile::QueueStatus(RequestCall& call) {
  uint32_t rx = 0, tx = 0;
  if (uint32_t error = TtyQueueCounts(fd_, &rx, &tx)) return error;
  const uint32_t eventStatus = rx > 0 ? EVENT_STATUS_RXCHAR : 0;
  switch (call.slot) {
    case SLOT_GET_STATUS:
      EncodeStatus(rx, tx, eventStatus, call.out.data());
      call.returned = STATUS_BYTES;
      return 0;
    case SLOT_CLEAR_COMM_ERROR:
      // No line errors are known: the error word and the COMSTAT flags stay 0.
      EncodeCommError(0, rx, tx, call.out.data());
      call.returned = COMM_ERROR_BYTES;
      return 0;
    case SLOT_GET_EVENT_STATUS:
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
    return Reply32(call, MS_CTS_ON | MS_DSR_ON);
  }
  return Reply32(call, ((bits & TIOCM_CTS) ? MS_CTS_ON : 0) | ((bits & TIOCM_DSR) ? MS_DSR_ON : 0) |
                           ((bits & TIOCM_RNG) ? MS_RING_ON : 0) |
                           ((bits & TIOCM_CAR) ? MS_RLSD_ON : 0));
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
