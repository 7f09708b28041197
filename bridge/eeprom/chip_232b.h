// The 232B family (and every device type without a class of its own on the FT_EE_* paths):
// 64 words, strings from 0x14, no type word.
#pragma once

#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

class TFtEE232 : public TFtE2Data {
 public:
  explicit TFtEE232(const FtHandleRecord* record);

  void EncodeOptions(const ChipSettings& settings) override;
  void DecodeOptions(FT_PROGRAM_DATA* data) override;

  // The 232B block of FT_PROGRAM_DATA from any 64-word image: the BM-only options only when the
  // release byte says BM. The 232R decodes it the same way.
  static void FillBmBlock(const TFtE2Data& chip, FT_PROGRAM_DATA* data);
};

}  // namespace ralvex::bridge::eeprom
