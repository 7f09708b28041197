// Which chip class serves an EEPROM call, from the handle's device type.
#pragma once

#include <cstdint>
#include <memory>

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

enum ChipPurpose : uint8_t {
  CHIP_FOR_PROGRAM_DATA,   // FT_EE_Program, FT_EE_Read: 232B class for unlisted types
  CHIP_FOR_USER_AREA,      // FT_EE_UA*: 232B class for unlisted types (232R included)
  CHIP_FOR_EEPROM_RECORD,  // FT_EEPROM_*: only the types with a chip record
};

// The size of the FT_EEPROM_* record of a device type; 0 when FT_EEPROM_Read and
// FT_EEPROM_Program do not take the type.
uint32_t EepromRecordSize(uint32_t deviceType);

// A new chip object for the record's device, or null when allocation fails or (for
// CHIP_FOR_EEPROM_RECORD) the type has no chip record.
std::unique_ptr<TFtE2Data> CreateChip(ChipPurpose purpose, const FtHandleRecord* record);

}  // namespace ralvex::bridge::eeprom
