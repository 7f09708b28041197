#include "bridge/eeprom/string_descriptor.h"

#include <cstring>

namespace ralvex::bridge::eeprom {

size_t BuildDescriptor(const char* text, uint8_t* out) {
  const size_t characters = text == nullptr ? 0 : strnlen(text, DESCRIPTOR_MAX_CHARACTERS);
  out[0] = static_cast<uint8_t>(DescriptorBytes(characters));
  out[1] = 0x03;
  for (size_t i = 0; i < characters; ++i) {
    const auto unit =
        static_cast<uint16_t>(static_cast<int16_t>(static_cast<signed char>(text[i])));
    out[2 + 2 * i] = static_cast<uint8_t>(unit);
    out[3 + 2 * i] = static_cast<uint8_t>(unit >> 8);
  }
  return DescriptorBytes(characters);
}

void ReadDescriptor(const uint8_t* image, size_t imageBytes, int64_t offset, char* text) {
  text[0] = '\0';
  if (offset < 0 || static_cast<uint64_t>(offset) >= imageBytes) return;
  const int length = static_cast<signed char>(image[offset]);
  int characters = length / 2 - 1;
  if (characters <= 0) return;
  if (characters > 63) characters = 63;
  int i = 0;
  for (; i < characters; ++i) {
    const uint64_t unit = static_cast<uint64_t>(offset) + 2 + 2 * static_cast<uint64_t>(i);
    if (unit >= imageBytes) break;
    text[i] = static_cast<char>(image[unit]);
  }
  text[i] = '\0';
}

}  // namespace ralvex::bridge::eeprom
