// Single-word access, erase, and the configuration and ECC bytes of the chips that have them.
#include "bridge/eeprom/chip_select.h"
#include "bridge/handle_record.h"
#include "bridge/payload.h"
#include "bridge/request_path.h"
#include "bridge/request_tables.h"

using namespace ralvex::bridge;

namespace {

// What FT_EraseEE sends so the driver knows the erase is meant.
constexpr uint32_t ERASE_KEY = 0xADEE0BAD;

bool HasConfigurationBytes(const FtHandleRecord* record) {
  const eeprom::ChipRow* row = eeprom::FindChipRow(record->deviceType);
  return row != nullptr && row->layout.hasConfigurationBytes;
}

}  // namespace

FT_STATUS FT_CALL FT_ReadEE(FT_HANDLE ftHandle, DWORD dwWordOffset, LPWORD lpwValue) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (lpwValue == nullptr) return FT_INVALID_PARAMETER;
  const auto in = Le32(dwWordOffset);
  uint8_t out[2] = {};
  const FT_STATUS status = FtStatusOf(SendRequest(record, SLOT_EEPROM_READ, in, out));
  if (status == FT_OK) *lpwValue = static_cast<WORD>(out[0] | out[1] << 8);
  return status;
}

FT_STATUS FT_CALL FT_WriteEE(FT_HANDLE ftHandle, DWORD dwWordOffset, WORD wValue) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  const uint8_t in[4] = {static_cast<uint8_t>(dwWordOffset),
                         static_cast<uint8_t>(dwWordOffset >> 8), static_cast<uint8_t>(wValue),
                         static_cast<uint8_t>(wValue >> 8)};
  return FtStatusOf(SendRequest(record, SLOT_EEPROM_WRITE, in, {}));
}

FT_STATUS FT_CALL FT_EraseEE(FT_HANDLE ftHandle) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  const auto in = Le32(ERASE_KEY);
  return FtStatusOf(SendRequest(record, SLOT_EEPROM_ERASE, in, {}));
}

FT_STATUS FT_CALL FT_EE_ReadConfig(FT_HANDLE ftHandle, UCHAR ucAddress, PUCHAR pucValue) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (pucValue == nullptr) return FT_INVALID_PARAMETER;
  if (!HasConfigurationBytes(record)) return FT_NOT_SUPPORTED;
  const uint8_t in[1] = {ucAddress};
  uint8_t out[1] = {};
  const FT_STATUS status = FtStatusOf(SendRequest(record, SLOT_EEPROM_CONFIG_READ, in, out));
  if (status == FT_OK) *pucValue = out[0];
  return status;
}

FT_STATUS FT_CALL FT_EE_WriteConfig(FT_HANDLE ftHandle, UCHAR ucAddress, UCHAR ucValue) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (!HasConfigurationBytes(record)) return FT_NOT_SUPPORTED;
  const uint8_t in[2] = {ucAddress, ucValue};
  return FtStatusOf(SendRequest(record, SLOT_EEPROM_CONFIG_WRITE, in, {}));
}

FT_STATUS FT_CALL FT_EE_ReadECC(FT_HANDLE ftHandle, UCHAR ucOption, LPWORD lpwValue) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (lpwValue == nullptr) return FT_INVALID_PARAMETER;
  if (!HasConfigurationBytes(record)) return FT_NOT_SUPPORTED;
  const uint8_t in[1] = {ucOption};
  uint8_t out[2] = {};
  const FT_STATUS status = FtStatusOf(SendRequest(record, SLOT_EEPROM_ECC_READ, in, out));
  if (status == FT_OK) *lpwValue = static_cast<WORD>(out[0] | out[1] << 8);
  return status;
}
