// The 232H: 128 words with the checksum at 0xFE, strings from 0x20 (moved to 0xA0 on a large
// EEPROM), ten CBUS nibbles and four interface modes of which only one is stored. Its layout
// (LAYOUT_232H) says the rest; the class adds the internal EEPROM type, its own probe and the
// interface mode rule.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEE232H : public TFtE2Data {
 public:
  explicit TFtEE232H(const FtHandleRecord* record);

  bool IsLargeEeprom() const override;
  void ProbeEepromType() override;
  void EncodeOptions(const ChipSettings& settings) override;
  void PutChipWords(const void* record) override;
};

}  // namespace ralvex::bridge::eeprom
