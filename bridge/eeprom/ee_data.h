// The in-memory EEPROM image and the word-level traffic that fills it from the device and writes
// it back. Failures of single word requests are not reported: a word that did not arrive shows
// up in Verify.
#pragma once

#include <cstdint>
#include <span>

#include "bridge/handle_record.h"

namespace ralvex::bridge::eeprom {

// The largest EEPROM any chip carries: 1024 words.
inline constexpr uint32_t IMAGE_BYTES = 2048;
// Words covered by ReadAll, WriteAll and Verify until a chip says otherwise.
inline constexpr uint32_t IMAGE_DEFAULT_WORDS = 64;

class TEeData {
 public:
  // `record` is the open device (null: every operation that needs the device fails).
  explicit TEeData(const FtHandleRecord* record);

  // One word by index. False only without a device.
  bool ReadWord(uint32_t index, uint16_t* value);
  bool WriteWord(uint32_t index, uint16_t value);
  // The first WordCount() words from the device into the image / from the image to the device.
  bool ReadAll();
  bool WriteAll();
  // Erases the whole EEPROM; the image itself is kept. False only without a device.
  bool Erase();
  // Reads the image back and compares it with what it was: false on any difference.
  bool Verify();

  uint16_t Word(uint32_t index) const;
  void SetWord(uint32_t index, uint16_t value);

  // Byte 2i is the low, 2i+1 the high byte of word i.
  std::span<const uint8_t, IMAGE_BYTES> Image() const { return image_; }
  // Words of ReadAll, WriteAll, Verify.
  uint32_t WordCount() const { return wordCount_; }

 protected:
  bool HasDevice() const;
  // Words ReadAll, WriteAll and Verify move: wordCount_, at most the whole image.
  uint32_t TransferWords() const;

  uint8_t image_[IMAGE_BYTES];
  bool blank_;  // nothing but 0xFFFF read since construction or the last erase
  uint32_t wordCount_;
  const FtHandleRecord* record_;
};

}  // namespace ralvex::bridge::eeprom
