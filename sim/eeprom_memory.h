// The configuration EEPROM of a simulated bridge chip: 16-bit words with the address wrap-around
// of the real parts (word i is word i mod size), plus the configuration bytes and ECC words that
// some families carry, and the factory word a 232R keeps outside its programmable words. Not
// locked: the device serialises access.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ralvex::sim {

// Where a 232R keeps its factory word.
inline constexpr uint32_t FACTORY_WORD_ADDRESS = 0x42;

class EepromMemory {
 public:
  // `words` is 0 (no EEPROM fitted) or a size the chip can carry; `initial` fills from word 0,
  // the rest is blank (0xFFFF). Words beyond the size are ignored. A `factoryWord` answers reads
  // of FACTORY_WORD_ADDRESS instead of the word it would wrap onto; writes and erases leave it.
  EepromMemory(uint32_t words, const std::vector<uint16_t>& initial,
               std::optional<uint16_t> factoryWord = std::nullopt);

  uint32_t Size() const { return static_cast<uint32_t>(words_.size()); }

  // Without an EEPROM reads give 0x0000 (the data line floats low) and writes vanish.
  uint16_t Read(uint32_t index) const;
  void Write(uint32_t index, uint16_t value);
  void Erase();

  // Writes that report success but do not change the memory.
  void SetWritesStick(bool stick) { writesStick_ = stick; }

  uint8_t ReadConfig(uint8_t address) const { return config_[address]; }
  void WriteConfig(uint8_t address, uint8_t value);
  // The check bits of the word at `address` (wrapped like Read): a Hamming syndrome of the data
  // bits in the low byte and the overall parity in bit 15, so that any change shows.
  uint16_t ReadEcc(uint8_t address) const;

  const std::vector<uint16_t>& Words() const { return words_; }

 private:
  std::vector<uint16_t> words_;
  std::optional<uint16_t> factoryWord_;
  std::array<uint8_t, 256> config_{};
  bool writesStick_ = true;
};

}  // namespace ralvex::sim
