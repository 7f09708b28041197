// Automatic serial numbers: the first two characters of a prefix and six base-36 characters
// packed from the local time and a small seed.
#pragma once

#include <cstdint>

#include "platform/win32.h"

namespace ralvex::bridge::eeprom {

class SerialNumberGenerator {
 public:
  // Keeps at most what its fields hold of the prefix (null is an empty prefix).
  SerialNumberGenerator(const char* prefix, uint16_t seed);

  // The serial number for the current local time / a given one. The result lives in the object.
  const char* Generate();
  const char* Generate(const SYSTEMTIME& now);

 private:
  char text_[16];
  char prefix_[4];
  uint16_t seed_;
};

}  // namespace ralvex::bridge::eeprom
