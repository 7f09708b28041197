// A bench with one bridge device of a chosen family and EEPROM, opened, whose EEPROM words and
// request log the EEPROM tests read. Checks of what a program call left on the device are made
// here from the words themselves, independently of the code under test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ralvex/bridge.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"

namespace ralvex::eeprom_test {

inline constexpr uint32_t SLOT_READ = 32;
inline constexpr uint32_t SLOT_WRITE = 33;
inline constexpr uint32_t SLOT_ERASE = 34;
inline constexpr uint32_t SLOT_SET_LATENCY = 92;

struct Texts {
  std::string manufacturer = "Ralvex";
  std::string manufacturerId = "RX";
  std::string description = "Load Bridge";
  std::string serial = "RX000123";
};

class EepromTest : public ::testing::Test {
 protected:
  // A fresh bench with this one device, opened; the requests of the open are forgotten.
  void Plug(const sim::BridgeDeviceConfig& config) {
    Unplug();
    bench_ = std::make_unique<sim::Bench>();
    device_ = &bench_->AddDevice(config);
    ASSERT_EQ(FT_Open(0, &handle_), FT_OK);
    device_->ClearRequests();
  }
  void Plug(sim::ChipFamily chip, std::optional<uint32_t> words = std::nullopt,
            std::vector<uint16_t> initial = {}) {
    Plug(Config(chip, words, std::move(initial)));
  }
  static sim::BridgeDeviceConfig Config(sim::ChipFamily chip,
                                        std::optional<uint32_t> words = std::nullopt,
                                        std::vector<uint16_t> initial = {}) {
    sim::BridgeDeviceConfig config;
    config.serial = "EE0001";
    config.chip = chip;
    config.eepromWords = words;
    config.eeprom = std::move(initial);
    return config;
  }

  void Unplug() {
    if (handle_ != nullptr) FT_Close(handle_);
    handle_ = nullptr;
    bench_.reset();
  }

  void TearDown() override { Unplug(); }

  std::vector<uint16_t> Words() const { return device_->EepromWords(); }
  uint8_t Byte(uint32_t at) const {
    const auto words = Words();
    return static_cast<uint8_t>(words[at / 2] >> (8 * (at % 2)));
  }

  // Requests of one slot since the last clear.
  std::vector<sim::DeviceRequest> SentTo(uint32_t slot) const {
    std::vector<sim::DeviceRequest> found;
    for (const auto& request : device_->Requests()) {
      if (((request.code >> 2) & 0xFFF) == slot) found.push_back(request);
    }
    return found;
  }
  // Whether anything that changes the EEPROM was sent.
  bool EepromTouched() const { return !SentTo(SLOT_WRITE).empty() || !SentTo(SLOT_ERASE).empty(); }

  std::unique_ptr<sim::Bench> bench_;
  sim::BridgeDevice* device_ = nullptr;
  FT_HANDLE handle_ = nullptr;
};

// The checksum of `words` before byte `at` (skipping words [skipFirst, skipEnd)).
inline uint16_t Checksum(const std::vector<uint16_t>& words, uint32_t at, uint32_t skipFirst = 0,
                         uint32_t skipEnd = 0) {
  uint16_t sum = 0xAAAA;
  for (uint32_t i = 0; i < at / 2; ++i) {
    if (i >= skipFirst && i < skipEnd) continue;
    sum ^= words[i];
    sum = static_cast<uint16_t>((sum << 1) | (sum >> 15));
  }
  return sum;
}

inline uint8_t ByteOf(const std::vector<uint16_t>& words, uint32_t at) {
  return static_cast<uint8_t>(words[at / 2] >> (8 * (at % 2)));
}

// The text of the descriptor at byte `at`, checking its shape on the way.
inline std::string DescriptorAt(const std::vector<uint16_t>& words, uint32_t at) {
  const uint8_t length = ByteOf(words, at);
  EXPECT_EQ(ByteOf(words, at + 1), 0x03) << "descriptor type at " << at;
  std::string text;
  for (uint32_t i = 2; i + 1 < length; i += 2) {
    EXPECT_EQ(ByteOf(words, at + i + 1), 0x00) << "high byte at " << at + i;
    text.push_back(static_cast<char>(ByteOf(words, at + i)));
  }
  return text;
}

}  // namespace ralvex::eeprom_test
