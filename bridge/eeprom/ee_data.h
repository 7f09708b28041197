// The in-memory EEPROM image and the word-level traffic that fills it from the device and writes
// it back. Failures of single word requests are not reported: a word that did not arrive shows
// up in Verify.
#pragma once

#include <cstdint>

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
  // The first `wordCount` words from the device into `image` / from `image` to the device.
  bool ReadAll();
  bool WriteAll();
  // Erases the whole EEPROM; the image itself is kept. False only without a device.
  bool Erase();
  // Reads the image back and compares it with what it was: false on any difference.
  bool Verify();

  uint16_t Word(uint32_t index) const;
  void SetWord(uint32_t index, uint16_t value);

  uint8_t image[IMAGE_BYTES];  // byte 2i low, 2i+1 high byte of word i
  uint32_t cursor;             // byte position of the whole-image read and write
  bool blank;                  // nothing but 0xFFFF read since construction or the last erase
  uint32_t wordCount;          // words of ReadAll, WriteAll, Verify

 protected:
  bool HasDevice() const;

  const FtHandleRecord* record_;
};

}  // namespace ralvex::bridge::eeprom
