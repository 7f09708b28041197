#include "devside/payloads.h"

#include <algorithm>
#include <cstring>

#include "devside/little_endian.h"
#include "platform/win32.h"

namespace ralvex::devside {

std::optional<SerialTimeouts> DecodeTimeouts(std::span<const uint8_t> in) {
  SerialTimeouts t;
  if (in.size() == SHORT_TIMEOUTS_BYTES) {
    t.readConstant = Get32(in.data());
    t.writeConstant = Get32(in.data() + 4);
  } else if (in.size() == COMMTIMEOUTS_BYTES) {
    t.readInterval = Get32(in.data());
    t.readMultiplier = Get32(in.data() + 4);
    t.readConstant = Get32(in.data() + 8);
    t.writeMultiplier = Get32(in.data() + 12);
    t.writeConstant = Get32(in.data() + 16);
  } else {
    return std::nullopt;
  }
  return t;
}

void EncodeTimeouts(const SerialTimeouts& t, uint8_t* out) {
  const uint32_t fields[] = {t.readInterval, t.readMultiplier, t.readConstant, t.writeMultiplier,
                             t.writeConstant};
  for (size_t i = 0; i < std::size(fields); ++i) Put32(out + 4 * i, fields[i]);
}

void EncodeDeviceInfo(const DeviceInfoFields& fields, uint8_t* out) {
  std::memset(out, 0, DEVICE_INFO_BYTES);
  Put32(out + 4, fields.chipCode);
  Put32(out + 8, fields.id);
  Put32(out + 12, fields.extra);
  const std::string_view serial = fields.serial.substr(0, DEVICE_INFO_SERIAL_MAX);
  const std::string_view description = fields.description.substr(0, DEVICE_INFO_DESCRIPTION_MAX);
  std::copy(serial.begin(), serial.end(), out + 16);
  std::copy(description.begin(), description.end(), out + 32);
}

uint32_t EncodeQueryText(std::string_view text, std::span<uint8_t> out, uint32_t* returned) {
  if (out.size() < text.size() + 1) return ERROR_INSUFFICIENT_BUFFER;
  std::fill_n(out.begin(), std::min<size_t>(out.size(), IDENTITY_BYTES), 0);
  std::copy(text.begin(), text.end(), out.begin());
  // Counted without the terminator; the caller's zero-filled buffer supplies it.
  *returned = static_cast<uint32_t>(text.size());
  return 0;
}

void EncodeStatus(uint32_t receive, uint32_t transmit, uint32_t eventStatus, uint8_t* out) {
  Put32(out, receive);
  Put32(out + 4, transmit);
  Put32(out + 8, eventStatus);
}

void EncodeCommError(uint32_t errors, uint32_t receive, uint32_t transmit, uint8_t* out) {
  std::memset(out, 0, COMM_ERROR_BYTES);
  Put32(out, errors);
  Put32(out + 8, receive);
  Put32(out + 12, transmit);
}

}  // namespace ralvex::devside
