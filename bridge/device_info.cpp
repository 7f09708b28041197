// The driver channel's own functions: library and driver version, device information and the
// identity queries.
#include "bridge/device_info.h"

#include <cstring>

#include "bridge/payload.h"
#include "bridge/request_path.h"

namespace ralvex::bridge {
namespace {

struct ChipFamily {
  uint32_t chipCode;
  FT_DEVICE type;
};

constexpr ChipFamily CHIP_FAMILIES[] = {
    {0x40360011u, FT_DEVICE_BM},        {0x40360010u, FT_DEVICE_AM},
    {0x40383720u, FT_DEVICE_100AX},     {0x40360100u, FT_DEVICE_2232C},
    {0x40360012u, FT_DEVICE_232R},      {0x40360101u, FT_DEVICE_2232H},
    {0x40360110u, FT_DEVICE_4232H},     {0x40360140u, FT_DEVICE_232H},
    {0x40360150u, FT_DEVICE_X_SERIES},  {0x403601C0u, FT_DEVICE_4222H_0},
    {0x403601C1u, FT_DEVICE_4222H_1_2}, {0x403601C3u, FT_DEVICE_4222H_3},
    {0x4030FEC0u, FT_DEVICE_4222_PROG}, {0x40360310u, FT_DEVICE_900},
    {0x40360320u, FT_DEVICE_930},       {0x403603E0u, FT_DEVICE_UMFTPD3A},
};

}  // namespace

FT_DEVICE DeviceTypeOfChipCode(uint32_t chipCode) {
  for (const ChipFamily& family : CHIP_FAMILIES) {
    if (family.chipCode == chipCode) return family.type;
  }
  return FT_DEVICE_UNKNOWN;
}

void CopyBoundedString(char* destination, size_t capacity, const char* field, size_t fieldSize) {
  size_t length = 0;
  while (length < fieldSize && length + 1 < capacity && field[length] != '\0') ++length;
  std::memcpy(destination, field, length);
  destination[length] = '\0';
}

FT_STATUS QueryDeviceInfo(const FtHandleRecord* record, FT_DEVICE* type, DWORD* id, char* serial,
                          char* description, DWORD* extra) {
  uint8_t buffer[DEVICE_INFO_SIZE] = {};
  buffer[0] = static_cast<uint8_t>(FT_NOT_SUPPORTED);
  const bool answered = SendRequest(record, SLOT_DEVICE_INFO, buffer, buffer) == REQUEST_ACCEPTED;
  // A refusal leaves the preset status in place; whatever the driver wrote is passed on. A
  // refused request never counts as success, even when the status word claims it, and its
  // buffer is not read.
  const FT_STATUS status = GetLe32(buffer);
  if (!answered) return status != FT_OK ? status : FT_IO_ERROR;
  if (status != FT_OK) return status;
  if (type != nullptr) *type = DeviceTypeOfChipCode(GetLe32(buffer + 4));
  if (id != nullptr) *id = GetLe32(buffer + 8);
  if (serial != nullptr) {
    CopyBoundedString(serial, SERIAL_FIELD_SIZE, reinterpret_cast<const char*>(buffer + 16),
                      SERIAL_FIELD_SIZE);
  }
  if (description != nullptr) {
    CopyBoundedString(description, DESCRIPTION_FIELD_SIZE,
                      reinterpret_cast<const char*>(buffer + 32), DESCRIPTION_FIELD_SIZE);
  }
  if (extra != nullptr) *extra = GetLe32(buffer + 12);
  return FT_OK;
}

bool QueryIdentity(const FtHandleRecord* record, uint32_t slot, IdentityReply& reply,
                   DWORD* returned) {
  std::memset(reply, 0, sizeof(reply));
  *returned = 0;
  const std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(reply), IDENTITY_QUERY_SIZE);
  return SendRequest(record, slot, bytes, bytes, returned) == REQUEST_ACCEPTED;
}

}  // namespace ralvex::bridge

using namespace ralvex::bridge;

FT_STATUS FT_CALL FT_GetLibraryVersion(LPDWORD lpdwVersion) {
  if (lpdwVersion == nullptr) return FT_INVALID_PARAMETER;
  *lpdwVersion = LIBRARY_VERSION;
  return FT_OK;
}

FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE ftHandle, LPDWORD lpdwVersion) {
  if (lpdwVersion == nullptr) return FT_INVALID_PARAMETER;
  return FtStatusOf(
      SendRequest(LookupHandle(ftHandle), SLOT_GET_DRIVER_VERSION, {}, BytesOf(*lpdwVersion)));
}

FT_STATUS FT_CALL FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID,
                                   PCHAR SerialNumber, PCHAR Description, LPDWORD lpdwExtra) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_NOT_SUPPORTED;
  return QueryDeviceInfo(record, lpftDevice, lpdwID, SerialNumber, Description, lpdwExtra);
}
