// Chip families of the simulated bridge devices and what each one looks like by default: the
// bench name, product ID, description, bus speed, EEPROM size.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "devside/chip_facts.h"

namespace ralvex::sim {

// The families and their device-side facts (chip code, device release, EEPROM configuration)
// are the device side's; the bench adds its names and the defaults a device config leaves open.
using devside::CHIP_FAMILY_COUNT;
using devside::ChipCode;
using devside::ChipFamily;
using enum devside::ChipFamily;
using devside::DeviceRelease;
using devside::HasEepromConfiguration;

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
// EEPROM sizes a device can be given, in 16-bit words (0: no EEPROM fitted).
bool IsValidEepromWords(uint32_t words);

}  // namespace ralvex::sim
