// The driver's request tables: which control code each request slot is sent with.
//
// A handle uses the primary table unless its device refused the device-information request
// through it at open; then it uses the alternate table for its whole life.
#pragma once

#include <array>
#include <cstdint>

namespace ralvex::bridge {

inline constexpr uint32_t REQUEST_SLOT_COUNT = 126;
// What a slot the driver does not serve holds; sent as is, the driver refuses it.
inline constexpr uint32_t REQUEST_CODE_UNSERVED = 0xFFFFFFFFu;

using RequestTable = std::array<uint32_t, REQUEST_SLOT_COUNT>;

namespace detail {
constexpr bool ServedSlot(uint32_t slot) {
  return slot <= 3 || slot == 16 || (slot >= 32 && slot <= 41) || slot == 65 ||
         (slot >= 67 && slot <= 69) || (slot >= 71 && slot <= 74) || slot == 76 || slot == 77 ||
         (slot >= 81 && slot <= 83) || slot == 86 || slot == 87 || (slot >= 89 && slot <= 124);
}
constexpr RequestTable BuildTable(uint32_t base, uint32_t lastSlotCode) {
  RequestTable table{};
  for (uint32_t slot = 0; slot < REQUEST_SLOT_COUNT; ++slot) {
    table[slot] = ServedSlot(slot) ? base + 4u * slot : REQUEST_CODE_UNSERVED;
  }
  table[REQUEST_SLOT_COUNT - 1] = lastSlotCode;
  return table;
}
}  // namespace detail

// Slot i holds 0x00220000 + 4i (function i) or 0x00222000 + 4i (function 0x800 + i); slot 125
// holds 0 in the primary table.
inline constexpr RequestTable PRIMARY_REQUEST_TABLE = detail::BuildTable(0x00220000u, 0u);
inline constexpr RequestTable ALTERNATE_REQUEST_TABLE =
    detail::BuildTable(0x00222000u, REQUEST_CODE_UNSERVED);

// The slot a control code names: bits 2-13, so a full code (0x0022009C) and its low bits (0x9C)
// name the same slot. The result may lie beyond the tables; check IsRequestSlot.
constexpr uint32_t SlotOfCode(uint32_t code) {
  return (code >> 2) & 0xFFFu;
}
constexpr bool IsRequestSlot(uint32_t slot) {
  return slot < REQUEST_SLOT_COUNT;
}

// Request slots in use.
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

}  // namespace ralvex::bridge
