// The request slots a bridge driver serves and the control codes that carry them. The names are
// the access layer's, for the same slots, but the definition is the device side's own: the bench
// checks the access layer's codes, so it must not borrow them.
#pragma once

#include <cstdint>
#include <optional>

namespace ralvex::devside {

// The primary table uses 0x00220000 + 4 * slot, the alternate 0x00222000 + 4 * slot.
inline constexpr uint32_t PRIMARY_REQUEST_BASE = 0x00220000;
inline constexpr uint32_t ALTERNATE_REQUEST_BASE = 0x00222000;
inline constexpr uint32_t REQUEST_SLOT_COUNT = 126;

constexpr uint32_t PrimaryRequestCode(uint32_t slot) {
  return PRIMARY_REQUEST_BASE + 4 * slot;
}
constexpr uint32_t AlternateRequestCode(uint32_t slot) {
  return ALTERNATE_REQUEST_BASE + 4 * slot;
}

// The slot `code` names in the table starting at `base`; nullopt for a code below the table or
// between two slots. The slot may lie past the table's end: a dispatcher finds no row for it.
constexpr std::optional<uint32_t> SlotOfCode(uint32_t code, uint32_t base) {
  if (code < base || (code - base) % 4 != 0) return std::nullopt;
  return (code - base) / 4;
}

enum RequestSlot : uint32_t {
  SLOT_RESET_DEVICE = 1,
  SLOT_CYCLE_PORT = 16,
  SLOT_EEPROM_READ = 32,
  SLOT_EEPROM_WRITE = 33,
  SLOT_EEPROM_ERASE = 34,
  SLOT_SET_EVENT_NOTIFICATION = 35,
  SLOT_GET_EVENT_STATUS = 36,
  SLOT_GET_STATUS = 37,
  SLOT_SET_DIVISOR = 38,
  SLOT_QUERY_SERIAL_NUMBER = 39,
  SLOT_QUERY_DESCRIPTION = 40,
  SLOT_QUERY_LOCATION = 41,
  SLOT_SET_BAUD_RATE = 65,
  SLOT_SET_DATA_CHARACTERISTICS = 67,
  SLOT_SET_BREAK_ON = 68,
  SLOT_SET_BREAK_OFF = 69,
  SLOT_SET_TIMEOUTS = 71,
  SLOT_GET_COMM_TIMEOUTS = 72,
  SLOT_SET_DTR = 73,
  SLOT_CLR_DTR = 74,
  SLOT_SET_RTS = 76,
  SLOT_CLR_RTS = 77,
  SLOT_SET_WAIT_MASK = 81,
  SLOT_WAIT_ON_MASK = 82,
  SLOT_PURGE = 83,
  SLOT_SET_CHARS = 87,
  SLOT_SET_FLOW_CONTROL = 89,
  SLOT_GET_MODEM_STATUS = 90,
  SLOT_GET_QUEUE_STATUS = 91,
  SLOT_SET_LATENCY_TIMER = 92,
  SLOT_GET_LATENCY_TIMER = 93,
  SLOT_SET_BIT_MODE = 94,
  SLOT_GET_BIT_MODE = 95,
  SLOT_SET_USB_PARAMETERS = 96,
  SLOT_SET_COMM_MASK = 97,
  SLOT_WAIT_COMM_EVENT = 98,
  SLOT_CLEAR_COMM_ERROR = 99,
  SLOT_SET_COMM_STATE = 100,
  SLOT_GET_COMM_STATE = 101,
  SLOT_DEVICE_INFO = 102,
  SLOT_STOP_IN_TASK = 103,
  SLOT_RESTART_IN_TASK = 104,
  SLOT_SET_RESET_PIPE_RETRY_COUNT = 105,
  SLOT_RESET_PORT = 106,
  SLOT_SET_DEADMAN_TIMEOUT = 107,
  SLOT_GET_DRIVER_VERSION = 111,
  SLOT_GET_COMM_MASK = 112,
  SLOT_GET_PACKET_SIZE = 113,
  SLOT_GET_COM_PORT_NUMBER = 114,
  SLOT_EEPROM_CONFIG_READ = 115,
  SLOT_EEPROM_CONFIG_WRITE = 116,
  SLOT_EEPROM_ECC_READ = 117,
  SLOT_GET_QUEUE_STATUS_EX = 118,
  SLOT_COM_PORT_IDLE = 119,
  SLOT_COM_PORT_CANCEL_IDLE = 120,
  SLOT_VENDOR_CMD_GET = 121,
  SLOT_VENDOR_CMD_SET = 122,
  SLOT_VENDOR_CMD_GET_EX = 123,
  SLOT_VENDOR_CMD_SET_EX = 124,
};

}  // namespace ralvex::devside
