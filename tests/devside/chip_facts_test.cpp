// The chip facts of the device side: the device-information chip codes, the releases the chips
// show on the bus, and a real port's chip known only by its release.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "devside/chip_facts.h"
#include "devside/device_classes.h"

namespace ralvex::devside {
namespace {

TEST(ChipFacts, EveryTtyFamilyIsFoundAgainByItsRelease) {
  struct Case {
    ChipFamily chip;
    bool byRelease;
  };
  for (const Case& c : std::vector<Case>{{CHIP_BM, true},
                                         {CHIP_AM, true},
                                         {CHIP_100AX, false},  // shares AM's release
                                         {CHIP_2232C, true},
                                         {CHIP_232R, true},
                                         {CHIP_2232H, true},
                                         {CHIP_4232H, true},
                                         {CHIP_232H, true},
                                         {CHIP_X_SERIES, true},
                                         {CHIP_4222H_0, false},
                                         {CHIP_4222_PROG, false},
                                         {CHIP_900, false},
                                         {CHIP_UMFTPD3A, false},
                                         {CHIP_UNKNOWN, false}}) {
    const uint32_t found = ChipCodeFromRelease(DeviceRelease(c.chip));
    const uint32_t unknown = ChipCode(CHIP_UNKNOWN);
    if (c.byRelease) {
      EXPECT_EQ(found, ChipCode(c.chip)) << static_cast<int>(c.chip);
    } else if (c.chip == CHIP_100AX) {
      EXPECT_EQ(found, ChipCode(CHIP_AM));
    } else {
      EXPECT_EQ(found, unknown) << static_cast<int>(c.chip);
    }
  }
  // Only the high byte counts; a family nobody has is the unknown code.
  EXPECT_EQ(ChipCodeFromRelease(0x06FF), ChipCode(CHIP_232R));
  EXPECT_EQ(ChipCodeFromRelease(0xFF00), 0x40360000u);
}

TEST(ChipFacts, CodesAreDistinctAndOnlyTwoFamiliesHaveEepromConfiguration) {
  std::vector<uint32_t> codes;
  std::vector<ChipFamily> configured;
  for (size_t i = 0; i < CHIP_FAMILY_COUNT; ++i) {
    const auto chip = static_cast<ChipFamily>(i);
    codes.push_back(ChipCode(chip));
    if (HasEepromConfiguration(chip)) configured.push_back(chip);
  }
  std::vector<uint32_t> sorted = codes;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
  EXPECT_EQ(configured, (std::vector<ChipFamily>{CHIP_232H, CHIP_X_SERIES}));
  // A value past the enum reads as the unknown family rather than past the table.
  EXPECT_EQ(ChipCode(static_cast<ChipFamily>(200)), ChipCode(CHIP_UNKNOWN));
}

TEST(DeviceClasses, InterfaceTextSpellsTheGuid) {
  const GUID& g = BRIDGE_INTERFACE_GUID;
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  EXPECT_STREQ(text, BRIDGE_INTERFACE_GUID_TEXT);
}

}  // namespace
}  // namespace ralvex::devside
