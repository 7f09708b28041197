#include "bridge/eeprom/chip_select.h"

#include <new>

#include "bridge/eeprom/chip_232h.h"
#include "bridge/eeprom/chip_layouts.h"
#include "bridge/eeprom/chip_x_series.h"

namespace ralvex::bridge::eeprom {

namespace {

template <typename Chip>
std::unique_ptr<TFtE2Data> Make(const FtHandleRecord* record) {
  return std::unique_ptr<TFtE2Data>(new (std::nothrow) Chip(record));
}

// The first row also serves, on the FT_EE_* paths, every device type without a row of its own.
constexpr ChipRow CHIP_ROWS[] = {
    {LAYOUT_232B, &Make<TFtEE232>},     {LAYOUT_2232, &Make<TFtEE2232>},
    {LAYOUT_232R, &Make<TFtEE232R>},    {LAYOUT_2232H, &Make<TFtEE2232H>},
    {LAYOUT_4232H, &Make<TFtEE4232H>},  {LAYOUT_232H, &Make<TFtEE232H>},
    {LAYOUT_X_SERIES, &Make<TFtEEFTX>},
};

}  // namespace

std::span<const ChipRow> ChipRows() {
  return CHIP_ROWS;
}

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
