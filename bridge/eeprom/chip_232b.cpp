// Word map of the 232B image, and the 232B block of FT_PROGRAM_DATA that the 232R decodes too.
#include <cstddef>

#include "bridge/eeprom/chip_registry.h"

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
constexpr uint16_t USB_VERSION_OLD = 0x0110;

}  // namespace

void DecodeBmBlock(const uint8_t* image, FT_PROGRAM_DATA* data) {
  const bool bm = image[IMAGE_RELEASE + 1] == RELEASE_BM;
  data->Rev4 = bm ? 1 : 0;
  data->IsoIn = data->IsoOut = data->SerNumEnable = data->USBVersionEnable = 0;
  data->USBVersion = USB_VERSION_OLD;
  if (bm) DecodeFields(BM_ONLY_FIELDS, image, IMAGE_BYTES, data);
  DecodeFields(PULL_DOWN_FIELD, image, IMAGE_BYTES, data);
}

// A decode reads the map's fields, then DecodeBmBlock replaces every one of them.
constexpr ChipLayout LAYOUT_232B = {
    .deviceType = FT_DEVICE_BM,
    .recordSize = sizeof(FT_EEPROM_232B),
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, USBVersion) + 2,
    .releaseWithoutRev4 = 0x0200,
    .finishDecode = DecodeBmBlock,
    .stringBase = 0x14,
    .release = 0x0400,
    .usbVersionWord = 0x0200,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
};

}  // namespace ralvex::bridge::eeprom
