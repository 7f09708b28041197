#include "bridge/eeprom/ee_data.h"

#include <cstring>

#include "bridge/payload.h"
#include "bridge/request_path.h"

namespace ralvex::bridge::eeprom {

TEeData::TEeData(const FtHandleRecord* record)
    : image_{}, blank_(true), wordCount_(IMAGE_DEFAULT_WORDS), record_(record) {}

bool TEeData::HasDevice() const {
  return record_ != nullptr && record_->deviceHandle != nullptr;
}

uint32_t TEeData::TransferWords() const {
  return wordCount_ <= IMAGE_BYTES / 2 ? wordCount_ : IMAGE_BYTES / 2;
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
  for (uint32_t i = 0; i < TransferWords(); ++i) {
    uint16_t word = 0;
    ReadWord(i, &word);
    SetWord(i, word);
    if (word != 0xFFFF) blank_ = false;
  }
  return true;
}

bool TEeData::WriteAll() {
  if (!HasDevice()) return false;
  for (uint32_t i = 0; i < TransferWords(); ++i) WriteWord(i, Word(i));
  return true;
}

bool TEeData::Erase() {
  if (!HasDevice()) return false;
  SendRequest(record_, SLOT_EEPROM_ERASE, {}, {});
  blank_ = true;
  return true;
}

bool TEeData::Verify() {
  const uint32_t bytes = TransferWords() * 2;
  uint8_t expected[IMAGE_BYTES];
  std::memcpy(expected, image_, bytes);
  if (HasDevice()) ReadAll();
  return std::memcmp(expected, image_, bytes) == 0;
}

uint16_t TEeData::Word(uint32_t index) const {
  if (index >= IMAGE_BYTES / 2) return 0;
  return static_cast<uint16_t>(image_[2 * index] | image_[2 * index + 1] << 8);
}

void TEeData::SetWord(uint32_t index, uint16_t value) {
  if (index >= IMAGE_BYTES / 2) return;
  image_[2 * index] = static_cast<uint8_t>(value);
  image_[2 * index + 1] = static_cast<uint8_t>(value >> 8);
}

}  // namespace ralvex::bridge::eeprom
