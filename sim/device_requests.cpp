// The request handlers of the simulated bridge device: one driver request in, the payload the
// access layer expects out, byte for byte.
#include <algorithm>
#include <cstring>

#include "sim/bridge_device_impl.h"

namespace ralvex::sim {
namespace {

// Slots by what they do.
enum Slot : uint32_t {
  SLOT_RESET_DEVICE = 1,
  SLOT_CYCLE_PORT = 16,
  SLOT_EEPROM_READ = 32,
  SLOT_EEPROM_WRITE = 33,
  SLOT_EEPROM_ERASE = 34,
  SLOT_EVENT_NOTIFICATION = 35,
  SLOT_EVENT_STATUS = 36,
  SLOT_STATUS = 37,
  SLOT_DIVISOR = 38,
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
  SLOT_SET_BIT_MODE = 94,
  SLOT_GET_BIT_MODE = 95,
  SLOT_USB_PARAMETERS = 96,
  SLOT_SET_COMM_MASK = 97,
  SLOT_WAIT_COMM_EVENT = 98,
  SLOT_COMM_ERROR = 99,
  SLOT_SET_COMM_STATE = 100,
  SLOT_GET_COMM_STATE = 101,
  SLOT_DEVICE_INFO = 102,
  SLOT_STOP_IN_TASK = 103,
  SLOT_RESTART_IN_TASK = 104,
  SLOT_PIPE_RETRY = 105,
  SLOT_RESET_PORT = 106,
  SLOT_DEADMAN = 107,
  SLOT_DRIVER_VERSION = 111,
  SLOT_GET_COMM_MASK = 112,
  SLOT_PACKET_SIZE = 113,
  SLOT_COM_PORT = 114,
  SLOT_CONFIG_READ = 115,
  SLOT_CONFIG_WRITE = 116,
  SLOT_ECC_READ = 117,
  SLOT_QUEUE_STATUS_EX = 118,
  SLOT_IDLE = 119,
  SLOT_CANCEL_IDLE = 120,
  SLOT_VENDOR_GET = 121,
  SLOT_VENDOR_SET = 122,
  SLOT_VENDOR_GET_EX = 123,
  SLOT_VENDOR_SET_EX = 124,
};

constexpr uint32_t DEVICE_INFO_BYTES = 96;
constexpr uint32_t IDENTITY_BYTES = 64;
constexpr uint32_t COMMTIMEOUTS_BYTES = 20;
constexpr uint32_t DCB_BYTES = 28;
constexpr uint32_t VENDOR_SHORT_BYTES = 132;
constexpr uint32_t VENDOR_LONG_BYTES = 134;
constexpr uint32_t VENDOR_DATA_MAX = 128;
constexpr uint32_t ERASE_KEY = 0xADEE0BAD;

constexpr uint16_t FLOW_NONE = 0x0000;
constexpr uint16_t FLOW_RTS_CTS = 0x0100;
constexpr uint16_t FLOW_DTR_DSR = 0x0200;
constexpr uint16_t FLOW_XON_XOFF = 0x0400;

// DCB flag bits.
constexpr uint32_t DCB_BINARY = 1u << 0;
constexpr uint32_t DCB_PARITY = 1u << 1;
constexpr uint32_t DCB_OUTX_CTS = 1u << 2;
constexpr uint32_t DCB_OUTX_DSR = 1u << 3;
constexpr uint32_t DCB_DTR_SHIFT = 4;
constexpr uint32_t DCB_OUTX = 1u << 8;
constexpr uint32_t DCB_INX = 1u << 9;
constexpr uint32_t DCB_ERROR_CHAR = 1u << 10;
constexpr uint32_t DCB_RTS_SHIFT = 12;
// fDsrSensitivity, fTXContinueOnXoff, fNull, fAbortOnError: kept as given.
constexpr uint32_t DCB_KEPT = (1u << 6) | (1u << 7) | (1u << 11) | (1u << 14);
constexpr uint32_t CONTROL_ENABLE = 1;
constexpr uint32_t CONTROL_HANDSHAKE = 2;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool ValidDataCharacteristics(uint8_t word_length, uint8_t stop_bits, uint8_t parity) {
  return word_length >= 5 && word_length <= 8 && stop_bits <= 2 && parity <= 4;
}

// Minimum buffer lengths of each slot: {input, output}.
struct Lengths {
  uint32_t in;
  uint32_t out;
};

Lengths MinimumLengths(uint32_t slot) {
  switch (slot) {
    case SLOT_EEPROM_READ:
      return {4, 2};
    case SLOT_EEPROM_WRITE:
      return {4, 0};
    case SLOT_EVENT_NOTIFICATION:
      return {12, 0};
    case SLOT_EVENT_STATUS:
      return {0, 4};
    case SLOT_STATUS:
      return {0, 12};
    case SLOT_DIVISOR:
      return {2, 0};
    case SLOT_SERIAL:
    case SLOT_DESCRIPTION:
      return {0, 1};
    case SLOT_LOCATION:
      return {0, 4};
    case SLOT_BAUD_RATE:
      return {4, 0};
    case SLOT_DATA_CHARACTERISTICS:
      return {3, 0};
    case SLOT_SET_TIMEOUTS:
      return {8, 0};
    case SLOT_GET_TIMEOUTS:
      return {0, COMMTIMEOUTS_BYTES};
    case SLOT_SET_WAIT_MASK:
    case SLOT_SET_COMM_MASK:
    case SLOT_PURGE:
    case SLOT_CHARS:
    case SLOT_FLOW_CONTROL:
    case SLOT_PIPE_RETRY:
    case SLOT_DEADMAN:
      return {4, 0};
    case SLOT_WAIT_ON_MASK:
    case SLOT_WAIT_COMM_EVENT:
    case SLOT_MODEM_STATUS:
    case SLOT_QUEUE_STATUS:
    case SLOT_QUEUE_STATUS_EX:
    case SLOT_DRIVER_VERSION:
    case SLOT_GET_COMM_MASK:
    case SLOT_COM_PORT:
      return {0, 4};
    case SLOT_SET_LATENCY:
      return {1, 0};
    case SLOT_GET_LATENCY:
    case SLOT_GET_BIT_MODE:
      return {0, 1};
    case SLOT_SET_BIT_MODE:
      return {2, 0};
    case SLOT_USB_PARAMETERS:
      return {8, 0};
    case SLOT_COMM_ERROR:
      return {0, 16};
    case SLOT_SET_COMM_STATE:
      return {DCB_BYTES, 0};
    case SLOT_GET_COMM_STATE:
      return {0, DCB_BYTES};
    case SLOT_DEVICE_INFO:
      return {0, DEVICE_INFO_BYTES};
    case SLOT_PACKET_SIZE:
      return {0, 2};
    case SLOT_CONFIG_READ:
      return {1, 1};
    case SLOT_CONFIG_WRITE:
      return {2, 0};
    case SLOT_ECC_READ:
      return {1, 2};
    case SLOT_VENDOR_GET:
      return {VENDOR_SHORT_BYTES, VENDOR_SHORT_BYTES};
    case SLOT_VENDOR_SET:
      return {VENDOR_SHORT_BYTES, 0};
    case SLOT_VENDOR_GET_EX:
      return {VENDOR_LONG_BYTES, VENDOR_LONG_BYTES};
    case SLOT_VENDOR_SET_EX:
      return {VENDOR_LONG_BYTES, 0};
    default:
      return {0, 0};
  }
}

}  // namespace

uint32_t BridgeDevice::Impl::Control(uint64_t file, uint64_t session, uint32_t code, const void* in,
                                     uint32_t in_length, void* out, uint32_t out_length,
                                     uint32_t* returned) {
  uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  *returned = 0;
  const uint8_t* input = static_cast<const uint8_t*>(in);
  uint8_t* output = static_cast<uint8_t*>(out);

  DeviceRequest entry;
  entry.code = code;
  entry.output_length = out_length;
  if (input != nullptr) entry.input.assign(input, input + in_length);

  bool cycle = false;
  uint32_t error = 0;
  uint32_t base = config_.alternate_requests ? ALTERNATE_REQUEST_BASE : PRIMARY_REQUEST_BASE;
  uint32_t slot = (code - base) / 4;
  bool dead;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    dead = session != session_;
  }
  if ((input == nullptr && in_length > 0) || (output == nullptr && out_length > 0)) {
    error = ERROR_INVALID_PARAMETER;
  } else if (code < base || (code - base) % 4 != 0 || slot >= REQUEST_SLOT_COUNT ||
             !IsValidRequestSlot(slot) || refused_[slot]) {
    error = ERROR_INVALID_FUNCTION;  // the other table, an unknown code, or a refused slot
  } else if (dead) {
    error = ERROR_DEVICE_NOT_CONNECTED;
  } else {
    Lengths need = MinimumLengths(slot);
    if (in_length < need.in || out_length < need.out) {
      error = ERROR_INVALID_PARAMETER;
    } else {
      error = Handle(file, session, slot, input, in_length, output, out_length, returned, &cycle);
    }
  }
  entry.error = error;
  {
    std::lock_guard<std::mutex> lock(log_mutex_);
    log_.push_back(std::move(entry));
  }
  // The port cycle is answered first, then the device drops off the bus.
  if (cycle) Leave(Leaving::kCycle);
  return error;
}

uint32_t BridgeDevice::Impl::Handle(uint64_t file, uint64_t session, uint32_t slot,
                                    const uint8_t* in, uint32_t in_length, uint8_t* out,
                                    uint32_t out_length, uint32_t* returned, bool* cycle) {
  switch (slot) {
    case SLOT_SERIAL:
    case SLOT_DESCRIPTION:
    case SLOT_LOCATION:
    case SLOT_DEVICE_INFO:
    case SLOT_DRIVER_VERSION:
    case SLOT_PACKET_SIZE:
    case SLOT_COM_PORT:
      return HandleIdentity(slot, out, out_length, returned);

    case SLOT_EEPROM_READ:
    case SLOT_EEPROM_WRITE:
    case SLOT_EEPROM_ERASE:
    case SLOT_CONFIG_READ:
    case SLOT_CONFIG_WRITE:
    case SLOT_ECC_READ:
      return HandleEeprom(slot, in, in_length, out, out_length, returned);

    case SLOT_VENDOR_GET:
    case SLOT_VENDOR_SET:
    case SLOT_VENDOR_GET_EX:
    case SLOT_VENDOR_SET_EX:
      return HandleVendor(slot, in, in_length, out, out_length, returned);

    case SLOT_RESET_DEVICE:
    case SLOT_RESET_PORT: {
      // The chip's line settings go back to their defaults and its buffers are emptied; the
      // driver's time-outs and wait mask stay, and the handle keeps working.
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ResetLineLocked();
      }
      BridgeLineState fresh;
      channel_.SetWireParameters(fresh.baud_rate, fresh.latency_timer);
      channel_.SetEventChar(0, false);
      channel_.Purge(true, true);
      channel_.SetStopped(false);
      return 0;
    }
    case SLOT_CYCLE_PORT:
      *cycle = true;
      return 0;
    case SLOT_STOP_IN_TASK:
      channel_.SetStopped(true);
      return 0;
    case SLOT_RESTART_IN_TASK:
      channel_.SetStopped(false);
      return 0;

    case SLOT_EVENT_NOTIFICATION: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.notify_handle = Get32(in);
      line_.notify_mask = Get32(in + 4);
      line_.notify_param = Get32(in + 8);
      return 0;
    }
    case SLOT_EVENT_STATUS:
      Put32(out, channel_.TakeEventStatus());
      *returned = 4;
      return 0;
    case SLOT_STATUS:
      Put32(out, static_cast<uint32_t>(channel_.ReceiveCount()));
      Put32(out + 4, static_cast<uint32_t>(channel_.TransmitCount()));
      Put32(out + 8, channel_.TakeEventStatus());
      *returned = 12;
      return 0;
    case SLOT_QUEUE_STATUS:
    case SLOT_QUEUE_STATUS_EX:
      Put32(out, static_cast<uint32_t>(channel_.ReceiveCount()));
      *returned = 4;
      return 0;
    case SLOT_MODEM_STATUS:
      Put32(out, ModemStatus());
      *returned = 4;
      return 0;

    case SLOT_BAUD_RATE: {
      uint32_t baud = Get32(in);
      if (baud == 0 || baud > MaxBaud()) return ERROR_INVALID_PARAMETER;
      uint8_t latency;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        line_.baud_rate = baud;
        latency = line_.latency_timer;
      }
      channel_.SetWireParameters(baud, latency);
      return 0;
    }
    case SLOT_DIVISOR: {
      uint16_t divisor = Get16(in);
      // The divisor applies to the 3 MHz reference; 0 and 1 both select the top rate.
      uint32_t baud = 3'000'000 / std::max<uint32_t>(divisor, 1);
      uint8_t latency;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        line_.divisor = divisor;
        line_.baud_rate = baud;
        latency = line_.latency_timer;
      }
      channel_.SetWireParameters(baud, latency);
      return 0;
    }
    case SLOT_DATA_CHARACTERISTICS: {
      uint8_t stop_bits = in[0], parity = in[1], word_length = in[2];
      if (!ValidDataCharacteristics(word_length, stop_bits, parity)) {
        return ERROR_INVALID_PARAMETER;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      line_.stop_bits = stop_bits;
      line_.parity = parity;
      line_.word_length = word_length;
      return 0;
    }
    case SLOT_FLOW_CONTROL: {
      uint16_t mode = Get16(in);
      if (mode != FLOW_NONE && mode != FLOW_RTS_CTS && mode != FLOW_DTR_DSR &&
          mode != FLOW_XON_XOFF) {
        return ERROR_INVALID_PARAMETER;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      line_.flow_control = mode;
      line_.xon_char = in[2];
      line_.xoff_char = in[3];
      return 0;
    }
    case SLOT_CHARS: {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        line_.event_char = in[0];
        line_.event_char_enabled = in[1];
        line_.error_char = in[2];
        line_.error_char_enabled = in[3];
      }
      channel_.SetEventChar(in[0], in[1] != 0);
      return 0;
    }
    case SLOT_SET_TIMEOUTS: {
      SerialTimeouts t;
      if (in_length == 8) {
        // {read ms, write ms}: total time-outs; 0 waits for the full count.
        t.read_constant = Get32(in);
        t.write_constant = Get32(in + 4);
      } else if (in_length == COMMTIMEOUTS_BYTES) {
        t.read_interval = Get32(in);
        t.read_multiplier = Get32(in + 4);
        t.read_constant = Get32(in + 8);
        t.write_multiplier = Get32(in + 12);
        t.write_constant = Get32(in + 16);
      } else {
        return ERROR_INVALID_PARAMETER;
      }
      channel_.SetTimeouts(t);
      return 0;
    }
    case SLOT_GET_TIMEOUTS: {
      SerialTimeouts t = channel_.Timeouts();
      Put32(out, t.read_interval);
      Put32(out + 4, t.read_multiplier);
      Put32(out + 8, t.read_constant);
      Put32(out + 12, t.write_multiplier);
      Put32(out + 16, t.write_constant);
      *returned = COMMTIMEOUTS_BYTES;
      return 0;
    }
    case SLOT_BREAK_ON:
    case SLOT_BREAK_OFF: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.break_on = slot == SLOT_BREAK_ON;
      return 0;
    }
    case SLOT_SET_DTR:
    case SLOT_CLR_DTR: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.dtr = slot == SLOT_SET_DTR;
      return 0;
    }
    case SLOT_SET_RTS:
    case SLOT_CLR_RTS: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.rts = slot == SLOT_SET_RTS;
      return 0;
    }
    case SLOT_PURGE: {
      uint32_t mask = Get32(in);
      channel_.Purge((mask & 1) != 0, (mask & 2) != 0);
      return 0;
    }
    case SLOT_SET_LATENCY: {
      uint32_t baud;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        line_.latency_timer = in[0];
        baud = line_.baud_rate;
      }
      channel_.SetWireParameters(baud, in[0]);
      return 0;
    }
    case SLOT_GET_LATENCY: {
      std::lock_guard<std::mutex> lock(mutex_);
      out[0] = line_.latency_timer;
      *returned = 1;
      return 0;
    }
    case SLOT_SET_BIT_MODE: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.bit_mask = in[0];
      line_.bit_mode = in[1];
      return 0;
    }
    case SLOT_GET_BIT_MODE: {
      // Nothing drives the pins: outputs read back as set by the mask, inputs low.
      std::lock_guard<std::mutex> lock(mutex_);
      out[0] = line_.bit_mask;
      *returned = 1;
      return 0;
    }
    case SLOT_USB_PARAMETERS: {
      uint32_t in_size = Get32(in);
      if (in_size < 64 || in_size > 65536) return ERROR_INVALID_PARAMETER;
      std::lock_guard<std::mutex> lock(mutex_);
      line_.usb_in_size = in_size;
      line_.usb_out_size = Get32(in + 4);
      return 0;
    }
    case SLOT_DEADMAN: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.deadman_timeout = Get32(in);
      return 0;
    }
    case SLOT_PIPE_RETRY: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.pipe_retry_count = Get32(in);
      return 0;
    }
    case SLOT_SET_WAIT_MASK:
    case SLOT_SET_COMM_MASK:
      channel_.SetWaitMask(Get32(in));
      return 0;
    case SLOT_GET_COMM_MASK:
      Put32(out, channel_.WaitMask());
      *returned = 4;
      return 0;
    case SLOT_WAIT_ON_MASK:
    case SLOT_WAIT_COMM_EVENT: {
      uint32_t events = 0;
      uint32_t error = channel_.WaitForEvent(file, session, &events);
      if (error != 0) return error;
      Put32(out, events);
      *returned = 4;
      return 0;
    }
    case SLOT_COMM_ERROR: {
      uint8_t reply[16] = {};
      Put32(reply, channel_.TakeCommErrors());
      Put32(reply + 8, static_cast<uint32_t>(channel_.ReceiveCount()));    // cbInQue
      Put32(reply + 12, static_cast<uint32_t>(channel_.TransmitCount()));  // cbOutQue
      std::memcpy(out, reply, sizeof reply);
      *returned = sizeof reply;
      return 0;
    }
    case SLOT_SET_COMM_STATE:
      return SetCommState(in);
    case SLOT_GET_COMM_STATE: {
      uint8_t dcb[DCB_BYTES];
      GetCommState(dcb);
      std::memcpy(out, dcb, DCB_BYTES);
      *returned = DCB_BYTES;
      return 0;
    }
    case SLOT_IDLE:
    case SLOT_CANCEL_IDLE: {
      std::lock_guard<std::mutex> lock(mutex_);
      line_.idle = slot == SLOT_IDLE;
      return 0;
    }
    default:
      return 0;  // valid slots that carry nothing: 0, 2, 3, 86, 108-110
  }
}

uint32_t BridgeDevice::Impl::HandleIdentity(uint32_t slot, uint8_t* out, uint32_t out_length,
                                            uint32_t* returned) {
  switch (slot) {
    case SLOT_SERIAL:
    case SLOT_DESCRIPTION: {
      const std::string& text = slot == SLOT_SERIAL ? config_.serial : *config_.description;
      if (out_length < text.size() + 1) return ERROR_INSUFFICIENT_BUFFER;
      std::memset(out, 0, std::min(out_length, IDENTITY_BYTES));
      std::memcpy(out, text.data(), text.size());
      // Counted without the terminator; the caller's zero-filled buffer supplies it.
      *returned = static_cast<uint32_t>(text.size());
      return 0;
    }
    case SLOT_LOCATION:
      Put32(out, config_.location.value_or(0));
      *returned = 4;
      return 0;
    case SLOT_DEVICE_INFO: {
      uint8_t reply[DEVICE_INFO_BYTES] = {};
      Put32(reply, 0);
      Put32(reply + 4, ChipCode(config_.chip));
      Put32(reply + 8, (uint32_t{config_.vid} << 16) | *config_.pid);
      Put32(reply + 12, config_.extra);
      std::memcpy(reply + 16, config_.serial.data(), config_.serial.size());
      std::memcpy(reply + 32, config_.description->data(), config_.description->size());
      std::memcpy(out, reply, sizeof reply);
      *returned = sizeof reply;
      return 0;
    }
    case SLOT_DRIVER_VERSION:
      Put32(out, config_.driver_version);
      *returned = 4;
      return 0;
    case SLOT_PACKET_SIZE:
      Put16(out, *config_.high_speed ? 512 : 64);
      *returned = 2;
      return 0;
    case SLOT_COM_PORT:
      Put32(out, config_.com_port);
      *returned = 4;
      return 0;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

uint32_t BridgeDevice::Impl::HandleEeprom(uint32_t slot, const uint8_t* in, uint32_t in_length,
                                          uint8_t* out, uint32_t /*out_length*/,
                                          uint32_t* returned) {
  if ((slot == SLOT_CONFIG_READ || slot == SLOT_CONFIG_WRITE || slot == SLOT_ECC_READ) &&
      !HasEepromConfiguration(config_.chip)) {
    return ERROR_INVALID_FUNCTION;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  switch (slot) {
    case SLOT_EEPROM_READ:
      Put16(out, eeprom_.Read(Get32(in)));
      *returned = 2;
      return 0;
    case SLOT_EEPROM_WRITE:
      eeprom_.Write(Get16(in), static_cast<uint16_t>(in[2] | (in[3] << 8)));
      return 0;
    case SLOT_EEPROM_ERASE:
      // Either no input (an erase inside programming) or the erase key; anything else is
      // taken for a stray request rather than wiping the configuration.
      if (in_length != 0 && (in_length != 4 || Get32(in) != ERASE_KEY)) {
        return ERROR_INVALID_PARAMETER;
      }
      eeprom_.Erase();
      return 0;
    case SLOT_CONFIG_READ:
      out[0] = eeprom_.ReadConfig(in[0]);
      *returned = 1;
      return 0;
    case SLOT_CONFIG_WRITE:
      eeprom_.WriteConfig(in[0], in[1]);
      return 0;
    case SLOT_ECC_READ:
      Put16(out, eeprom_.ReadEcc(in[0]));
      *returned = 2;
      return 0;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

uint32_t BridgeDevice::Impl::HandleVendor(uint32_t slot, const uint8_t* in, uint32_t /*in_length*/,
                                          uint8_t* out, uint32_t /*out_length*/,
                                          uint32_t* returned) {
  bool long_form = slot == SLOT_VENDOR_GET_EX || slot == SLOT_VENDOR_SET_EX;
  uint32_t size = long_form ? VENDOR_LONG_BYTES : VENDOR_SHORT_BYTES;
  uint32_t address = long_form ? Get16(in) : in[0];
  uint32_t length = long_form ? Get16(in + 4) : Get16(in + 2);
  uint32_t data = long_form ? 6 : 4;
  if (length > VENDOR_DATA_MAX || address + length > VENDOR_REGISTER_BYTES) {
    return ERROR_INVALID_PARAMETER;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (slot == SLOT_VENDOR_SET || slot == SLOT_VENDOR_SET_EX) {
    std::memcpy(vendor_.data() + address, in + data, length);
    return 0;
  }
  // The same buffer may serve as input and output: build the reply aside first.
  uint8_t reply[VENDOR_LONG_BYTES] = {};
  std::memcpy(reply, in, data);
  std::memcpy(reply + data, vendor_.data() + address, length);
  std::memcpy(out, reply, size);
  *returned = size;
  return 0;
}

uint32_t BridgeDevice::Impl::SetCommState(const uint8_t* dcb) {
  uint32_t baud = Get32(dcb + 4);
  uint32_t flags = Get32(dcb + 8);
  uint8_t byte_size = dcb[18], parity = dcb[19], stop_bits = dcb[20];
  if (baud == 0 || baud > MaxBaud() || !ValidDataCharacteristics(byte_size, stop_bits, parity)) {
    return ERROR_INVALID_PARAMETER;
  }
  uint32_t dtr_control = (flags >> DCB_DTR_SHIFT) & 3;
  uint32_t rts_control = (flags >> DCB_RTS_SHIFT) & 3;
  uint16_t flow = FLOW_NONE;
  if ((flags & DCB_OUTX_CTS) || rts_control == CONTROL_HANDSHAKE)
    flow = FLOW_RTS_CTS;
  else if ((flags & DCB_OUTX_DSR) || dtr_control == CONTROL_HANDSHAKE)
    flow = FLOW_DTR_DSR;
  else if (flags & (DCB_OUTX | DCB_INX))
    flow = FLOW_XON_XOFF;
  uint8_t latency;
  uint8_t event_char;
  bool event_enabled;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    line_.baud_rate = baud;
    line_.word_length = byte_size;
    line_.parity = parity;
    line_.stop_bits = stop_bits;
    line_.flow_control = flow;
    if (dtr_control != CONTROL_HANDSHAKE) line_.dtr = dtr_control == CONTROL_ENABLE;
    if (rts_control != CONTROL_HANDSHAKE) line_.rts = rts_control == CONTROL_ENABLE;
    xon_limit_ = Get16(dcb + 14);
    xoff_limit_ = Get16(dcb + 16);
    line_.xon_char = dcb[21];
    line_.xoff_char = dcb[22];
    line_.error_char = dcb[23];
    line_.error_char_enabled = (flags & DCB_ERROR_CHAR) ? 1 : 0;
    eof_char_ = dcb[24];
    line_.event_char = dcb[25];
    dcb_other_flags_ = flags & DCB_KEPT;
    latency = line_.latency_timer;
    event_char = line_.event_char;
    event_enabled = line_.event_char_enabled != 0;
  }
  channel_.SetWireParameters(baud, latency);
  channel_.SetEventChar(event_char, event_enabled);
  return 0;
}

void BridgeDevice::Impl::GetCommState(uint8_t* dcb) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::memset(dcb, 0, DCB_BYTES);
  uint32_t flags = DCB_BINARY | dcb_other_flags_;
  if (line_.parity != 0) flags |= DCB_PARITY;
  uint32_t dtr_control = line_.dtr ? CONTROL_ENABLE : 0;
  uint32_t rts_control = line_.rts ? CONTROL_ENABLE : 0;
  if (line_.flow_control == FLOW_RTS_CTS) {
    flags |= DCB_OUTX_CTS;
    rts_control = CONTROL_HANDSHAKE;
  } else if (line_.flow_control == FLOW_DTR_DSR) {
    flags |= DCB_OUTX_DSR;
    dtr_control = CONTROL_HANDSHAKE;
  } else if (line_.flow_control == FLOW_XON_XOFF) {
    flags |= DCB_OUTX | DCB_INX;
  }
  if (line_.error_char_enabled) flags |= DCB_ERROR_CHAR;
  flags |= dtr_control << DCB_DTR_SHIFT;
  flags |= rts_control << DCB_RTS_SHIFT;
  Put32(dcb, DCB_BYTES);
  Put32(dcb + 4, line_.baud_rate);
  Put32(dcb + 8, flags);
  Put16(dcb + 14, xon_limit_);
  Put16(dcb + 16, xoff_limit_);
  dcb[18] = line_.word_length;
  dcb[19] = line_.parity;
  dcb[20] = line_.stop_bits;
  dcb[21] = line_.xon_char;
  dcb[22] = line_.xoff_char;
  dcb[23] = line_.error_char;
  dcb[24] = eof_char_;
  dcb[25] = line_.event_char;
}

}  // namespace ralvex::sim
