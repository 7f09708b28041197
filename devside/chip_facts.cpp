#include "devside/chip_facts.h"

#include <array>

namespace ralvex::devside {
namespace {

struct ChipFacts {
  ChipFamily chip;
  uint32_t chipCode;
  uint16_t release;
  bool ttyPort;  // known by its release on a real port
  bool eepromConfiguration;
};

// One row per family, in enum order.
constexpr std::array<ChipFacts, CHIP_FAMILY_COUNT> CHIPS = {{
    {CHIP_BM, 0x40360011, 0x0400, true, false},
    {CHIP_AM, 0x40360010, 0x0200, true, false},
    {CHIP_100AX, 0x40383720, 0x0200, false, false},
    {CHIP_2232C, 0x40360100, 0x0500, true, false},
    {CHIP_232R, 0x40360012, 0x0600, true, false},
    {CHIP_2232H, 0x40360101, 0x0700, true, false},
    {CHIP_4232H, 0x40360110, 0x0800, true, false},
    {CHIP_232H, 0x40360140, 0x0900, true, true},
    {CHIP_X_SERIES, 0x40360150, 0x1000, true, true},
    {CHIP_4222H_0, 0x403601C0, 0x1700, false, false},
    {CHIP_4222H_1_2, 0x403601C1, 0x1800, false, false},
    {CHIP_4222H_3, 0x403601C3, 0x1900, false, false},
    {CHIP_4222_PROG, 0x4030FEC0, 0x1A00, false, false},
    {CHIP_900, 0x40360310, 0x2000, false, false},
    {CHIP_930, 0x40360320, 0x2100, false, false},
    {CHIP_UMFTPD3A, 0x403603E0, 0x2400, false, false},
    {CHIP_UNKNOWN, 0x40360000, 0x0100, false, false},
}};

const ChipFacts& Facts(ChipFamily chip) {
  const size_t index = static_cast<size_t>(chip);
  return CHIPS[index < CHIPS.size() ? index : CHIPS.size() - 1];
}

}  // namespace

uint32_t ChipCode(ChipFamily chip) {
  return Facts(chip).chipCode;
}
uint16_t DeviceRelease(ChipFamily chip) {
  return Facts(chip).release;
}
bool HasEepromConfiguration(ChipFamily chip) {
  return Facts(chip).eepromConfiguration;
}

uint32_t ChipCodeFromRelease(uint16_t release) {
  const auto high = static_cast<uint8_t>(release >> 8);
  for (const ChipFacts& facts : CHIPS) {
    if (facts.ttyPort && (facts.release >> 8) == high) return facts.chipCode;
  }
  return ChipCode(CHIP_UNKNOWN);
}

}  // namespace ralvex::devside
