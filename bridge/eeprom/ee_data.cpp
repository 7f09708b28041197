#include "bridge/eeprom/ee_data.h"

#include <cstring>

#include "bridge/payload.h"
#include "bridge/request_path.h"

namespace ralvex::bridge::eeprom {

TEeData::TEeData(const FtHandleRecord* record)
    : image{}, cursor(0), blank(true), wordCount(IMAGE_DEFAULT_WORDS), record_(record) {}

bool TEeData::HasDevice() const {
  return record_ != nullptr && record_->deviceHandle != nullptr;
}

bool TEeData::ReadWord(uint32_t index, uint16_t* value) {
  if (!HasDevice()) return false;
  const auto in = Le32(index);
  uint8_t out[2] = {};
  SendRequest(record_, SLOT_EEPROM_READ, in, out);
  *value = static_cast<uint16_t>(out[0] | out[1] << 8);
  return true;
}

bool TEeData::WriteWord(uint32_t index, uint16_t value) {
  if (!HasDevice()) return false;
  uint8_t in[4] = {static_cast<uint8_t>(index), static_cast<uint8_t>(index >> 8),
                   static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  // The driver takes the same buffer back as output.
  uint8_t out[4];
  std::memcpy(out, in, sizeof out);
  SendRequest(record_, SLOT_EEPROM_WRITE, in, out);
  return true;
}

bool TEeData::ReadAll() {
  if (!HasDevice()) return false;
  const uint32_t words = wordCount <= IMAGE_BYTES / 2 ? wordCount : IMAGE_BYTES / 2;
  cursor = 0;
  for (uint32_t i = 0; i < words; ++i) {
    uint16_t word = 0;
    ReadWord(i, &word);
    image[cursor] = static_cast<uint8_t>(word);
    image[cursor + 1] = static_cast<uint8_t>(word >> 8);
    cursor += 2;
    if (word != 0xFFFF) blank = false;
  }
  return true;
}

bool TEeData::WriteAll() {
  if (!HasDevice()) return false;
  const uint32_t words = wordCount <= IMAGE_BYTES / 2 ? wordCount : IMAGE_BYTES / 2;
  cursor = 0;
  for (uint32_t i = 0; i < words; ++i) {
    WriteWord(i, static_cast<uint16_t>(image[cursor] | image[cursor + 1] << 8));
    cursor += 2;
  }
  return true;
}

bool TEeData::Erase() {
  if (!HasDevice()) return false;
  SendRequest(record_, SLOT_EEPROM_ERASE, {}, {});
  blank = true;
  return true;
}

bool TEeData::Verify() {
  const uint32_t bytes = (wordCount <= IMAGE_BYTES / 2 ? wordCount : IMAGE_BYTES / 2) * 2;
  uint8_t expected[IMAGE_BYTES];
  std::memcpy(expected, image, bytes);
  if (HasDevice()) ReadAll();
  return std::memcmp(expected, image, bytes) == 0;
}

uint16_t TEeData::Word(uint32_t index) const {
  if (index >= IMAGE_BYTES / 2) return 0;
  return static_cast<uint16_t>(image[2 * index] | image[2 * index + 1] << 8);
}

void TEeData::SetWord(uint32_t index, uint16_t value) {
  if (index >= IMAGE_BYTES / 2) return;
  image[2 * index] = static_cast<uint8_t>(value);
  image[2 * index + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace ralvex::bridge::eeprom
