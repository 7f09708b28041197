// Line-setting facts the request handlers and the comm-state mapping share.
#pragma once

#include <cstdint>

namespace ralvex::sim {

inline constexpr uint32_t DCB_BYTES = 28;

inline constexpr uint16_t FLOW_NONE = 0x0000;
inline constexpr uint16_t FLOW_RTS_CTS = 0x0100;
inline constexpr uint16_t FLOW_DTR_DSR = 0x0200;
inline constexpr uint16_t FLOW_XON_XOFF = 0x0400;

inline bool ValidDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
  return wordLength >= 5 && wordLength <= 8 && stopBits <= 2 && parity <= 4;
}

}  // namespace ralvex::sim
