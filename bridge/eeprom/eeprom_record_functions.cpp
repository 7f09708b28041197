// FT_EEPROM_Read and FT_EEPROM_Program: the device's EEPROM as the chip record of its type.
#include "bridge/eeprom/chip_select.h"
#include "bridge/handle_record.h"

using namespace ralvex::bridge;
using namespace ralvex::bridge::eeprom;

namespace {

// The record must be the chip record of the handle's own type, of exactly its size. The size is
// checked before the record is read at all.
bool RecordMatches(const FtHandleRecord* record, const void* eepromData, DWORD size) {
  const uint32_t expected = EepromRecordSize(record->deviceType);
  return eepromData != nullptr && expected != 0 && size == expected &&
         static_cast<const FT_EEPROM_HEADER*>(eepromData)->deviceType == record->deviceType;
}

}  // namespace

FT_STATUS FT_CALL FT_EEPROM_Read(FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize,
                                 char* Manufacturer, char* ManufacturerId, char* Description,
                                 char* SerialNumber) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (!RecordMatches(record, eepromData, eepromDataSize)) return FT_INVALID_PARAMETER;
  const std::unique_ptr<TFtE2Data> chip = CreateChip(CHIP_FOR_EEPROM_RECORD, record);
  if (!chip) return FT_INSUFFICIENT_RESOURCES;
  return chip->ReadRecord(eepromData,
                          TextBuffers{Manufacturer, ManufacturerId, Description, SerialNumber});
}

FT_STATUS FT_CALL FT_EEPROM_Program(FT_HANDLE ftHandle, void* eepromData, DWORD eepromDataSize,
                                    const char* Manufacturer, const char* ManufacturerId,
                                    const char* Description, const char* SerialNumber) {
  const FtHandleRecord* record = LookupHandle(ftHandle);
  if (record == nullptr) return FT_INVALID_HANDLE;
  if (!RecordMatches(record, eepromData, eepromDataSize)) return FT_INVALID_PARAMETER;
  const std::unique_ptr<TFtE2Data> chip = CreateChip(CHIP_FOR_EEPROM_RECORD, record);
  if (!chip) return FT_INSUFFICIENT_RESOURCES;
  return chip->ProgramRecord(eepromData,
                             EepromTexts{Manufacturer, ManufacturerId, Description, SerialNumber});
}
