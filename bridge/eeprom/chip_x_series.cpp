#include "bridge/eeprom/chip_x_series.h"

#include <cstddef>
#include <cstring>

#include "bridge/eeprom/chip_registry.h"

namespace ralvex::bridge::eeprom {

namespace {

using XR = FT_EEPROM_X_SERIES;

constexpr FieldSpec RECORD_FIELDS[] = {
    MAP_FLAG(0x00, 0, XR, BCDEnable),
    MAP_FLAG(0x00, 1, XR, BCDForceCbusPWREN),
    MAP_FLAG(0x00, 2, XR, BCDDisableSleep),
    MAP_FLAG(0x00, 3, XR, RS485EchoSuppress),
    MAP_FLAG(0x00, 6, XR, PowerSaveEnable),
    MAP_DRIVER_TYPE(0x00, 7, XR, DriverType),
    MAP_FLAG(0x0A, 4, XR, FT1248Cpol),
    MAP_FLAG(0x0A, 5, XR, FT1248Lsb),
    MAP_FLAG(0x0A, 6, XR, FT1248FlowControl),
    MAP_FLAG(0x0A, 7, XR, I2CDisableSchmitt),
    MAP_FLAG(0x0B, 0, XR, InvertTXD),
    MAP_FLAG(0x0B, 1, XR, InvertRXD),
    MAP_FLAG(0x0B, 2, XR, InvertRTS),
    MAP_FLAG(0x0B, 3, XR, InvertCTS),
    MAP_FLAG(0x0B, 4, XR, InvertDTR),
    MAP_FLAG(0x0B, 5, XR, InvertDSR),
    MAP_FLAG(0x0B, 6, XR, InvertDCD),
    MAP_FLAG(0x0B, 7, XR, InvertRI),
    MAP_DRIVE(0x0C, 0, XR, ADDriveCurrent),
    MAP_FLAG(0x0C, 2, XR, ADSlowSlew),
    MAP_FLAG(0x0C, 3, XR, ADSchmittInput),
    MAP_DRIVE(0x0C, 4, XR, ACDriveCurrent),
    MAP_FLAG(0x0C, 6, XR, ACSlowSlew),
    MAP_FLAG(0x0C, 7, XR, ACSchmittInput),
    MAP_VALUE(0x14, 0, 16, XR, I2CSlaveAddress),
    MAP_VALUE(0x16, 0, 24, XR, I2CDeviceId),
    MAP_VALUE(0x1A, 0, 8, XR, Cbus0),
    MAP_VALUE(0x1B, 0, 8, XR, Cbus1),
    MAP_VALUE(0x1C, 0, 8, XR, Cbus2),
    MAP_VALUE(0x1D, 0, 8, XR, Cbus3),
    MAP_VALUE(0x1E, 0, 8, XR, Cbus4),
    MAP_VALUE(0x1F, 0, 8, XR, Cbus5),
    MAP_VALUE(0x20, 0, 8, XR, Cbus6),
};

// Words outside the checksum: the first user-area region.
constexpr uint32_t UNCHECKED_FIRST = 0x12;
constexpr uint32_t UNCHECKED_END = 0x40;
// Word ranges programming keeps from the device: the first user region, 0x80-0x9F and the
// second user region.
struct WordRange {
  uint32_t first;
  uint32_t end;
};
constexpr WordRange PRESERVED_WORDS[] = {{0x12, 0x40}, {0x40, 0x50}, {0x80, 0x400}};

constexpr UserAreaRegions USER_AREA = {0x24, 92, 0x100, 0x3AE * 2};

}  // namespace

constexpr ChipLayout LAYOUT_X_SERIES = {
    .deviceType = FT_DEVICE_X_SERIES,
    .recordSize = sizeof(FT_EEPROM_X_SERIES),
    .hasConfigurationBytes = true,
    // Its image has nothing in common with FT_PROGRAM_DATA: FT_EEPROM_Read and FT_EEPROM_Program
    // serve it.
    .takesProgramData = false,
    .wordCount = 1024,
    .checksumOffset = LARGE_CHECKSUM_OFFSET,
    .stringBase = 0xA0,
    .stringEnd = 0xFE,
    .emptyDescriptor = false,
    .release = 0x1000,
    .cbusOffset = offsetof(FT_EEPROM_X_SERIES, Cbus0),
    .cbusCount = 7,
    .cbusMax = 21,
    .recordFields = RECORD_FIELDS,
};

TFtEEFTX::TFtEEFTX(const FtHandleRecord* record) : TFtE2Data(record, LAYOUT_X_SERIES) {}

bool TFtEEFTX::Load() {
  if (!TFtE2Data::Load()) return false;
  // The strings always lie in the upper half of the first 256 bytes.
  manufacturerOffset_ += STRING_MOVE;
  productOffset_ += STRING_MOVE;
  serialOffset_ += STRING_MOVE;
  return true;
}

void TFtEEFTX::UpdateChecksum() {
  uint16_t value = 0xAAAA;
  for (uint32_t i = 0; i < checksumOffset_ / 2; ++i) {
    if (i >= UNCHECKED_FIRST && i < UNCHECKED_END) continue;
    value = static_cast<uint16_t>(value ^ Word(i));
    value = static_cast<uint16_t>(value << 1 | value >> 15);
  }
  checksum_ = value;
  SetWord(checksumOffset_ / 2, value);
}

UserAreaRegions TFtEEFTX::UserArea() {
  return USER_AREA;
}

void TFtEEFTX::ProbeEepromType() {
  eepromType_ = EEPROM_TYPE_X_SERIES;
}

bool TFtEEFTX::PrepareImage() {
  std::memset(image_, 0, sizeof image_);
  ProbeEepromType();
  for (const WordRange& range : PRESERVED_WORDS) {
    for (uint32_t i = range.first; i < range.end; ++i) {
      uint16_t word = 0;
      ReadWord(i, &word);
      SetWord(i, word);
    }
  }
  return true;
}

}  // namespace ralvex::bridge::eeprom
