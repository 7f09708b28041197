#include "sim/eeprom_memory.h"

#include <algorithm>

namespace ralvex::sim {

EepromMemory::EepromMemory(uint32_t words, const std::vector<uint16_t>& initial,
                           std::optional<uint16_t> factoryWord)
    : words_(words, 0xFFFF), factoryWord_(factoryWord) {
  std::copy_n(initial.begin(), std::min<size_t>(initial.size(), words_.size()), words_.begin());
  config_.fill(0xFF);
}

uint16_t EepromMemory::Read(uint32_t index) const {
  if (factoryWord_ && index == FACTORY_WORD_ADDRESS) return *factoryWord_;
  if (words_.empty()) return 0x0000;
  return words_[index % words_.size()];
}

void EepromMemory::Write(uint32_t index, uint16_t value) {
  if (factoryWord_ && index == FACTORY_WORD_ADDRESS) return;
  if (words_.empty() || !writesStick_) return;
  words_[index % words_.size()] = value;
}

void EepromMemory::Erase() {
  std::fill(words_.begin(), words_.end(), 0xFFFF);
}

void EepromMemory::WriteConfig(uint8_t address, uint8_t value) {
  if (writesStick_) config_[address] = value;
}

uint16_t EepromMemory::ReadEcc(uint8_t address) const {
  uint16_t word = Read(address);
  uint16_t syndrome = 0;
  uint16_t parity = 0;
  for (uint16_t bit = 0; bit < 16; ++bit) {
    if (word & (1u << bit)) {
      syndrome ^= static_cast<uint16_t>(bit + 1);
      parity ^= 1;
    }
  }
  return static_cast<uint16_t>(syndrome | (parity << 15));
}

}  // namespace ralvex::sim
