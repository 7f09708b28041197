// Chip families of the simulated bridge devices and what each one looks like by default: the
// chip code its driver reports, product ID, description, bus speed, EEPROM size.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ralvex::sim {

enum class ChipFamily : uint8_t {
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

// Bench names: "BM", "AM", "100AX", "2232C", "232R", "2232H", "4232H", "232H", "X_SERIES",
// "4222H_0", "4222H_1_2", "4222H_3", "4222_PROG", "900", "930", "UMFTPD3A", "UNKNOWN".
std::string_view ChipFamilyName(ChipFamily chip);
// Case-sensitive inverse of ChipFamilyName; nullopt for any other text.
std::optional<ChipFamily> ParseChipFamily(std::string_view name);

// Defaults a device config leaves to its family.
uint16_t DefaultProductId(ChipFamily chip);
std::string_view DefaultDescription(ChipFamily chip);
bool DefaultHighSpeed(ChipFamily chip);
uint32_t DefaultEepromWords(ChipFamily chip);
// bcdDevice the family reports on the bus (the hardware ID's REV_ part).
uint16_t DeviceRelease(ChipFamily chip);

// Whether the family has the EEPROM configuration bytes and ECC words (slots 115-117).
bool HasEepromConfiguration(ChipFamily chip);

// EEPROM sizes a device can be given, in 16-bit words (0: no EEPROM fitted).
bool IsValidEepromWords(uint32_t words);

}  // namespace ralvex::sim
