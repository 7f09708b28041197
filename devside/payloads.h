// The payloads a bridge driver answers with and the ones it decodes, byte for byte: the sizes the
// request rows check and one encoder or decoder per layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "devside/serial_timeouts.h"

namespace ralvex::devside {

inline constexpr uint32_t DEVICE_INFO_BYTES = 96;
inline constexpr uint32_t IDENTITY_BYTES = 64;  // a serial-number or description query
inline constexpr uint32_t STATUS_BYTES = 12;
inline constexpr uint32_t COMM_ERROR_BYTES = 16;
inline constexpr uint32_t COMMTIMEOUTS_BYTES = 20;
inline constexpr uint32_t SHORT_TIMEOUTS_BYTES = 8;  // {read ms, write ms}
// Longest serial and description the device-information reply carries (terminator excluded).
inline constexpr size_t DEVICE_INFO_SERIAL_MAX = 15;
inline constexpr size_t DEVICE_INFO_DESCRIPTION_MAX = 63;

// Event-status bits of the get-event-status and get-status requests.
inline constexpr uint32_t EVENT_STATUS_RXCHAR = 0x1;
inline constexpr uint32_t EVENT_STATUS_MODEM = 0x2;

// Flow-control modes of the set-flow-control request (its first word; XON and XOFF follow).
inline constexpr uint16_t FLOW_NONE = 0x0000;
inline constexpr uint16_t FLOW_RTS_CTS = 0x0100;
inline constexpr uint16_t FLOW_DTR_DSR = 0x0200;
inline constexpr uint16_t FLOW_XON_XOFF = 0x0400;

// The set-time-outs request: the short form sets the read and write constants only (the rest
// stays 0), the long form is COMMTIMEOUTS. nullopt for any other size.
std::optional<SerialTimeouts> DecodeTimeouts(std::span<const uint8_t> in);
// COMMTIMEOUTS_BYTES bytes.
void EncodeTimeouts(const SerialTimeouts& timeouts, uint8_t* out);

struct DeviceInfoFields {
  uint32_t chipCode = 0;
  uint32_t id = 0;  // VID << 16 | PID
  uint32_t extra = 0;
  std::string_view serial;       // cut to DEVICE_INFO_SERIAL_MAX
  std::string_view description;  // cut to DEVICE_INFO_DESCRIPTION_MAX
};
// DEVICE_INFO_BYTES bytes: 0, chip code, ID, extra word, the serial at 16, the description at 32,
// each zero-terminated.
void EncodeDeviceInfo(const DeviceInfoFields& fields, uint8_t* out);

// A serial-number or description query into `out`: ERROR_INSUFFICIENT_BUFFER unless the text and
// its terminator fit. The first IDENTITY_BYTES bytes are zeroed first; *returned counts the text
// without the terminator.
uint32_t EncodeQueryText(std::string_view text, std::span<uint8_t> out, uint32_t* returned);

// STATUS_BYTES bytes: receive count, transmit count, event status.
void EncodeStatus(uint32_t receive, uint32_t transmit, uint32_t eventStatus, uint8_t* out);
// COMM_ERROR_BYTES bytes: the error word, COMSTAT flags 0, then cbInQue and cbOutQue.
void EncodeCommError(uint32_t errors, uint32_t receive, uint32_t transmit, uint8_t* out);

}  // namespace ralvex::devside
