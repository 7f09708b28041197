// The request handling of the simulated bridge device: one row per served slot with the shortest
// buffers it takes and its handler, and the handlers that need more than a line or two. A new
// request is one row.
#include <algorithm>
#include <cstring>
#include <optional>

#include "devside/little_endian.h"
#include "devside/payloads.h"
#include "sim/bridge_device.h"
#include "sim/device_line.h"

namespace ralvex::sim {
namespace {

using namespace devside;

constexpr uint32_t VENDOR_SHORT_BYTES = 132;
constexpr uint32_t VENDOR_LONG_BYTES = 134;
constexpr uint32_t VENDOR_DATA_MAX = 128;
constexpr uint32_t ERASE_KEY = 0xADEE0BAD;

}  // namespace

// Each row: slot, shortest input, shortest output, handler (device, call) returning the Win32
// error. The handlers may use the device's private members: the table is a member's definition.
const BridgeDevice::RequestRow BridgeDevice::REQUEST_ROWS[] = {
    // Slots the driver serves without any operation behind them.
    {0, 0, 0, [](auto&, auto&) { return 0u; }},
    {2, 0, 0, [](auto&, auto&) { return 0u; }},
    {3, 0, 0, [](auto&, auto&) { return 0u; }},
    {86, 0, 0, [](auto&, auto&) { return 0u; }},
    {108, 0, 0, [](auto&, auto&) { return 0u; }},
    {109, 0, 0, [](auto&, auto&) { return 0u; }},
    {110, 0, 0, [](auto&, auto&) { return 0u; }},

    // Resets and the bus.
    {SLOT_RESET_DEVICE, 0, 0, [](auto& d, auto&) { return d.ResetChip(); }},
    {SLOT_RESET_PORT, 0, 0, [](auto& d, auto&) { return d.ResetChip(); }},
    {SLOT_CYCLE_PORT, 0, 0,
     [](auto&, auto& c) {
       c.cyclePort = true;
       return 0u;
     }},
    {SLOT_STOP_IN_TASK, 0, 0,
     [](auto& d, auto&) {
       d.channel_.SetStopped(true);
       return 0u;
     }},
    {SLOT_RESTART_IN_TASK, 0, 0,
     [](auto& d, auto&) {
       d.channel_.SetStopped(false);
       return 0u;
     }},

    // Identity.
    {SLOT_QUERY_SERIAL_NUMBER, 0, 1, [](auto& d, auto& c) { return d.QueryText(c); }},
    {SLOT_QUERY_DESCRIPTION, 0, 1, [](auto& d, auto& c) { return d.QueryText(c); }},
    {SLOT_QUERY_LOCATION, 0, 4,
     [](auto& d, auto& c) {
       return Reply32(c, d.config_.location.value_or(0));
     }},
    {SLOT_DEVICE_INFO, 0, DEVICE_INFO_BYTES, [](auto& d, auto& c) { return d.DeviceInfo(c); }},
    {SLOT_GET_DRIVER_VERSION, 0, 4,
     [](auto& d, auto& c) { return Reply32(c, d.config_.driverVersion); }},
    {SLOT_GET_PACKET_SIZE, 0, 2,
     [](auto& d, auto& c) {
       Put16(c.out.data(), d.PacketSize());
       c.returned = 2;
       return 0u;
     }},
    {SLOT_GET_COM_PORT_NUMBER, 0, 4,
     [](auto& d, auto& c) { return Reply32(c, d.config_.comPort); }},

    // EEPROM.
    {SLOT_EEPROM_READ, 4, 2, [](auto& d, auto& c) { return d.EepromRequest(c); }},
    {SLOT_EEPROM_WRITE, 4, 0, [](auto& d, auto& c) { return d.EepromRequest(c); }},
    {SLOT_EEPROM_ERASE, 0, 0, [](auto& d, auto& c) { return d.EepromRequest(c); }},
    {SLOT_EEPROM_CONFIG_READ, 1, 1, [](auto& d, auto& c) { return d.EepromRequest(c); }},
    {SLOT_EEPROM_CONFIG_WRITE, 2, 0, [](auto& d, auto& c) { return d.EepromRequest(c); }},
    {SLOT_EEPROM_ECC_READ, 1, 2, [](auto& d, auto& c) { return d.EepromRequest(c); }},

    // Events and queues.
    {SLOT_SET_EVENT_NOTIFICATION, 12, 0,
     [](auto& d, auto& c) {
       d.ChangeLine([&](BridgeLineState& line) {
         line.notifyHandle = Get32(c.in.data());
         line.notifyMask = Get32(c.in.data() + 4);
         line.notifyParam = Get32(c.in.data() + 8);
       });
       return 0u;
     }},
    {SLOT_GET_EVENT_STATUS, 0, 4,
     [](auto& d, auto& c) {
       return Reply32(c, d.channel_.TakeEventStatus());
     }},
    {SLOT_GET_STATUS, 0, STATUS_BYTES,
     [](auto& d, auto& c) {
       EncodeStatus(static_cast<uint32_t>(d.channel_.ReceiveCount()),
                    static_cast<uint32_t>(d.channel_.TransmitCount()), d.channel_.TakeEventStatus(),
                    c.out.data());
       c.returned = STATUS_BYTES;
       return 0u;
     }},
    {SLOT_GET_QUEUE_STATUS, 0, 4,
     [](auto& d, auto& c) {
       return Reply32(c, static_cast<uint32_t>(d.channel_.ReceiveCount()));
     }},
    {SLOT_GET_QUEUE_STATUS_EX, 0, 4,
     [](auto& d, auto& c) {
       return Reply32(c, static_cast<uint32_t>(d.channel_.ReceiveCount()));
     }},
    {SLOT_GET_MODEM_STATUS, 0, 4,
     [](auto& d, auto& c) { return Reply32(c, d.ModemStatus()); }},
    {SLOT_PURGE, 4, 0,
     [](auto& d, auto& c) {
       const uint32_t mask = Get32(c.in.data());
       d.channel_.Purge((mask & 1) != 0, (mask & 2) != 0);
       return 0u;
     }},
    {SLOT_SET_WAIT_MASK, 4, 0,
     [](auto& d, auto& c) {
       d.channel_.SetWaitMask(Get32(c.in.data()));
       return 0u;
     }},
    {SLOT_SET_COMM_MASK, 4, 0,
     [](auto& d, auto& c) {
       d.channel_.SetWaitMask(Get32(c.in.data()));
       return 0u;
     }},
    {SLOT_GET_COMM_MASK, 0, 4,
     [](auto& d, auto& c) { return Reply32(c, d.channel_.WaitMask()); }},
    {SLOT_WAIT_ON_MASK, 0, 4, [](auto& d, auto& c) { return d.WaitForEvent(c); }},
    {SLOT_WAIT_COMM_EVENT, 0, 4, [](auto& d, auto& c) { return d.WaitForEvent(c); }},
    {SLOT_CLEAR_COMM_ERROR, 0, COMM_ERROR_BYTES,
     [](auto& d, auto& c) {
       EncodeCommError(d.channel_.TakeCommErrors(), static_cast<uint32_t>(d.channel_.ReceiveCount()),
                       static_cast<uint32_t>(d.channel_.TransmitCount()), c.out.data());
       c.returned = COMM_ERROR_BYTES;
       return 0u;
     }},

    // Line settings.
    {SLOT_SET_BAUD_RATE, 4, 0,
     [](auto& d, auto& c) { return d.SetBaudRate(Get32(c.in.data()), std::nullopt); }},
    {SLOT_SET_DIVISOR, 2, 0,
     [](auto& d, auto& c) {
       // The divisor applies to the 3 MHz reference; 0 and 1 both select the top rate.
       const uint16_t divisor = Get16(c.in.data());
       return d.SetBaudRate(3'000'000 / std::max<uint32_t>(divisor, 1), divisor);
     }},
    {SLOT_SET_DATA_CHARACTERISTICS, 3, 0,
     [](auto& d, auto& c) {
       const uint8_t stopBits = c.in[0], parity = c.in[1], wordLength = c.in[2];
       if (!ValidDataCharacteristics(wordLength, stopBits, parity)) return ERROR_INVALID_PARAMETER;
       d.ChangeLine([&](BridgeLineState& line) {
         line.stopBits = stopBits;
         line.parity = parity;
         line.wordLength = wordLength;
       });
       return 0u;
     }},
    {SLOT_SET_FLOW_CONTROL, 4, 0,
     [](auto& d, auto& c) {
       const uint16_t mode = Get16(c.in.data());
       if (mode != FLOW_NONE && mode != FLOW_RTS_CTS && mode != FLOW_DTR_DSR &&
           mode != FLOW_XON_XOFF) {
         return ERROR_INVALID_PARAMETER;
       }
       d.ChangeLine([&](BridgeLineState& line) {
         line.flowControl = mode;
         line.xonChar = c.in[2];
         line.xoffChar = c.in[3];
       });
       return 0u;
     }},
    {SLOT_SET_CHARS, 4, 0,
     [](auto& d, auto& c) {
       d.ChangeLine([&](BridgeLineState& line) {
         line.eventChar = c.in[0];
         line.eventCharEnabled = c.in[1];
         line.errorChar = c.in[2];
         line.errorCharEnabled = c.in[3];
       });
       d.channel_.SetEventChar(c.in[0], c.in[1] != 0);
       return 0u;
     }},
    {SLOT_SET_TIMEOUTS, SHORT_TIMEOUTS_BYTES, 0, [](auto& d, auto& c) { return d.SetTimeouts(c.in); }},
    {SLOT_GET_COMM_TIMEOUTS, 0, COMMTIMEOUTS_BYTES,
     [](auto& d, auto& c) {
       EncodeTimeouts(d.channel_.Timeouts(), c.out.data());
       c.returned = COMMTIMEOUTS_BYTES;
       return 0u;
     }},
    {SLOT_SET_BREAK_ON, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.breakOn = true; });
       return 0u;
     }},
    {SLOT_SET_BREAK_OFF, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.breakOn = false; });
       return 0u;
     }},
    {SLOT_SET_DTR, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.dtr = true; });
       return 0u;
     }},
    {SLOT_CLR_DTR, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.dtr = false; });
       return 0u;
     }},
    {SLOT_SET_RTS, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.rts = true; });
       return 0u;
     }},
    {SLOT_CLR_RTS, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.rts = false; });
       return 0u;
     }},
    {SLOT_SET_LATENCY_TIMER, 1, 0, [](auto& d, auto& c) { return d.SetLatencyTimer(c.in[0]); }},
    {SLOT_GET_LATENCY_TIMER, 0, 1,
     [](auto& d, auto& c) {
       d.ChangeLine([&](BridgeLineState& line) { c.out[0] = line.latencyTimer; });
       c.returned = 1;
       return 0u;
     }},
    {SLOT_SET_BIT_MODE, 2, 0,
     [](auto& d, auto& c) {
       d.ChangeLine([&](BridgeLineState& line) {
         line.bitMask = c.in[0];
         line.bitMode = c.in[1];
       });
       return 0u;
     }},
    {SLOT_GET_BIT_MODE, 0, 1,
     [](auto& d, auto& c) {
       // Nothing drives the pins: outputs read back as set by the mask, inputs low.
       d.ChangeLine([&](BridgeLineState& line) { c.out[0] = line.bitMask; });
       c.returned = 1;
       return 0u;
     }},
    {SLOT_SET_USB_PARAMETERS, 8, 0,
     [](auto& d, auto& c) {
       const uint32_t inSize = Get32(c.in.data());
       if (inSize < 64 || inSize > 65536) return ERROR_INVALID_PARAMETER;
       d.ChangeLine([&](BridgeLineState& line) {
         line.usbInSize = inSize;
         line.usbOutSize = Get32(c.in.data() + 4);
       });
       return 0u;
     }},
    {SLOT_SET_DEADMAN_TIMEOUT, 4, 0,
     [](auto& d, auto& c) {
       d.ChangeLine([&](BridgeLineState& line) { line.deadmanTimeout = Get32(c.in.data()); });
       return 0u;
     }},
    {SLOT_SET_RESET_PIPE_RETRY_COUNT, 4, 0,
     [](auto& d, auto& c) {
       d.ChangeLine([&](BridgeLineState& line) { line.pipeRetryCount = Get32(c.in.data()); });
       return 0u;
     }},
    {SLOT_SET_COMM_STATE, DCB_BYTES, 0,
     [](auto& d, auto& c) { return d.SetCommState(c.in.data()); }},
    {SLOT_GET_COMM_STATE, 0, DCB_BYTES,
     [](auto& d, auto& c) {
       uint8_t dcb[DCB_BYTES];
       d.GetCommState(dcb);
       std::memcpy(c.out.data(), dcb, DCB_BYTES);
       c.returned = DCB_BYTES;
       return 0u;
     }},
    {SLOT_COM_PORT_IDLE, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.idle = true; });
       return 0u;
     }},
    {SLOT_COM_PORT_CANCEL_IDLE, 0, 0,
     [](auto& d, auto&) {
       d.ChangeLine([](BridgeLineState& line) { line.idle = false; });
       return 0u;
     }},

    // Vendor registers.
    {SLOT_VENDOR_CMD_GET, VENDOR_SHORT_BYTES, VENDOR_SHORT_BYTES,
     [](auto& d, auto& c) { return d.VendorRequest(c); }},
    {SLOT_VENDOR_CMD_SET, VENDOR_SHORT_BYTES, 0,
     [](auto& d, auto& c) { return d.VendorRequest(c); }},
    {SLOT_VENDOR_CMD_GET_EX, VENDOR_LONG_BYTES, VENDOR_LONG_BYTES,
     [](auto& d, auto& c) { return d.VendorRequest(c); }},
    {SLOT_VENDOR_CMD_SET_EX, VENDOR_LONG_BYTES, 0,
     [](auto& d, auto& c) { return d.VendorRequest(c); }},
};

const BridgeDevice::RequestDispatcher& BridgeDevice::Dispatcher() {
  static const RequestDispatcher REQUESTS(REQUEST_ROWS);
  return REQUESTS;
}

bool IsValidRequestSlot(uint32_t slot) {
  return BridgeDevice::Dispatcher().RowOf(slot) != nullptr;
}

uint32_t BridgeDevice::Control(uint64_t file, uint64_t session, uint32_t code, const void* in,
                               uint32_t inLength, void* out, uint32_t outLength,
                               uint32_t* returned) {
  DeviceRequest entry;
  entry.code = code;
  entry.outputLength = outLength;
  if (in != nullptr) {
    const auto* input = static_cast<const uint8_t*>(in);
    entry.input.assign(input, input + inLength);
  }
  const uint32_t base = config_.alternateRequests ? ALTERNATE_REQUEST_BASE : PRIMARY_REQUEST_BASE;
  RequestCall call;
  call.file = file;
  call.session = session;
  entry.error =
      Dispatcher().Answer(*this, {code, in, inLength, out, outLength}, base, call, returned,
                          [&](const RequestRow& row) { return Admit(row.slot, session); });
  const uint32_t error = entry.error;
  {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_.push_back(std::move(entry));
  }
  // The port cycle is answered first, then the device drops off the bus.
  if (call.cyclePort) Leave(LEAVE_CYCLE);
  return error;
}

uint32_t BridgeDevice::Admit(uint32_t slot, uint64_t session) const {
  if (refused_.size() <= slot || refused_[slot]) return ERROR_INVALID_FUNCTION;
  std::lock_guard<std::mutex> lock(mutex_);
  return session != session_ ? ERROR_DEVICE_NOT_CONNECTED : 0;
}

uint32_t BridgeDevice::ResetChip() {
  // The chip's line settings go back to their defaults and its buffers are emptied; the driver's
  // time-outs and wait mask stay, and the handle keeps working.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ResetLineLocked();
  }
  const BridgeLineState fresh;
  channel_.SetWireParameters(fresh.baudRate, fresh.latencyTimer);
  channel_.SetEventChar(0, false);
  channel_.Purge(true, true);
  channel_.SetStopped(false);
  return 0;
}

uint32_t BridgeDevice::SetBaudRate(uint32_t baud, std::optional<uint16_t> divisor) {
  if (baud == 0 || baud > MaxBaud()) return ERROR_INVALID_PARAMETER;
  uint8_t latency;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line_.baudRate = baud;
    if (divisor) line_.divisor = *divisor;
    latency = line_.latencyTimer;
  }
  channel_.SetWireParameters(baud, latency);
  return 0;
}

uint32_t BridgeDevice::SetLatencyTimer(uint8_t latency) {
  uint32_t baud;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line_.latencyTimer = latency;
    baud = line_.baudRate;
  }
  channel_.SetWireParameters(baud, latency);
  return 0;
}

uint32_t BridgeDevice::SetTimeouts(std::span<const uint8_t> in) {
  const std::optional<SerialTimeouts> timeouts = DecodeTimeouts(in);
  if (!timeouts) return ERROR_INVALID_PARAMETER;
  channel_.SetTimeouts(*timeouts);
  return 0;
}

uint32_t BridgeDevice::QueryText(RequestCall& call) {
  const std::string& text =
      call.slot == SLOT_QUERY_SERIAL_NUMBER ? config_.serial : *config_.description;
  return EncodeQueryText(text, call.out, &call.returned);
}

uint32_t BridgeDevice::DeviceInfo(RequestCall& call) {
  EncodeDeviceInfo({ChipCode(config_.chip), (uint32_t{config_.vid} << 16) | *config_.pid,
                    config_.extra, config_.serial, *config_.description},
                   call.out.data());
  call.returned = DEVICE_INFO_BYTES;
  return 0;
}

uint32_t BridgeDevice::EepromRequest(RequestCall& call) {
  const bool configuration = call.slot == SLOT_EEPROM_CONFIG_READ ||
                             call.slot == SLOT_EEPROM_CONFIG_WRITE ||
                             call.slot == SLOT_EEPROM_ECC_READ;
  if (configuration && !HasEepromConfiguration(config_.chip)) return ERROR_INVALID_FUNCTION;
  const uint8_t* in = call.in.data();
  uint8_t* out = call.out.data();
  std::lock_guard<std::mutex> lock(mutex_);
  switch (call.slot) {
    case SLOT_EEPROM_READ:
      Put16(out, eeprom_.Read(Get32(in)));
      call.returned = 2;
      return 0;
    case SLOT_EEPROM_WRITE:
      eeprom_.Write(Get16(in), Get16(in + 2));
      return 0;
    case SLOT_EEPROM_ERASE:
      // Either no input (an erase inside programming) or the erase key; anything else is taken
      // for a stray request rather than wiping the configuration.
      if (!call.in.empty() && (call.in.size() != 4 || Get32(in) != ERASE_KEY)) {
        return ERROR_INVALID_PARAMETER;
      }
      eeprom_.Erase();
      return 0;
    case SLOT_EEPROM_CONFIG_READ:
      out[0] = eeprom_.ReadConfig(in[0]);
      call.returned = 1;
      return 0;
    case SLOT_EEPROM_CONFIG_WRITE:
      eeprom_.WriteConfig(in[0], in[1]);
      return 0;
    default:  // SLOT_EEPROM_ECC_READ
      Put16(out, eeprom_.ReadEcc(in[0]));
      call.returned = 2;
      return 0;
  }
}

uint32_t BridgeDevice::VendorRequest(RequestCall& call) {
  const bool longForm = call.slot == SLOT_VENDOR_CMD_GET_EX || call.slot == SLOT_VENDOR_CMD_SET_EX;
  const uint8_t* in = call.in.data();
  const uint32_t size = longForm ? VENDOR_LONG_BYTES : VENDOR_SHORT_BYTES;
  const uint32_t address = longForm ? Get16(in) : in[0];
  const uint32_t length = longForm ? Get16(in + 4) : Get16(in + 2);
  const uint32_t data = longForm ? 6 : 4;
  if (length > VENDOR_DATA_MAX || address + length > VENDOR_REGISTER_BYTES) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (call.slot == SLOT_VENDOR_CMD_SET || call.slot == SLOT_VENDOR_CMD_SET_EX) {
    std::memcpy(vendor_.data() + address, in + data, length);
    return 0;
  }
  // The same buffer may serve as input and output: build the reply aside first.
  uint8_t reply[VENDOR_LONG_BYTES] = {};
  std::memcpy(reply, in, data);
  std::memcpy(reply + data, vendor_.data() + address, length);
  std::memcpy(call.out.data(), reply, size);
  call.returned = size;
  return 0;
}

uint32_t BridgeDevice::WaitForEvent(RequestCall& call) {
  uint32_t events = 0;
  const uint32_t error = channel_.WaitForEvent(call.file, call.session, &events);
  if (error != 0) return error;
  return Reply32(call, events);
}

}  // namespace ralvex::sim
