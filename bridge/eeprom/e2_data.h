// The EEPROM image as a chip sees it: the common header words, string descriptors, checksum, user
// area and the read, program, encode and decode paths shared by every chip family. Each chip
// supplies its ChipLayout (word map tables, constants, flags and hooks); a chip class overrides
// only the few steps its layout cannot say.
#pragma once

#include <cstdint>
#include <span>

#include "bridge/eeprom/chip_layout.h"
#include "bridge/eeprom/ee_data.h"
#include "bridge/eeprom/latency_guard.h"
#include "ralvex/bridge.h"

namespace ralvex::bridge::eeprom {

// Texts of a string descriptor read from an image: up to 63 characters and the terminator.
inline constexpr uint32_t TEXT_BUFFER_BYTES = 64;

// The texts an FT_EEPROM_Program caller passes (serialNumber may be null or empty).
struct EepromTexts {
  const char* manufacturer;
  const char* manufacturerId;
  const char* description;
  const char* serialNumber;
};

// Where the read paths put the texts; a null buffer is skipped.
struct TextBuffers {
  char* manufacturer;
  char* manufacturerId;
  char* description;
  char* serialNumber;
};

// What the FT_EE_Program path hands Encode: the texts and the caller's options.
struct ChipSettings {
  const char* manufacturer;
  const char* description;
  const char* serialNumber;  // the placeholder; FT_EE_Program puts the real one in afterwards
  FT_PROGRAM_DATA options;
};

// The user area in image bytes: a first region and, on some chips, a second one that continues
// it. totalBytes is what FT_EE_UASize reports.
struct UserAreaRegions {
  uint32_t firstByte;
  uint32_t firstBytes;  // bytes of the first region
  uint32_t secondByte;  // start of the second region (unused when totalBytes == firstBytes)
  uint32_t totalBytes;
};

class TFtE2Data : public TEeData {
 public:
  TFtE2Data(const FtHandleRecord* record, const ChipLayout& layout);
  virtual ~TFtE2Data() = default;
  TFtE2Data(const TFtE2Data&) = delete;
  TFtE2Data& operator=(const TFtE2Data&) = delete;

  const ChipLayout& Layout() const { return layout_; }

  // ---- what a chip family may change where its layout cannot say it ----

  // ReadAll, then the string offsets; chips with a type word take it and, on a large EEPROM, move
  // the offsets up and the checksum to 0xFE (else they cover 64 words).
  virtual bool Load();
  // The checksum over the words before the checksum offset, stored there.
  virtual void UpdateChecksum();
  // The generic rule, or on a large EEPROM the space the moved strings left before it where the
  // layout says so.
  virtual UserAreaRegions UserArea();
  // Sets the EEPROM type (and what follows from it): the wrap-around probe where the layout asks
  // for it, else the 64-word type with nothing sent.
  virtual void ProbeEepromType();
  // Type 0x56 and 0x66 (the 232H adds its internal type).
  virtual bool IsLargeEeprom() const;

  // FT_EE_Program path, step 2 of Encode: the option bits from the settings, the release word of
  // a record without Rev4 and the layout's fixed bits.
  virtual void EncodeOptions(const ChipSettings& settings);
  // FT_EEPROM_Program path, step 2: clear the image and probe; false when the device cannot be
  // reached.
  virtual bool PrepareImage();
  // Step 8: the chip's own words from its record: the record field map, the type word and the
  // layout's fixed bits.
  virtual void PutChipWords(const void* record);
  // Step 11: prepare the device (probe or erase), write and verify, under the programming latency.
  virtual FT_STATUS WriteImage();

  // ---- the paths of the exported functions ----

  // FT_EE_Program path: the image from the settings (cleared first).
  void Encode(const ChipSettings& settings);
  // FT_EE_Read path: Load, the common fields, the texts into data's non-null buffers, the chip
  // block.
  FT_STATUS Decode(FT_PROGRAM_DATA* data);
  // FT_EEPROM_Program / FT_EEPROM_Read: the record is the chip's FT_EEPROM_* record, checked for
  // type and size by the caller.
  FT_STATUS ProgramRecord(const void* record, const EepromTexts& texts);
  FT_STATUS ReadRecord(void* record, const TextBuffers& buffers);
  // On a large EEPROM of a chip with a type word: moves the strings up by 0x80.
  void RelocateStrings();
  // Erases the device, writes the image and reads it back: FT_EEPROM_ERASE_FAILED or
  // FT_EEPROM_WRITE_FAILED for the step that failed.
  FT_STATUS EraseAndWrite();
  // The latency timer raise the layout asks for while the device is written; one that changes
  // nothing for the other chips.
  LatencyGuard ProgrammingLatency() const;

  // Whether three descriptors of these texts (and the empty one, where the chip has it) fit the
  // string area counted from the chip's string base. A text of more than 126 characters never
  // fits.
  bool StringsFit(const char* manufacturer, const char* description,
                  const char* serialNumber) const;

  // The serial number text: `given` when it is neither null nor empty, else the generator's
  // result for `manufacturerId` and the product ID, written into `generated` (16 bytes).
  static const char* SerialText(const char* given, const char* manufacturerId, uint16_t productId,
                                char* generated);

  // ---- user area ----
  uint32_t UserAreaStart();  // word index
  uint32_t UserAreaSize();   // words
  bool UserAreaWrite(const uint8_t* source, uint32_t length);
  void UserAreaRead(uint8_t* destination, uint32_t length, uint32_t* count);

  // ---- header words; each setter ends with UpdateChecksum ----
  void SetVendorId(uint16_t value);
  void SetProductId(uint16_t value);
  void SetAttributes(uint8_t value);
  void SetMaxPower(uint32_t milliamps);
  void SetPnpWord(uint16_t value);
  // The descriptor d (d[0] bytes) right after the serial number descriptor; false, changing
  // nothing, when it would pass byte 124.
  bool AppendAfterSerial(const uint8_t* descriptor);
  // The descriptor d at the serial offset, its length into byte 0x13.
  void PutSerialDescriptor(const uint8_t* descriptor);
  uint16_t GetVendorId() const;
  uint16_t GetProductId() const;
  uint32_t GetMaxPower() const;
  uint8_t GetAttributes() const;
  uint16_t GetPnpWord() const;
  // Texts into 64-byte buffers; empty while the image is blank.
  void GetManufacturer(char* text) const;
  void GetDescription(char* text) const;
  void GetSerial(char* text) const;
  void GetManufacturerId(char* text) const;  // the serial number's first two characters

  // ---- state ----
  uint16_t Checksum() const { return checksum_; }  // as last stored
  uint16_t EepromType() const { return eepromType_; }
  uint32_t ChecksumOffset() const { return checksumOffset_; }

 protected:
  // Where a probe's test word may show up, and the EEPROM type that tells.
  struct ProbeStep {
    uint32_t word;
    uint16_t type;
  };
  // Erases, writes the test word 0x00C0 at word 0xC0 and returns the type of the first step whose
  // word reads it back (an EEPROM of n words keeps it at 0xC0 mod n); EEPROM_TYPE_NONE when none
  // does.
  uint16_t ProbeByTestWord(std::span<const ProbeStep> steps);
  // Every word from `base` up to byte 0x7F goes 0x80 higher and the source is zeroed.
  void MoveStringsUp(uint32_t base);
  // Image byte as a signed value, 0 outside the image.
  int32_t SignedByte(int64_t offset) const;
  // Writes the three descriptors from the string base, their pointer bytes and offsets.
  void PutStrings(const char* manufacturer, const char* description, const char* serialNumber);

  uint16_t checksum_;
  uint16_t eepromType_;
  int32_t manufacturerOffset_;
  int32_t productOffset_;
  int32_t serialOffset_;
  uint32_t checksumOffset_;

 private:
  // FT_EE_Read path: the chip block of the record, and the other blocks it clears.
  void DecodeOptions(FT_PROGRAM_DATA* data);
  // FT_EEPROM_Program path: the range checks of the layout's CBUS fields.
  FT_STATUS CheckRecord(const void* record) const;
  // Read routine: the chip fields of the record from the image.
  void ReadChipFields(void* record);
  // The probed EEPROM type (or the layout's type for an unknown one) into the type word, if any.
  void PutTypeWord();
  // The layout's fixed byte and factory bit.
  void PutFixedBits();
  // Bit 0 of the layout's factory word, when it reads programmed.
  uint8_t FactoryBit();
  // Write and verify: FT_EEPROM_WRITE_FAILED when either fails.
  FT_STATUS WriteAndVerify();
  // The probe of the multi-port chips: 64, 128 or 256 words by where the test word lands.
  void ProbeByWrapAround();
  // The generic user area rule, from the serial descriptor, the one after it and the PnP word.
  UserAreaRegions GenericUserArea();
  // The PnP word follows the serial descriptor and the descriptor after it.
  int64_t PnpPosition() const;
  void ReadText(int32_t offset, char* text) const;

  const ChipLayout& layout_;
};

}  // namespace ralvex::bridge::eeprom
