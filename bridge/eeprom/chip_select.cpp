#include "bridge/eeprom/chip_select.h"

#include "bridge/eeprom/chip_registry.h"

namespace ralvex::bridge::eeprom {

const ChipRow* FindChipRow(uint32_t deviceType) {
  for (const ChipRow& row : CHIP_ROWS) {
    if (row.layout.deviceType == deviceType) return &row;
  }
  return nullptr;
}

const ChipRow* ChipRowFor(ChipPurpose purpose, uint32_t deviceType) {
  const ChipRow* row = FindChipRow(deviceType);
  return row != nullptr || purpose == CHIP_FOR_EEPROM_RECORD ? row : &CHIP_ROWS[0];
}

uint32_t EepromRecordSize(uint32_t deviceType) {
  const ChipRow* row = FindChipRow(deviceType);
  return row != nullptr ? row->layout.recordSize : 0;
}

std::unique_ptr<TFtE2Data> CreateChip(ChipPurpose purpose, const FtHandleRecord* record) {
  const ChipRow* row = ChipRowFor(purpose, record->deviceType);
  return row != nullptr ? row->create(record) : nullptr;
}

}  // namespace ralvex::bridge::eeprom
