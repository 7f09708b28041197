// The 2232 (two ports): 64 words with strings from 0x16, or on a 128- or 256-word EEPROM 128 words
// with the strings moved up to 0x96 and a user area that starts in the space they left.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEE2232 : public TFtE2Data {
 public:
  explicit TFtEE2232(const FtHandleRecord* record);

  void ProbeEepromType() override;
  UserAreaRegions UserArea() override;
  void DecodeOptions(FT_PROGRAM_DATA* data) override;
};

}  // namespace ralvex::bridge::eeprom
