#include "bridge/eeprom/chip_232h.h"

#include <cstddef>

#include "bridge/eeprom/chip_registry.h"

namespace ralvex::bridge::eeprom {

namespace {

using PD = FT_PROGRAM_DATA;
using HR = FT_EEPROM_232H;

constexpr FieldSpec RECORD_FIELDS[] = {
    MAP_FLAG(0x00, 0, HR, IsFifo),
    MAP_FLAG(0x00, 1, HR, IsFifoTar),
    MAP_FLAG(0x00, 2, HR, IsFastSer),
    MAP_FLAG(0x00, 3, HR, IsFT1248),
    MAP_DRIVER_TYPE(0x00, 4, HR, DriverType),
    MAP_FLAG(0x01, 0, HR, FT1248Cpol),
    MAP_FLAG(0x01, 1, HR, FT1248Lsb),
    MAP_FLAG(0x01, 2, HR, FT1248FlowControl),
    MAP_FLAG(0x01, 7, HR, PowerSaveEnable),
    MAP_DRIVE(0x0C, 0, HR, ACDriveCurrent),
    MAP_FLAG(0x0C, 2, HR, ACSlowSlew),
    MAP_FLAG(0x0C, 3, HR, ACSchmittInput),
    MAP_DRIVE(0x0C, 4, HR, ADDriveCurrent),
    MAP_FLAG(0x0C, 6, HR, ADSlowSlew),
    MAP_FLAG(0x0C, 7, HR, ADSchmittInput),
    MAP_VALUE(0x18, 0, 4, HR, Cbus0),
    MAP_VALUE(0x18, 4, 4, HR, Cbus1),
    MAP_VALUE(0x19, 0, 4, HR, Cbus2),
    MAP_VALUE(0x19, 4, 4, HR, Cbus3),
    MAP_VALUE(0x1A, 0, 4, HR, Cbus4),
    MAP_VALUE(0x1A, 4, 4, HR, Cbus5),
    MAP_VALUE(0x1B, 0, 4, HR, Cbus6),
    MAP_VALUE(0x1B, 4, 4, HR, Cbus7),
    MAP_VALUE(0x1C, 0, 4, HR, Cbus8),
    MAP_VALUE(0x1C, 4, 4, HR, Cbus9),
};

constexpr FieldSpec PROGRAM_DATA_FIELDS[] = {
    MAP_FLAG(0x00, 0, PD, IsFifoH),          MAP_FLAG(0x00, 1, PD, IsFifoTarH),
    MAP_FLAG(0x00, 2, PD, IsFastSerH),       MAP_FLAG(0x00, 3, PD, IsFT1248H),
    MAP_FLAG(0x00, 4, PD, IsVCPH),           MAP_FLAG(0x01, 0, PD, FT1248CpolH),
    MAP_FLAG(0x01, 1, PD, FT1248LsbH),       MAP_FLAG(0x01, 2, PD, FT1248FlowControlH),
    MAP_FLAG(0x01, 7, PD, PowerSaveEnableH), MAP_FLAG(0x0A, 2, PD, PullDownEnableH),
    MAP_FLAG(0x0A, 3, PD, SerNumEnableH),    MAP_DRIVE(0x0C, 0, PD, ACDriveCurrentH),
    MAP_FLAG(0x0C, 2, PD, ACSlowSlewH),      MAP_FLAG(0x0C, 3, PD, ACSchmittInputH),
    MAP_DRIVE(0x0C, 4, PD, ADDriveCurrentH), MAP_FLAG(0x0C, 6, PD, ADSlowSlewH),
    MAP_FLAG(0x0C, 7, PD, ADSchmittInputH),  MAP_VALUE(0x18, 0, 4, PD, Cbus0H),
    MAP_VALUE(0x18, 4, 4, PD, Cbus1H),       MAP_VALUE(0x19, 0, 4, PD, Cbus2H),
    MAP_VALUE(0x19, 4, 4, PD, Cbus3H),       MAP_VALUE(0x1A, 0, 4, PD, Cbus4H),
    MAP_VALUE(0x1A, 4, 4, PD, Cbus5H),       MAP_VALUE(0x1B, 0, 4, PD, Cbus6H),
    MAP_VALUE(0x1B, 4, 4, PD, Cbus7H),       MAP_VALUE(0x1C, 0, 4, PD, Cbus8H),
    MAP_VALUE(0x1C, 4, 4, PD, Cbus9H),
};

constexpr RecordRange DECODE_CLEARS[] = {MAP_RANGE(PD, Rev4, RIsD2XX),
                                         MAP_RANGE(PD, ALSlowSlew, BIsVCP7),
                                         MAP_RANGE(PD, PullDownEnable8, DIsVCP8)};

// Of the four interface modes only the first one set is stored.
void KeepFirstMode(UCHAR* modes[4]) {
  bool seen = false;
  for (int i = 0; i < 4; ++i) {
    if (seen) *modes[i] = 0;
    if (*modes[i] != 0) seen = true;
  }
}

}  // namespace

constexpr ChipLayout LAYOUT_232H = {
    .deviceType = FT_DEVICE_232H,
    .recordSize = sizeof(FT_EEPROM_232H),
    .hasConfigurationBytes = true,
    .programDataVersion = 5,
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, PowerSaveEnableH) + 1,
    .encodeProductId = 0x6010,
    .encodePower = 0x64,
    .wordCount = 128,
    .checksumOffset = LARGE_CHECKSUM_OFFSET,
    .stringBase = 0x20,
    .release = 0x0900,
    .typeWordByte = 0x1E,
    .typeWhenUnknown = EEPROM_TYPE_128,
    .movedStringsUserBytes = 0x60,
    .fixedByte = {.imageByte = 0x8A, .value = 0x48},
    .cbusOffset = offsetof(FT_EEPROM_232H, Cbus0),
    .cbusCount = 10,
    .cbusMax = 12,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
};

TFtEE232H::TFtEE232H(const FtHandleRecord* record) : TFtE2Data(record, LAYOUT_232H) {}

bool TFtEE232H::IsLargeEeprom() const {
  return TFtE2Data::IsLargeEeprom() || eepromType_ == EEPROM_TYPE_INTERNAL;
}

void TFtEE232H::ProbeEepromType() {
  // Word 0 is not looked at: a 64-word EEPROM shows the test word at 0x40 as well and is taken
  // for the 128-word type.
  static constexpr ProbeStep STEPS[] = {{0x40, EEPROM_TYPE_128}, {0xC0, EEPROM_TYPE_256}};
  eepromType_ = ProbeByTestWord(STEPS);
  if (eepromType_ == EEPROM_TYPE_NONE) {
    // Nothing answered: the image is laid out as the 128-word type it will declare, strings
    // moved up, so that reading it back finds them.
    eepromType_ = EEPROM_TYPE_128;
    wordCount_ = 128;
  }
  checksumOffset_ = LARGE_CHECKSUM_OFFSET;
}

void TFtEE232H::EncodeOptions(const ChipSettings& settings) {
  ChipSettings fixed = settings;
  UCHAR* modes[4] = {&fixed.options.IsFifoH, &fixed.options.IsFifoTarH, &fixed.options.IsFastSerH,
                     &fixed.options.IsFT1248H};
  KeepFirstMode(modes);
  TFtE2Data::EncodeOptions(fixed);
}

void TFtEE232H::PutChipWords(const void* record) {
  FT_EEPROM_232H fixed = *static_cast<const FT_EEPROM_232H*>(record);
  UCHAR* modes[4] = {&fixed.IsFifo, &fixed.IsFifoTar, &fixed.IsFastSer, &fixed.IsFT1248};
  KeepFirstMode(modes);
  TFtE2Data::PutChipWords(&fixed);
}

}  // namespace ralvex::bridge::eeprom
