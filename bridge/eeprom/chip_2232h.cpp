// Word map of the 2232H image. Rows read like the image table: byte, bit, record field.
#include <cstddef>

#include "bridge/eeprom/chip_registry.h"

namespace ralvex::bridge::eeprom {
namespace {

// FT_EEPROM_2232H <-> image. The header fields go through the common path.
constexpr FieldSpec RECORD_FIELDS[] = {
    MAP_FLAG(0x00, 0, FT_EEPROM_2232H, AIsFifo),
    MAP_FLAG(0x00, 1, FT_EEPROM_2232H, AIsFifoTar),
    MAP_FLAG(0x00, 2, FT_EEPROM_2232H, AIsFastSer),
    MAP_DRIVER_TYPE(0x00, 3, FT_EEPROM_2232H, ADriverType),
    MAP_FLAG(0x01, 0, FT_EEPROM_2232H, BIsFifo),
    MAP_FLAG(0x01, 1, FT_EEPROM_2232H, BIsFifoTar),
    MAP_FLAG(0x01, 2, FT_EEPROM_2232H, BIsFastSer),
    MAP_DRIVER_TYPE(0x01, 3, FT_EEPROM_2232H, BDriverType),
    MAP_FLAG(0x01, 7, FT_EEPROM_2232H, PowerSaveEnable),
    MAP_DRIVE(0x0C, 0, FT_EEPROM_2232H, ALDriveCurrent),
    MAP_FLAG(0x0C, 2, FT_EEPROM_2232H, ALSlowSlew),
    MAP_FLAG(0x0C, 3, FT_EEPROM_2232H, ALSchmittInput),
    MAP_DRIVE(0x0C, 4, FT_EEPROM_2232H, AHDriveCurrent),
    MAP_FLAG(0x0C, 6, FT_EEPROM_2232H, AHSlowSlew),
    MAP_FLAG(0x0C, 7, FT_EEPROM_2232H, AHSchmittInput),
    MAP_DRIVE(0x0D, 0, FT_EEPROM_2232H, BLDriveCurrent),
    MAP_FLAG(0x0D, 2, FT_EEPROM_2232H, BLSlowSlew),
    MAP_FLAG(0x0D, 3, FT_EEPROM_2232H, BLSchmittInput),
    MAP_DRIVE(0x0D, 4, FT_EEPROM_2232H, BHDriveCurrent),
    MAP_FLAG(0x0D, 6, FT_EEPROM_2232H, BHSlowSlew),
    MAP_FLAG(0x0D, 7, FT_EEPROM_2232H, BHSchmittInput),
};

// FT_PROGRAM_DATA's 2232H block <-> image.
constexpr FieldSpec PROGRAM_DATA_FIELDS[] = {
    MAP_FLAG(0x00, 0, FT_PROGRAM_DATA, IFAIsFifo7),
    MAP_FLAG(0x00, 1, FT_PROGRAM_DATA, IFAIsFifoTar7),
    MAP_FLAG(0x00, 2, FT_PROGRAM_DATA, IFAIsFastSer7),
    MAP_FLAG(0x00, 3, FT_PROGRAM_DATA, AIsVCP7),
    MAP_FLAG(0x01, 0, FT_PROGRAM_DATA, IFBIsFifo7),
    MAP_FLAG(0x01, 1, FT_PROGRAM_DATA, IFBIsFifoTar7),
    MAP_FLAG(0x01, 2, FT_PROGRAM_DATA, IFBIsFastSer7),
    MAP_FLAG(0x01, 3, FT_PROGRAM_DATA, BIsVCP7),
    MAP_FLAG(0x01, 7, FT_PROGRAM_DATA, PowerSaveEnable),
    MAP_FLAG(0x0A, 2, FT_PROGRAM_DATA, PullDownEnable7),
    MAP_FLAG(0x0A, 3, FT_PROGRAM_DATA, SerNumEnable7),
    MAP_DRIVE(0x0C, 0, FT_PROGRAM_DATA, ALDriveCurrent),
    MAP_FLAG(0x0C, 2, FT_PROGRAM_DATA, ALSlowSlew),
    MAP_FLAG(0x0C, 3, FT_PROGRAM_DATA, ALSchmittInput),
    MAP_DRIVE(0x0C, 4, FT_PROGRAM_DATA, AHDriveCurrent),
    MAP_FLAG(0x0C, 6, FT_PROGRAM_DATA, AHSlowSlew),
    MAP_FLAG(0x0C, 7, FT_PROGRAM_DATA, AHSchmittInput),
    MAP_DRIVE(0x0D, 0, FT_PROGRAM_DATA, BLDriveCurrent),
    MAP_FLAG(0x0D, 2, FT_PROGRAM_DATA, BLSlowSlew),
    MAP_FLAG(0x0D, 3, FT_PROGRAM_DATA, BLSchmittInput),
    MAP_DRIVE(0x0D, 4, FT_PROGRAM_DATA, BHDriveCurrent),
    MAP_FLAG(0x0D, 6, FT_PROGRAM_DATA, BHSlowSlew),
    MAP_FLAG(0x0D, 7, FT_PROGRAM_DATA, BHSchmittInput),
};

// A decode leaves the 232B, 2232 and 232R blocks empty.
constexpr RecordRange DECODE_CLEARS[] = {
    MAP_RANGE(FT_PROGRAM_DATA, Rev4, RIsD2XX),
};

}  // namespace

constexpr ChipLayout LAYOUT_2232H = HighSpeedMultiPort({
    .deviceType = FT_DEVICE_2232H,
    .recordSize = sizeof(FT_EEPROM_2232H),
    .programDataVersion = 3,
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, PowerSaveEnable) + 1,
    .release = 0x0700,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
});

}  // namespace ralvex::bridge::eeprom
