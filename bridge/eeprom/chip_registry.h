// Every chip family the EEPROM functions know: its layout (defined beside its word map in
// chip_<name>.cpp), the class that works on it and its row in the registry, CHIP_ROWS. A new chip
// is a layout, its declaration and one row here (and a class only for what no layout field says).
#pragma once

#include <cstdint>
#include <memory>
#include <new>

#include "bridge/eeprom/chip_232h.h"
#include "bridge/eeprom/chip_layout.h"
#include "bridge/eeprom/chip_select.h"
#include "bridge/eeprom/chip_x_series.h"
#include "bridge/eeprom/e2_data.h"

namespace ralvex::bridge::eeprom {

extern const ChipLayout LAYOUT_232B;
extern const ChipLayout LAYOUT_2232;
extern const ChipLayout LAYOUT_232R;
extern const ChipLayout LAYOUT_2232H;
extern const ChipLayout LAYOUT_4232H;
extern const ChipLayout LAYOUT_232H;
extern const ChipLayout LAYOUT_X_SERIES;

// What the multi-port chips (2232, 2232H, 4232H) share, over a layout that leaves these fields at
// their defaults: 128 words at construction (64 once a load or the probe finds the small EEPROM),
// the wrap-around probe, the 64-word type written when it found none, a user area that starts in
// the space the moved strings left, and the product ID of the FT_EE_Program defaults.
constexpr ChipLayout MultiPort(ChipLayout layout) {
  layout.encodeProductId = 0x6010;
  layout.wordCount = 128;
  layout.typeWhenUnknown = EEPROM_TYPE_64;
  layout.wrapAroundProbe = true;
  layout.movedStringsUserBytes = 0x80;
  return layout;
}
// The high-speed multi-port chips (2232H, 4232H) add their string base, type word and power.
constexpr ChipLayout HighSpeedMultiPort(ChipLayout layout) {
  layout.encodePower = 0x64;
  layout.stringBase = 0x1A;
  layout.typeWordByte = 0x18;
  return MultiPort(layout);
}

// The 232B block of FT_PROGRAM_DATA from any 64-word image: the BM-only options only when the
// release byte says BM. The decode hook of the 232B and 232R layouts.
void DecodeBmBlock(const uint8_t* image, FT_PROGRAM_DATA* data);

// A chip whose layout says all there is to it: the framework run on that layout.
template <const ChipLayout& LAYOUT>
class TFtEELaidOut : public TFtE2Data {
 public:
  explicit TFtEELaidOut(const FtHandleRecord* record) : TFtE2Data(record, LAYOUT) {}
};

// The 232B family (and every device type without a row of its own on the FT_EE_* paths): 64
// words, strings from 0x14, no type word.
using TFtEE232 = TFtEELaidOut<LAYOUT_232B>;
// The 232R: the 232B image with strings from 0x18, a fixed endpoint size, a factory bit and the
// latency timer raised while programming.
using TFtEE232R = TFtEELaidOut<LAYOUT_232R>;
// The multi-port chips: 64 words, or on a 128- or 256-word EEPROM 128 words with the strings
// moved up by 0x80 and a user area that starts in the space they left. The 2232 has its strings
// from 0x16; the 2232H and 4232H from 0x1A, with drive current, slew and Schmitt options per I/O
// group (the 4232H with four ports and the RI pins usable as transmit enable).
using TFtEE2232 = TFtEELaidOut<LAYOUT_2232>;
using TFtEE2232H = TFtEELaidOut<LAYOUT_2232H>;
using TFtEE4232H = TFtEELaidOut<LAYOUT_4232H>;

// A registry factory: a new `Chip`, or null when allocation fails.
template <typename Chip>
std::unique_ptr<TFtE2Data> MakeChip(const FtHandleRecord* record) {
  return std::unique_ptr<TFtE2Data>(new (std::nothrow) Chip(record));
}

// One row per chip family. The first row also serves, on the FT_EE_* paths, every device type
// without a row of its own.
inline constexpr ChipRow CHIP_ROWS[] = {
    {LAYOUT_232B, &MakeChip<TFtEE232>},     {LAYOUT_2232, &MakeChip<TFtEE2232>},
    {LAYOUT_232R, &MakeChip<TFtEE232R>},    {LAYOUT_2232H, &MakeChip<TFtEE2232H>},
    {LAYOUT_4232H, &MakeChip<TFtEE4232H>},  {LAYOUT_232H, &MakeChip<TFtEE232H>},
    {LAYOUT_X_SERIES, &MakeChip<TFtEEFTX>},
};

}  // namespace ralvex::bridge::eeprom
