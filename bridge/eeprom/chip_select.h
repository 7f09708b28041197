// Which chip object serves an EEPROM call, from the handle's device type: the lookups of the chip
// registry (CHIP_ROWS in chip_registry.h), one row per chip family with an image of its own. A
// row's layout carries every fact about its chip, its device type and record size included.
#pragma once

#include <cstdint>
#include <memory>

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

// A row of the chip registry: a chip family's layout and the class that works on it.
struct ChipRow {
  const ChipLayout& layout;
  // A new chip object on `layout`; null when allocation fails.
  std::unique_ptr<TFtE2Data> (*create)(const FtHandleRecord* record);
};

// The row of a device type; null when it has none.
const ChipRow* FindChipRow(uint32_t deviceType);

enum ChipPurpose : uint8_t {
  CHIP_FOR_IMAGE,          // FT_EE_*: a type without a row of its own reads as a 232B image
  CHIP_FOR_EEPROM_RECORD,  // FT_EEPROM_*: only the types with a row
};

// The row a purpose takes for a device type; null when the purpose refuses the type.
const ChipRow* ChipRowFor(ChipPurpose purpose, uint32_t deviceType);

// The size of the FT_EEPROM_* record of a device type; 0 when FT_EEPROM_Read and
// FT_EEPROM_Program do not take the type.
uint32_t EepromRecordSize(uint32_t deviceType);

// A new chip object for the record's device, or null when allocation fails or the purpose
// refuses the type.
std::unique_ptr<TFtE2Data> CreateChip(ChipPurpose purpose, const FtHandleRecord* record);

}  // namespace ralvex::bridge::eeprom
