// The device-information request, the identity queries, and the identity of an open device.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bridge/handle_record.h"

namespace ralvex::bridge {

inline constexpr uint32_t LIBRARY_VERSION = 0x00030214u;

// Size of the device-information request buffer and of its string fields.
inline constexpr size_t DEVICE_INFO_SIZE = 96;
inline constexpr size_t SERIAL_FIELD_SIZE = 16;
inline constexpr size_t DESCRIPTION_FIELD_SIZE = 64;
// What the driver may fill of an identity query's buffer.
inline constexpr size_t IDENTITY_QUERY_SIZE = 64;

// An identity reply: one byte more than the driver may fill, and that byte stays zero, so a
// string reply without a terminator still ends.
using IdentityReply = char[IDENTITY_QUERY_SIZE + 1];

// The FT_DEVICE number of a driver chip code; FT_DEVICE_UNKNOWN for a code it does not know.
FT_DEVICE DeviceTypeOfChipCode(uint32_t chipCode);

// Sends the device-information request on the record and, when the driver reports success,
// writes each output that is not null: serial (at most SERIAL_FIELD_SIZE bytes) and description
// (at most DESCRIPTION_FIELD_SIZE bytes) are always terminated. Returns the driver's status
// word: FT_OK, the status it wrote, or FT_NOT_SUPPORTED when it refused the request (FT_IO_ERROR
// when it refused the request yet left a success status in the buffer).
FT_STATUS QueryDeviceInfo(const FtHandleRecord* record, FT_DEVICE* type, DWORD* id, char* serial,
                          char* description, DWORD* extra);

// One identity query (serial number, description or location slot): the zero-filled buffer goes
// out and the reply comes back into it; *returned is the count the driver wrote.
bool QueryIdentity(const FtHandleRecord* record, uint32_t slot, IdentityReply& reply,
                   DWORD* returned);

// Copies at most `capacity - 1` characters of a string field of `fieldSize` bytes, stopping at
// its terminator, and terminates the copy. capacity must be at least 1.
void CopyBoundedString(char* destination, size_t capacity, const char* field, size_t fieldSize);

}  // namespace ralvex::bridge
