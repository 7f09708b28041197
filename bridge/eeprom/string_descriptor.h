// USB string descriptors as the EEPROM images keep them: a length byte, 0x03, then one 16-bit unit
// per character (the character byte sign-extended).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ralvex::bridge::eeprom {

// The longest text a one-byte descriptor length can describe.
inline constexpr size_t DESCRIPTOR_MAX_CHARACTERS = 126;
inline constexpr size_t DESCRIPTOR_MAX_BYTES = 2 * (DESCRIPTOR_MAX_CHARACTERS + 1);
// The 2-byte descriptor of an empty text.
inline constexpr uint8_t EMPTY_DESCRIPTOR[2] = {0x02, 0x03};

// Bytes the descriptor of a text of `characters` characters takes.
constexpr size_t DescriptorBytes(size_t characters) {
  return 2 * (characters + 1);
}

// Builds the descriptor of `text` (at most DESCRIPTOR_MAX_CHARACTERS; longer text is cut there)
// into `out`, which holds DESCRIPTOR_MAX_BYTES. Returns its length.
size_t BuildDescriptor(const char* text, uint8_t* out);

// Reads the descriptor at `offset` of an image of `imageBytes` into `text` (64 bytes): at most 63
// characters, never past the image. A length byte of 0x80 or more gives an empty text.
void ReadDescriptor(const uint8_t* image, size_t imageBytes, int64_t offset, char* text);

}  // namespace ralvex::bridge::eeprom
