// The chip families a bridge driver tells apart and what the device side reports for each: the
// chip code of the device-information reply, the device release (bcdDevice) the chip shows on
// the bus, and whether it has the EEPROM configuration bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ralvex::devside {

enum ChipFamily : uint8_t {
  CHIP_BM,
  CHIP_AM,
  CHIP_100AX,
  CHIP_2232C,
  CHIP_232R,
  CHIP_2232H,
  CHIP_4232H,
  CHIP_232H,
  CHIP_X_SERIES,
  CHIP_4222H_0,
  CHIP_4222H_1_2,
  CHIP_4222H_3,
  CHIP_4222_PROG,
  CHIP_900,
  CHIP_930,
  CHIP_UMFTPD3A,
  CHIP_UNKNOWN,  // reports a chip code no table knows
};

inline constexpr size_t CHIP_FAMILY_COUNT = 17;

// The chip code of the device-information reply (CHIP_UNKNOWN: 0x40360000, outside the table).
uint32_t ChipCode(ChipFamily chip);
// bcdDevice the family reports on the bus (the hardware ID's REV_ part).
uint16_t DeviceRelease(ChipFamily chip);
// Whether the family has the EEPROM configuration bytes and ECC words (slots 115-117).
bool HasEepromConfiguration(ChipFamily chip);

// The chip code of the serial family whose device release (high byte) this is, for a port known
// only by its release: the families that drive a tty (BM, AM, 2232C, 232R, 2232H, 4232H, 232H,
// X series; AM and 100AX share a release and count as AM). Any other release gives
// CHIP_UNKNOWN's code, which the access layer reports as an unknown device.
uint32_t ChipCodeFromRelease(uint16_t release);

}  // namespace ralvex::devside
