// The 2232H (two high-speed ports): 64 words with strings from 0x1A, or on a 128- or 256-word
// EEPROM 128 words with the strings moved up to 0x9A and a user area that starts in the space
// they left. Four I/O groups with drive current, slew and Schmitt options.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEE2232H : public TFtE2Data {
 public:
  explicit TFtEE2232H(const FtHandleRecord* record);

  void ProbeEepromType() override;
  UserAreaRegions UserArea() override;
};

}  // namespace ralvex::bridge::eeprom
