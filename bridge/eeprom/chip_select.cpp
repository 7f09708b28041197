#include "bridge/eeprom/chip_select.h"

#include <new>

#include "bridge/eeprom/chip_2232.h"
#include "bridge/eeprom/chip_2232h.h"
#include "bridge/eeprom/chip_232b.h"
#include "bridge/eeprom/chip_232h.h"
#include "bridge/eeprom/chip_232r.h"
#include "bridge/eeprom/chip_4232h.h"
#include "bridge/eeprom/chip_x_series.h"

namespace ralvex::bridge::eeprom {

namespace {

template <typename Chip>
std::unique_ptr<TFtE2Data> Make(const FtHandleRecord* record) {
  return std::unique_ptr<TFtE2Data>(new (std::nothrow) Chip(record));
}

}  // namespace

uint32_t EepromRecordSize(uint32_t deviceType) {
  switch (deviceType) {
    case FT_DEVICE_BM:
      return sizeof(FT_EEPROM_232B);
    case FT_DEVICE_2232C:
      return sizeof(FT_EEPROM_2232);
    case FT_DEVICE_232R:
      return sizeof(FT_EEPROM_232R);
    case FT_DEVICE_2232H:
      return sizeof(FT_EEPROM_2232H);
    case FT_DEVICE_4232H:
      return sizeof(FT_EEPROM_4232H);
    case FT_DEVICE_232H:
      return sizeof(FT_EEPROM_232H);
    case FT_DEVICE_X_SERIES:
      return sizeof(FT_EEPROM_X_SERIES);
    default:
      return 0;
  }
}

std::unique_ptr<TFtE2Data> CreateChip(ChipPurpose purpose, const FtHandleRecord* record) {
  const uint32_t type = record->deviceType;
  if (purpose == CHIP_FOR_EEPROM_RECORD && EepromRecordSize(type) == 0) return nullptr;
  switch (type) {
    case FT_DEVICE_2232C:
      return Make<TFtEE2232>(record);
    case FT_DEVICE_2232H:
      return Make<TFtEE2232H>(record);
    case FT_DEVICE_4232H:
      return Make<TFtEE4232H>(record);
    case FT_DEVICE_232R:
      // The user-area functions treat the 232R as a 232B-class image.
      return purpose == CHIP_FOR_USER_AREA ? Make<TFtEE232>(record) : Make<TFtEE232R>(record);
    case FT_DEVICE_232H:
      return Make<TFtEE232H>(record);
    case FT_DEVICE_X_SERIES:
      return purpose == CHIP_FOR_PROGRAM_DATA ? Make<TFtEE232>(record) : Make<TFtEEFTX>(record);
    default:
      return Make<TFtEE232>(record);
  }
}

}  // namespace ralvex::bridge::eeprom
