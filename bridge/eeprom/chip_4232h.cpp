// Word map of the 4232H image. Rows read like the image table: byte, bit, record field.
#include <cstddef>

#include "bridge/eeprom/chip_registry.h"

namespace ralvex::bridge::eeprom {
namespace {

// FT_EEPROM_4232H <-> image. The header fields go through the common path; the transmit-enable
// bits share the word at 0x0A with them and replace only their own bits.
constexpr FieldSpec RECORD_FIELDS[] = {
    MAP_DRIVER_TYPE(0x00, 3, FT_EEPROM_4232H, ADriverType),
    MAP_DRIVER_TYPE(0x00, 7, FT_EEPROM_4232H, CDriverType),
    MAP_DRIVER_TYPE(0x01, 3, FT_EEPROM_4232H, BDriverType),
    MAP_DRIVER_TYPE(0x01, 7, FT_EEPROM_4232H, DDriverType),
    MAP_FLAG(0x0B, 4, FT_EEPROM_4232H, ARIIsTXDEN),
    MAP_FLAG(0x0B, 5, FT_EEPROM_4232H, BRIIsTXDEN),
    MAP_FLAG(0x0B, 6, FT_EEPROM_4232H, CRIIsTXDEN),
    MAP_FLAG(0x0B, 7, FT_EEPROM_4232H, DRIIsTXDEN),
    MAP_DRIVE(0x0C, 0, FT_EEPROM_4232H, ADriveCurrent),
    MAP_FLAG(0x0C, 2, FT_EEPROM_4232H, ASlowSlew),
    MAP_FLAG(0x0C, 3, FT_EEPROM_4232H, ASchmittInput),
    MAP_DRIVE(0x0C, 4, FT_EEPROM_4232H, BDriveCurrent),
    MAP_FLAG(0x0C, 6, FT_EEPROM_4232H, BSlowSlew),
    MAP_FLAG(0x0C, 7, FT_EEPROM_4232H, BSchmittInput),
    MAP_DRIVE(0x0D, 0, FT_EEPROM_4232H, CDriveCurrent),
    MAP_FLAG(0x0D, 2, FT_EEPROM_4232H, CSlowSlew),
    MAP_FLAG(0x0D, 3, FT_EEPROM_4232H, CSchmittInput),
    MAP_DRIVE(0x0D, 4, FT_EEPROM_4232H, DDriveCurrent),
    MAP_FLAG(0x0D, 6, FT_EEPROM_4232H, DSlowSlew),
    MAP_FLAG(0x0D, 7, FT_EEPROM_4232H, DSchmittInput),
};

// FT_PROGRAM_DATA's 4232H block <-> image.
constexpr FieldSpec PROGRAM_DATA_FIELDS[] = {
    MAP_FLAG(0x00, 3, FT_PROGRAM_DATA, AIsVCP8),
    MAP_FLAG(0x00, 7, FT_PROGRAM_DATA, CIsVCP8),
    MAP_FLAG(0x01, 3, FT_PROGRAM_DATA, BIsVCP8),
    MAP_FLAG(0x01, 7, FT_PROGRAM_DATA, DIsVCP8),
    MAP_FLAG(0x0A, 2, FT_PROGRAM_DATA, PullDownEnable8),
    MAP_FLAG(0x0A, 3, FT_PROGRAM_DATA, SerNumEnable8),
    MAP_FLAG(0x0B, 4, FT_PROGRAM_DATA, ARIIsTXDEN),
    MAP_FLAG(0x0B, 5, FT_PROGRAM_DATA, BRIIsTXDEN),
    MAP_FLAG(0x0B, 6, FT_PROGRAM_DATA, CRIIsTXDEN),
    MAP_FLAG(0x0B, 7, FT_PROGRAM_DATA, DRIIsTXDEN),
    MAP_DRIVE(0x0C, 0, FT_PROGRAM_DATA, ADriveCurrent),
    MAP_FLAG(0x0C, 2, FT_PROGRAM_DATA, ASlowSlew),
    MAP_FLAG(0x0C, 3, FT_PROGRAM_DATA, ASchmittInput),
    MAP_DRIVE(0x0C, 4, FT_PROGRAM_DATA, BDriveCurrent),
    MAP_FLAG(0x0C, 6, FT_PROGRAM_DATA, BSlowSlew),
    MAP_FLAG(0x0C, 7, FT_PROGRAM_DATA, BSchmittInput),
    MAP_DRIVE(0x0D, 0, FT_PROGRAM_DATA, CDriveCurrent),
    MAP_FLAG(0x0D, 2, FT_PROGRAM_DATA, CSlowSlew),
    MAP_FLAG(0x0D, 3, FT_PROGRAM_DATA, CSchmittInput),
    MAP_DRIVE(0x0D, 4, FT_PROGRAM_DATA, DDriveCurrent),
    MAP_FLAG(0x0D, 6, FT_PROGRAM_DATA, DSlowSlew),
    MAP_FLAG(0x0D, 7, FT_PROGRAM_DATA, DSchmittInput),
};

// A decode leaves the 232B, 2232 and 232R blocks empty and the 2232H block's I/O and port
// fields too (its pull-down, serial number and power save flags stay as they were).
constexpr RecordRange DECODE_CLEARS[] = {
    MAP_RANGE(FT_PROGRAM_DATA, Rev4, RIsD2XX),
    MAP_RANGE(FT_PROGRAM_DATA, ALSlowSlew, BIsVCP7),
};

}  // namespace

constexpr ChipLayout LAYOUT_4232H = HighSpeedMultiPort({
    .deviceType = FT_DEVICE_4232H,
    .recordSize = sizeof(FT_EEPROM_4232H),
    .programDataVersion = 4,
    .legacyBytes = offsetof(FT_PROGRAM_DATA_LEGACY, DIsVCP8) + 1,
    .release = 0x0800,
    .recordFields = RECORD_FIELDS,
    .programDataFields = PROGRAM_DATA_FIELDS,
    .decodeClears = DECODE_CLEARS,
});

}  // namespace ralvex::bridge::eeprom
