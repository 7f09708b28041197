// FT_EE_UASize, FT_EE_UARead, FT_EE_UAWrite: the EEPROM space the configuration leaves free.
#include "bridge/eeprom/chip_select.h"
#include "bridge/handle_record.h"

using namespace ralvex::bridge;
using namespace ralvex::bridge::eeprom;

FT_STATUS FT_CALL FT_EE_UASize(FT_HANDLE ftHandle, LPDWORD lpdwSize) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (lpdwSize == nullptr) return FT_INVALID_PARAMETER;
  const std::unique_ptr<TFtE2Data> chip = CreateChip(CHIP_FOR_IMAGE, record);
  if (!chip) return FT_INSUFFICIENT_RESOURCES;
  if (!chip->Load()) {
    *lpdwSize = 0;
    return FT_EEPROM_READ_FAILED;
  }
  *lpdwSize = static_cast<uint16_t>(chip->UserAreaSize() * 2);
  return FT_OK;
}

FT_STATUS FT_CALL FT_EE_UARead(FT_HANDLE ftHandle, PUCHAR pucData, DWORD dwDataLen,
                               LPDWORD lpdwBytesRead) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (pucData == nullptr) return FT_INVALID_PARAMETER;
  if (dwDataLen == 0) return FT_OK;
  if (lpdwBytesRead == nullptr) return FT_INVALID_PARAMETER;
  const std::unique_ptr<TFtE2Data> chip = CreateChip(CHIP_FOR_IMAGE, record);
  if (!chip) return FT_INSUFFICIENT_RESOURCES;
  if (!chip->Load()) return FT_EEPROM_READ_FAILED;
  uint32_t count = 0;
  chip->UserAreaRead(pucData, dwDataLen, &count);
  *lpdwBytesRead = count;
  return FT_OK;
}

FT_STATUS FT_CALL FT_EE_UAWrite(FT_HANDLE ftHandle, PUCHAR pucData, DWORD dwDataLen) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (pucData == nullptr) return FT_INVALID_PARAMETER;
  const std::unique_ptr<TFtE2Data> chip = CreateChip(CHIP_FOR_IMAGE, record);
  if (!chip) return FT_INSUFFICIENT_RESOURCES;
  const LatencyGuard latency = chip->ProgrammingLatency();
  if (!chip->Load()) return FT_EEPROM_READ_FAILED;
  if (!chip->UserAreaWrite(pucData, dwDataLen)) return FT_EEPROM_WRITE_FAILED;
  return chip->EraseAndWrite();
}
