#include "sim/chip_family.h"

#include <array>

namespace ralvex::sim {
namespace {

struct FamilyFacts {
  ChipFamily chip;
  std::string_view name;
  uint16_t pid;
  std::string_view description;
  bool highSpeed;
  uint32_t eepromWords;
};

// One row per family, in enum order.
constexpr std::array<FamilyFacts, CHIP_FAMILY_COUNT> FAMILIES = {{
    {CHIP_BM, "BM", 0x6001, "USB Serial Bridge", false, 64},
    {CHIP_AM, "AM", 0x6001, "USB Serial Bridge", false, 64},
    {CHIP_100AX, "100AX", 0x8372, "USB Serial Bridge", false, 64},
    {CHIP_2232C, "2232C", 0x6010, "Dual USB Serial Bridge", false, 128},
    {CHIP_232R, "232R", 0x6001, "USB Serial Bridge", false, 64},
    {CHIP_2232H, "2232H", 0x6010, "Dual USB Serial Bridge", true, 128},
    {CHIP_4232H, "4232H", 0x6011, "Quad USB Serial Bridge", true, 128},
    {CHIP_232H, "232H", 0x6014, "Single USB Serial Bridge", true, 128},
    {CHIP_X_SERIES, "X_SERIES", 0x6015, "USB Serial Bridge X", false, 1024},
    {CHIP_4222H_0, "4222H_0", 0x601C, "USB Bus Bridge A", true, 128},
    {CHIP_4222H_1_2, "4222H_1_2", 0x601C, "USB Bus Bridge A", true, 128},
    {CHIP_4222H_3, "4222H_3", 0x601C, "USB Bus Bridge A", true, 128},
    {CHIP_4222_PROG, "4222_PROG", 0x601C, "USB Bus Bridge Programmer", true, 128},
    {CHIP_900, "900", 0x601E, "USB 3 Bridge", true, 0},
    {CHIP_930, "930", 0x601F, "USB 3 Bridge", true, 0},
    {CHIP_UMFTPD3A, "UMFTPD3A", 0x6020, "USB PD Bridge", false, 0},
    {CHIP_UNKNOWN, "UNKNOWN", 0x6000, "USB Device", false, 0},
}};

const FamilyFacts& Facts(ChipFamily chip) {
  size_t index = static_cast<size_t>(chip);
  return FAMILIES[index < FAMILIES.size() ? index : FAMILIES.size() - 1];
}

}  // namespace

std::string_view ChipFamilyName(ChipFamily chip) {
  return Facts(chip).name;
}

std::optional<ChipFamily> ParseChipFamily(std::string_view name) {
  for (const FamilyFacts& facts : FAMILIES) {
    if (facts.name == name) return facts.chip;
  }
  return std::nullopt;
}

uint16_t DefaultProductId(ChipFamily chip) {
  return Facts(chip).pid;
}
std::string_view DefaultDescription(ChipFamily chip) {
  return Facts(chip).description;
}
bool DefaultHighSpeed(ChipFamily chip) {
  return Facts(chip).highSpeed;
}
uint32_t DefaultEepromWords(ChipFamily chip) {
  return Facts(chip).eepromWords;
}

bool IsValidEepromWords(uint32_t words) {
  return words == 0 || words == 64 || words == 128 || words == 256 || words == 1024;
}

}  // namespace ralvex::sim
