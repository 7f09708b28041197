#include "bridge/eeprom/chip_232b.h"

#include <cstddef>

namespace ralvex::bridge::eeprom {

namespace {

using PD = FT_PROGRAM_DATA;

// FT_PROGRAM_DATA's 232B block in the image.
constexpr FieldSpec PROGRAM_DATA_FIELDS[] = {
    MAP_FLAG(0x0A, 0, PD, IsoIn),
    MAP_FLAG(0x0A, 1, PD, IsoOut),
    MAP_FLAG(0x0A, 2, PD, PullDownEnable),
    MAP_FLAG(0x0A, 3, PD, SerNumEnable),
    MAP_FLAG(0x0A, 4, PD, USBVersionEnable),
    MAP_VALUE(0x0C, 0, 16, PD, USBVersion),
};
// Only a BM image (release byte 4) carries these options.
constexpr FieldSpec BM_ONLY_FIELDS[] = {
    MAP_FLAG(0x0A, 0, PD, IsoIn),           MAP_FLAG(0x0A, 1, PD, IsoOut),
    MAP_FLAG(0x0A, 3, PD, SerNumEnable),    MAP_FLAG(0x0A, 4, PD, USBVersionEnable),
    MAP_VALUE(0x0C, 0, 16, PD, USBVersion),
};
constexpr FieldSpec PULL_DOWN_FIELD[] = {MAP_FLAG(0x0A, 2, PD, PullDownEnable)};

constexpr RecordRange DECODE_CLEARS[] = {MAP_RANGE(PD, Rev5, Rev5),
                                         MAP_RANGE(PD, PullDownEnable5, BIsVCP)};

constexpr uint8_t RELEASE_BM = 0x04;
constexpr uint16_t RELEASE_WITHOUT_REV4 = 0x0200;
constexpr uint16_t USB_VERSION_OLD = 0x0110;

constexpr ChipLayout LAYOUT_232B = {
    .deviceType = FT_DEVICE_BM,
    .programDataVersion = 0,
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, USBVersion) + 2,
    .recordSize = sizeof(FT_EEPROM_232B),
    .wordCount = 64,
    .checksumOffset = SMALL_CHECKSUM_OFFSET,
    .stringBase = 0x14,
    .stringEnd = STRING_AREA_END,
    .emptyDescriptor = true,
    .programRelease = 0x0400,
    .encodeRelease = 0x0400,
    .encodeVendorId = 0x0403,
    .encodeProductId = 0x6001,
    .encodeAttributes = 0xA0,
    .encodePower = 0x2D,
    .usbVersionWord = 0x0200,
    .typeWordByte = 0,
    .typeWhenUnknown = EEPROM_TYPE_NONE,
    .cbusOffset = 0,
    .cbusCount = 0,
    .cbusMax = 0,
    .recordFields = {},
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
};

}  // namespace

TFtEE232::TFtEE232(const FtHandleRecord* record) : TFtE2Data(record, LAYOUT_232B) {}

void TFtEE232::EncodeOptions(const ChipSettings& settings) {
  TFtE2Data::EncodeOptions(settings);
  if (settings.options.Rev4 == 0) SetWord(IMAGE_RELEASE / 2, RELEASE_WITHOUT_REV4);
}

void TFtEE232::DecodeOptions(FT_PROGRAM_DATA* data) {
  ClearRanges(DECODE_CLEARS, data, sizeof *data);
  FillBmBlock(*this, data);
}

void TFtEE232::FillBmBlock(const TFtE2Data& chip, FT_PROGRAM_DATA* data) {
  const bool bm = chip.image[IMAGE_RELEASE + 1] == RELEASE_BM;
  data->Rev4 = bm ? 1 : 0;
  data->IsoIn = data->IsoOut = data->SerNumEnable = data->USBVersionEnable = 0;
  data->USBVersion = USB_VERSION_OLD;
  if (bm) DecodeFields(BM_ONLY_FIELDS, chip.image, IMAGE_BYTES, data);
  DecodeFields(PULL_DOWN_FIELD, chip.image, IMAGE_BYTES, data);
}

}  // namespace ralvex::bridge::eeprom
