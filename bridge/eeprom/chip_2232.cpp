// Word map of the 2232 image. Rows read like the image table: byte, bit, record field.
#include "bridge/eeprom/chip_2232.h"

#include <cstddef>

namespace ralvex::bridge::eeprom {
namespace {

// FT_EEPROM_2232 <-> image. The header fields go through the common path.
constexpr FieldSpec RECORD_FIELDS[] = {
    MAP_FLAG(0x00, 0, FT_EEPROM_2232, AIsFifo),
    MAP_FLAG(0x00, 1, FT_EEPROM_2232, AIsFifoTar),
    MAP_FLAG(0x00, 2, FT_EEPROM_2232, AIsFastSer),
    MAP_DRIVER_TYPE(0x00, 3, FT_EEPROM_2232, ADriverType),
    MAP_FLAG(0x00, 4, FT_EEPROM_2232, AIsHighCurrent),
    MAP_FLAG(0x01, 0, FT_EEPROM_2232, BIsFifo),
    MAP_FLAG(0x01, 1, FT_EEPROM_2232, BIsFifoTar),
    MAP_FLAG(0x01, 2, FT_EEPROM_2232, BIsFastSer),
    MAP_DRIVER_TYPE(0x01, 3, FT_EEPROM_2232, BDriverType),
    MAP_FLAG(0x01, 4, FT_EEPROM_2232, BIsHighCurrent),
};

// FT_PROGRAM_DATA's 2232 block <-> image.
constexpr FieldSpec PROGRAM_DATA_FIELDS[] = {
    MAP_FLAG(0x00, 0, FT_PROGRAM_DATA, IFAIsFifo),
    MAP_FLAG(0x00, 1, FT_PROGRAM_DATA, IFAIsFifoTar),
    MAP_FLAG(0x00, 2, FT_PROGRAM_DATA, IFAIsFastSer),
    MAP_FLAG(0x00, 3, FT_PROGRAM_DATA, AIsVCP),
    MAP_FLAG(0x00, 4, FT_PROGRAM_DATA, AIsHighCurrent),
    MAP_FLAG(0x01, 0, FT_PROGRAM_DATA, IFBIsFifo),
    MAP_FLAG(0x01, 1, FT_PROGRAM_DATA, IFBIsFifoTar),
    MAP_FLAG(0x01, 2, FT_PROGRAM_DATA, IFBIsFastSer),
    MAP_FLAG(0x01, 3, FT_PROGRAM_DATA, BIsVCP),
    MAP_FLAG(0x01, 4, FT_PROGRAM_DATA, BIsHighCurrent),
    MAP_FLAG(0x0A, 0, FT_PROGRAM_DATA, IsoInA),
    MAP_FLAG(0x0A, 1, FT_PROGRAM_DATA, IsoOutA),
    MAP_FLAG(0x0A, 2, FT_PROGRAM_DATA, PullDownEnable5),
    MAP_FLAG(0x0A, 3, FT_PROGRAM_DATA, SerNumEnable5),
    MAP_FLAG(0x0A, 4, FT_PROGRAM_DATA, USBVersionEnable5),
    MAP_FLAG(0x0A, 5, FT_PROGRAM_DATA, IsoInB),
    MAP_FLAG(0x0A, 6, FT_PROGRAM_DATA, IsoOutB),
    MAP_VALUE(0x0C, 0, 16, FT_PROGRAM_DATA, USBVersion5),
};

// A decode leaves the 232B block empty.
constexpr RecordRange DECODE_CLEARS[] = {
    MAP_RANGE(FT_PROGRAM_DATA, Rev4, USBVersion),
};

constexpr uint32_t STRING_BASE = 0x16;

constexpr ChipLayout LAYOUT_2232 = {
    .deviceType = FT_DEVICE_2232C,
    .programDataVersion = 1,
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, BIsVCP) + 1,
    .recordSize = sizeof(FT_EEPROM_2232),
    .wordCount = 128,
    .checksumOffset = SMALL_CHECKSUM_OFFSET,
    .stringBase = STRING_BASE,
    .stringEnd = STRING_AREA_END,
    .emptyDescriptor = true,
    .programRelease = 0x0500,
    .encodeRelease = 0x0500,
    .encodeVendorId = 0x0403,
    .encodeProductId = 0x6010,
    .encodeAttributes = 0xA0,
    .encodePower = 0x2D,
    .usbVersionWord = 0x0200,
    .typeWordByte = 0x14,
    .typeWhenUnknown = EEPROM_TYPE_64,
    .cbusOffset = 0,
    .cbusCount = 0,
    .cbusMax = 0,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
};

// On a large EEPROM the first user region is the 128 bytes the moved strings left.
constexpr uint32_t USER_AREA_FIRST_REGION_BYTES = 0x80;

}  // namespace

TFtEE2232::TFtEE2232(const FtHandleRecord* record) : TFtE2Data(record, LAYOUT_2232) {}

void TFtEE2232::ProbeEepromType() {
  ProbeByWrapAround();
}

UserAreaRegions TFtEE2232::UserArea() {
  if (!IsLargeEeprom()) return GenericUserArea();
  return SplitUserArea(STRING_BASE, USER_AREA_FIRST_REGION_BYTES, USER_AREA_FIRST_REGION_BYTES);
}

void TFtEE2232::DecodeOptions(FT_PROGRAM_DATA* data) {
  TFtE2Data::DecodeOptions(data);
  data->Rev5 = 1;
}

}  // namespace ralvex::bridge::eeprom
