// The 4232H (four high-speed ports): the EEPROM sizes, string positions and user area of the
// 2232H, with a driver bit and an I/O group per port and the RI pins usable as transmit enable.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEE4232H : public TFtE2Data {
 public:
  explicit TFtEE4232H(const FtHandleRecord* record);

  void ProbeEepromType() override;
  UserAreaRegions UserArea() override;
};

}  // namespace ralvex::bridge::eeprom
