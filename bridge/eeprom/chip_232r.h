// The 232R: 64 words, strings from 0x18. Its two record kinds place two option flags on opposite
// bits and give the driver bit opposite senses; a factory word outside the image lends bit 0 of
// word 0; the latency timer is raised while programming.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEE232R : public TFtE2Data {
 public:
  explicit TFtEE232R(const FtHandleRecord* record);

  void EncodeOptions(const ChipSettings& settings) override;
  void DecodeOptions(FT_PROGRAM_DATA* data) override;
  void PutChipWords(const void* record) override;
  FT_STATUS WriteImage() override;

 private:
  // Bit 0 of the factory word, when it reads programmed.
  uint8_t FactoryBit();
};

}  // namespace ralvex::bridge::eeprom
