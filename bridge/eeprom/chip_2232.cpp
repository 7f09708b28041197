// Word map of the 2232 image. Rows read like the image table: byte, bit, record field.
#include <cstddef>

#include "bridge/eeprom/chip_registry.h"

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

// A decode marks the 2232 block as the one filled in.
void MarkRev5(const uint8_t*, FT_PROGRAM_DATA* data) {
  data->Rev5 = 1;
}

}  // namespace

constexpr ChipLayout LAYOUT_2232 = MultiPort({
    .deviceType = FT_DEVICE_2232C,
    .recordSize = sizeof(FT_EEPROM_2232),
    .programDataVersion = 1,
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, BIsVCP) + 1,
    .finishDecode = MarkRev5,
    .stringBase = 0x16,
    .release = 0x0500,
    .usbVersionWord = 0x0200,
    .typeWordByte = 0x14,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
});

}  // namespace ralvex::bridge::eeprom
