// What one simulated bridge device is: identity, EEPROM, faults. Bench files are read straight into
// this record (the bench file's keys carry the same names in snake case), and
// ValidateBridgeDeviceConfig is the one place its limits are checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/chip_family.h"

namespace ralvex::sim {

// Reads that fail: this many, or every one.
inline constexpr uint32_t EVERY_READ = 0xFFFFFFFF;

// The device-information reply's 16- and 64-byte fields, terminator included.
inline constexpr size_t MAX_SERIAL_LENGTH = 15;
inline constexpr size_t MAX_DESCRIPTION_LENGTH = 63;

struct BridgeDeviceConfig {
  std::string serial;                      // at most 15 characters
  std::optional<std::string> description;  // at most 63 characters; default per chip family
  ChipFamily chip = CHIP_232R;
  uint16_t vid = 0x0403;
  std::optional<uint16_t> pid;          // default per chip family
  std::optional<uint32_t> location;     // unset: the USB tree gives the port's location
  std::optional<bool> highSpeed;        // default per chip family (packet size 512 instead of 64)
  bool heldOpen = false;                // another program holds it: every Open is refused
  bool alternateRequests = false;       // answers only the alternate request table
  std::vector<uint32_t> refuse;         // slots refused although valid
  std::optional<uint32_t> eepromWords;  // 0, 64, 128, 256 or 1024; default per chip family
  std::vector<uint16_t> eeprom;         // initial EEPROM words from word 0; the rest reads 0xFFFF
  uint16_t factoryWord = 0x0000;        // a 232R's word 0x42, outside its programmable words
  uint32_t comPort = 0;                 // COM port number; 0 = none
  uint32_t driverVersion = 0x00021808;
  uint32_t extra = 0;      // device-information offset 12
  bool wireModel = false;  // delay bytes by their time on the wire

  // Faults.
  uint32_t readFailures = 0;                 // this many reads fail (EVERY_READ: all of them)
  bool unplugged = false;                    // not present from the start
  std::optional<uint64_t> unplugAfterBytes;  // leaves once this many bytes have moved
  bool eepromWritesStick = true;             // false: word and configuration writes are dropped
  bool restartNeedsReboot = false;           // a restart reports that it needs a reboot
  bool restartFails = false;                 // a restart is refused
};

// Checks the limits a config must keep (string lengths and characters, EEPROM size and image,
// refused slots, the factory word's chip). Returns false with one line in *error and, in *key,
// the bench key the problem concerns. The device itself clamps what it is given, so an
// unchecked config is safe, only surprising.
bool ValidateBridgeDeviceConfig(const BridgeDeviceConfig& config, std::string* error,
                                std::string_view* key = nullptr);

// Whether the simulated driver serves `slot` (0-3, 16, 32-41, 65, 67-69, 71-74, 76, 77, 81-83,
// 86, 87, 89-124): the slots of the device's request rows (device_requests.cpp).
bool IsValidRequestSlot(uint32_t slot);

// The config with every default resolved and every string cut to its field.
BridgeDeviceConfig ResolveBridgeDeviceConfig(BridgeDeviceConfig config);

}  // namespace ralvex::sim
