// The X series: 1024 words, strings at 0xA0, a user area in two regions that programming
// preserves, a checksum that skips the first region. Only the FT_EEPROM_* and user-area paths
// reach it.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEEFTX : public TFtE2Data {
 public:
  explicit TFtEEFTX(const FtHandleRecord* record);

  bool Load() override;
  void UpdateChecksum() override;
  UserAreaRegions UserArea() override;
  void ProbeEepromType() override;
  bool PrepareImage() override;
};

}  // namespace ralvex::bridge::eeprom
