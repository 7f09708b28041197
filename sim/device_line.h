// Line-setting facts the request handlers and the comm-state mapping share.
#pragma once

#include <cstdint>

namespace ralvex::sim {

inline constexpr uint32_t DCB_BYTES = 28;

inline bool ValidDataCharacteristics(uint8_t wordLength, uint8_t stopBits, uint8_t parity) {
  return wordLength >= 5 && wordLength <= 8 && stopBits <= 2 && parity <= 4;
}

}  // namespace ralvex::sim
