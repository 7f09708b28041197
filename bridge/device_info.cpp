// The driver channel's own functions: library and driver version, device information, and the
// raw request entry that every fixed-code caller goes through.
#include "bridge/device_info.h"

#include <cstring>

namespace ralvex::bridge {
namespace {

struct ChipFamily {
  uint32_t chip_code;
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

uint32_t ReadLe32(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

}  // namespace

FT_DEVICE DeviceTypeOfChipCode(uint32_t chip_code) {
  for (const ChipFamily& family : CHIP_FAMILIES) {
    if (family.chip_code == chip_code) return family.type;
  }
  return FT_DEVICE_UNKNOWN;
}

void CopyBoundedString(char* destination, size_t capacity, const char* field, size_t field_size) {
  size_t length = 0;
  while (length < field_size && length + 1 < capacity && field[length] != '\0') ++length;
  std::memcpy(destination, field, length);
  destination[length] = '\0';
}

FT_STATUS QueryDeviceInfo(const FtHandleRecord* record, FT_DEVICE* type, DWORD* id, char* serial,
                          char* description, DWORD* extra) {
  uint8_t buffer[DEVICE_INFO_SIZE] = {};
  buffer[0] = static_cast<uint8_t>(FT_NOT_SUPPORTED);
  const BOOL answered =
      SendRequest(record, SLOT_DEVICE_INFO, buffer, sizeof(buffer), buffer, sizeof(buffer));
  // A refusal leaves the preset status in place; whatever the driver wrote is passed on. A
  // refused request never counts as success, even when the status word claims it, and its
  // buffer is not read.
  const FT_STATUS status = ReadLe32(buffer);
  if (!answered) return status != FT_OK ? status : FT_IO_ERROR;
  if (status != FT_OK) return status;
  if (type != nullptr) *type = DeviceTypeOfChipCode(ReadLe32(buffer + 4));
  if (id != nullptr) *id = ReadLe32(buffer + 8);
  if (serial != nullptr) {
    CopyBoundedString(serial, SERIAL_FIELD_SIZE, reinterpret_cast<const char*>(buffer + 16),
                      SERIAL_FIELD_SIZE);
  }
  if (description != nullptr) {
    CopyBoundedString(description, DESCRIPTION_FIELD_SIZE,
                      reinterpret_cast<const char*>(buffer + 32), DESCRIPTION_FIELD_SIZE);
  }
  if (extra != nullptr) *extra = ReadLe32(buffer + 12);
  return FT_OK;
}

}  // namespace ralvex::bridge

using ralvex::bridge::FtHandleRecord;
using ralvex::bridge::LookupHandle;

FT_STATUS FT_CALL FT_GetLibraryVersion(LPDWORD lpdwVersion) {
  if (lpdwVersion == nullptr) return FT_INVALID_PARAMETER;
  *lpdwVersion = ralvex::bridge::LIBRARY_VERSION;
  return FT_OK;
}

FT_STATUS FT_CALL FT_GetDriverVersion(FT_HANDLE ftHandle, LPDWORD lpdwVersion) {
  if (lpdwVersion == nullptr) return FT_INVALID_PARAMETER;
  DWORD returned = 0;
  return FT_IoCtl(ftHandle, ralvex::bridge::PrimaryCode(ralvex::bridge::SLOT_GET_DRIVER_VERSION),
                  nullptr, 0, lpdwVersion, sizeof(DWORD), &returned, nullptr);
}

FT_STATUS FT_CALL FT_GetDeviceInfo(FT_HANDLE ftHandle, FT_DEVICE* lpftDevice, LPDWORD lpdwID,
                                   PCHAR SerialNumber, PCHAR Description, LPDWORD lpdwExtra) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_NOT_SUPPORTED;
  return ralvex::bridge::QueryDeviceInfo(record, lpftDevice, lpdwID, SerialNumber, Description,
                                         lpdwExtra);
}

FT_STATUS FT_CALL FT_IoCtl(FT_HANDLE ftHandle, DWORD dwIoControlCode, LPVOID lpInBuf,
                           DWORD nInBufSize, LPVOID lpOutBuf, DWORD nOutBufSize,
                           LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  const uint32_t slot = ralvex::bridge::SlotOfCode(dwIoControlCode);
  // Beyond the table there is no code to send.
  if (!ralvex::bridge::IsRequestSlot(slot)) return FT_INVALID_PARAMETER;
  DWORD local_returned = 0;
  return DeviceIoControl(record->deviceHandle, record->requestTable[slot], lpInBuf, nInBufSize,
                         lpOutBuf, nOutBufSize,
                         lpBytesReturned != nullptr ? lpBytesReturned : &local_returned,
                         lpOverlapped)
             ? FT_OK
             : FT_IO_ERROR;
}
