// The multi-port chips on the EEPROM bench of eeprom_fixture.h: what sets each chip apart as the
// tests expect it, records filled with the identity they program, and option rows that set one
// field alone and say which image bit it must land on.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "ralvex/bridge.h"
#include "tests/eeprom/eeprom_fixture.h"

namespace ralvex::eeprom_test {

struct MultiPortChip {
  const char* name;
  sim::ChipFamily family;
  FT_DEVICE deviceType;
  uint32_t stringBase;    // first descriptor on a 64-word image
  uint32_t typeWordByte;  // EEPROM type word
  uint16_t release;       // device release of the program paths
  uint32_t recordSize;    // its FT_EEPROM_* record
};

inline constexpr MultiPortChip CHIP_2232{"2232", sim::CHIP_2232C, FT_DEVICE_2232C,       0x16,
                                         0x14,   0x0500,          sizeof(FT_EEPROM_2232)};
inline constexpr MultiPortChip CHIP_2232H{"2232H", sim::CHIP_2232H, FT_DEVICE_2232H,        0x1A,
                                          0x18,    0x0700,          sizeof(FT_EEPROM_2232H)};
inline constexpr MultiPortChip CHIP_4232H{"4232H", sim::CHIP_4232H, FT_DEVICE_4232H,        0x1A,
                                          0x18,    0x0800,          sizeof(FT_EEPROM_4232H)};

// A zeroed chip record of `chip` with the identity header the tests program.
inline std::vector<uint8_t> NewRecord(const MultiPortChip& chip) {
  std::vector<uint8_t> record(chip.recordSize, 0);
  FT_EEPROM_HEADER header;
  std::memset(&header, 0, sizeof header);
  header.deviceType = chip.deviceType;
  header.VendorId = 0x1234;
  header.ProductId = 0x5678;
  header.MaxPower = 90;
  std::memcpy(record.data(), &header, sizeof header);
  return record;
}

// The four 64-byte text buffers of the read functions (and writable texts to program).
struct TextBuffers {
  char manufacturer[64] = {};
  char manufacturerId[64] = {};
  char description[64] = {};
  char serialNumber[64] = {};
};

// A record to read into, its texts pointing into `texts`.
inline FT_PROGRAM_DATA ReadInto(TextBuffers& texts) {
  FT_PROGRAM_DATA data;
  std::memset(&data, 0, sizeof data);
  data.Signature2 = 0xFFFFFFFF;
  data.Manufacturer = texts.manufacturer;
  data.ManufacturerId = texts.manufacturerId;
  data.Description = texts.description;
  data.SerialNumber = texts.serialNumber;
  return data;
}

// An FT_PROGRAM_DATA with the identity and texts the tests program, kept in `texts`.
inline FT_PROGRAM_DATA NewProgramData(TextBuffers& texts) {
  std::strcpy(texts.manufacturer, "Maker");
  std::strcpy(texts.manufacturerId, "AB");
  std::strcpy(texts.description, "Dual port");
  std::strcpy(texts.serialNumber, "SN123456");
  FT_PROGRAM_DATA data = ReadInto(texts);
  data.VendorId = 0x1234;
  data.ProductId = 0x5678;
  data.MaxPower = 90;
  return data;
}

// One option set alone in a record: the record byte at `offset` holds `value`; image byte
// `imageByte` must then read `expected` (the other option bytes their baseline), and the read
// path must give back `readBack`.
struct OptionRow {
  const char* field;
  size_t offset;
  uint8_t value;
  uint32_t imageByte;
  uint8_t expected;
  uint8_t readBack;
};

#define OPTION_ROW(Record, field, value, imageByte, expected, readBack)   \
  ::ralvex::eeprom_test::OptionRow {                                      \
#field, offsetof(Record, field), value, imageByte, expected, readBack \
  }

// The image bytes that carry the multi-port chips' options, and their values with none set.
inline constexpr std::array<uint32_t, 6> OPTION_BYTES = {0x00, 0x01, 0x0A, 0x0B, 0x0C, 0x0D};
using OptionBaseline = std::array<uint8_t, OPTION_BYTES.size()>;

class MultiPortTest : public EepromTest {
 protected:
  void Plug(const MultiPortChip& chip, uint32_t eepromWords, bool writesStick = true) {
    sim::BridgeDeviceConfig config = Config(chip.family, eepromWords);
    config.eepromWritesStick = writesStick;
    EepromTest::Plug(config);
  }

  uint16_t WordAtByte(uint32_t at) const { return Words().at(at / 2); }
  std::string TextAt(uint32_t at) const { return DescriptorAt(Words(), at); }

  // Word indexes of the write requests, in order.
  std::vector<uint32_t> WrittenIndexes() const {
    std::vector<uint32_t> indexes;
    for (const sim::DeviceRequest& request : SentTo(SLOT_WRITE)) {
      indexes.push_back(request.input.size() < 2 ? 0xFFFFFFFF
                                                 : request.input[0] | request.input[1] << 8);
    }
    return indexes;
  }

  FT_STATUS Program(std::vector<uint8_t>& record, const char* manufacturer = "Maker",
                    const char* description = "Dual port", const char* serial = "SN123456") {
    return FT_EEPROM_Program(handle_, record.data(), static_cast<DWORD>(record.size()),
                             manufacturer, "AB", description, serial);
  }
  FT_STATUS Read(std::vector<uint8_t>& record, TextBuffers& texts) {
    return FT_EEPROM_Read(handle_, record.data(), static_cast<DWORD>(record.size()),
                          texts.manufacturer, texts.manufacturerId, texts.description,
                          texts.serialNumber);
  }

  void ExpectOptionBytes(const OptionRow& row, const OptionBaseline& baseline) const {
    for (size_t i = 0; i < OPTION_BYTES.size(); ++i) {
      const uint8_t expected = OPTION_BYTES[i] == row.imageByte ? row.expected : baseline[i];
      EXPECT_EQ(Byte(OPTION_BYTES[i]), expected) << "image byte " << OPTION_BYTES[i];
    }
  }

  // Each row alone through FT_EEPROM_Program and back through FT_EEPROM_Read.
  void CheckRecordRows(const MultiPortChip& chip, std::span<const OptionRow> rows,
                       const OptionBaseline& baseline) {
    for (const OptionRow& row : rows) {
      SCOPED_TRACE(row.field);
      std::vector<uint8_t> record = NewRecord(chip);
      record.at(row.offset) = row.value;
      ASSERT_EQ(Program(record), FT_OK);
      ExpectOptionBytes(row, baseline);
      std::vector<uint8_t> back = NewRecord(chip);
      TextBuffers texts;
      ASSERT_EQ(Read(back, texts), FT_OK);
      EXPECT_EQ(back[row.offset], row.readBack);
    }
  }

  // Each row alone through FT_EE_Program and back through FT_EE_Read (offsets into
  // FT_PROGRAM_DATA).
  void CheckProgramDataRows(std::span<const OptionRow> rows, const OptionBaseline& baseline) {
    for (const OptionRow& row : rows) {
      SCOPED_TRACE(row.field);
      TextBuffers texts;
      FT_PROGRAM_DATA data = NewProgramData(texts);
      reinterpret_cast<uint8_t*>(&data)[row.offset] = row.value;
      ASSERT_EQ(FT_EE_Program(handle_, &data), FT_OK);
      ExpectOptionBytes(row, baseline);
      TextBuffers backTexts;
      FT_PROGRAM_DATA back = ReadInto(backTexts);
      ASSERT_EQ(FT_EE_Read(handle_, &back), FT_OK);
      EXPECT_EQ(reinterpret_cast<const uint8_t*>(&back)[row.offset], row.readBack);
    }
  }
};

}  // namespace ralvex::eeprom_test
