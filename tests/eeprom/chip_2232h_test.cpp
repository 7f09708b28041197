// The 2232H word map: every option bit of both record kinds, drive currents through their codes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/eeprom/multiport_fixture.h"

namespace ralvex::eeprom_test {
namespace {

// Flags are given as 0x5A: any value but 0 sets them. A driver type sets its bit only when 1.
// Drive currents 4, 8, 12, 16 mA are codes 0-3; anything else is code 0 and reads back as 4.
const OptionRow RECORD_ROWS[] = {
    OPTION_ROW(FT_EEPROM_2232H, AIsFifo, 0x5A, 0x00, 0x01, 1),
    OPTION_ROW(FT_EEPROM_2232H, AIsFifoTar, 0x5A, 0x00, 0x02, 1),
    OPTION_ROW(FT_EEPROM_2232H, AIsFastSer, 0x5A, 0x00, 0x04, 1),
    OPTION_ROW(FT_EEPROM_2232H, ADriverType, 1, 0x00, 0x08, 1),
    OPTION_ROW(FT_EEPROM_2232H, ADriverType, 2, 0x00, 0x00, 0),
    OPTION_ROW(FT_EEPROM_2232H, BIsFifo, 0x5A, 0x01, 0x01, 1),
    OPTION_ROW(FT_EEPROM_2232H, BIsFifoTar, 0x5A, 0x01, 0x02, 1),
    OPTION_ROW(FT_EEPROM_2232H, BIsFastSer, 0x5A, 0x01, 0x04, 1),
    OPTION_ROW(FT_EEPROM_2232H, BDriverType, 1, 0x01, 0x08, 1),
    OPTION_ROW(FT_EEPROM_2232H, PowerSaveEnable, 0x5A, 0x01, 0x80, 1),
    OPTION_ROW(FT_EEPROM_2232H, ALDriveCurrent, 16, 0x0C, 0x03, 16),
    OPTION_ROW(FT_EEPROM_2232H, ALDriveCurrent, 6, 0x0C, 0x00, 4),
    OPTION_ROW(FT_EEPROM_2232H, ALSlowSlew, 0x5A, 0x0C, 0x04, 1),
    OPTION_ROW(FT_EEPROM_2232H, ALSchmittInput, 0x5A, 0x0C, 0x08, 1),
    OPTION_ROW(FT_EEPROM_2232H, AHDriveCurrent, 8, 0x0C, 0x10, 8),
    OPTION_ROW(FT_EEPROM_2232H, AHSlowSlew, 0x5A, 0x0C, 0x40, 1),
    OPTION_ROW(FT_EEPROM_2232H, AHSchmittInput, 0x5A, 0x0C, 0x80, 1),
    OPTION_ROW(FT_EEPROM_2232H, BLDriveCurrent, 12, 0x0D, 0x02, 12),
    OPTION_ROW(FT_EEPROM_2232H, BLSlowSlew, 0x5A, 0x0D, 0x04, 1),
    OPTION_ROW(FT_EEPROM_2232H, BLSchmittInput, 0x5A, 0x0D, 0x08, 1),
    OPTION_ROW(FT_EEPROM_2232H, BHDriveCurrent, 16, 0x0D, 0x30, 16),
    OPTION_ROW(FT_EEPROM_2232H, BHSlowSlew, 0x5A, 0x0D, 0x40, 1),
    OPTION_ROW(FT_EEPROM_2232H, BHSchmittInput, 0x5A, 0x0D, 0x80, 1),
};

const OptionRow PROGRAM_DATA_ROWS[] = {
    OPTION_ROW(FT_PROGRAM_DATA, IFAIsFifo7, 0x5A, 0x00, 0x01, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFAIsFifoTar7, 0x5A, 0x00, 0x02, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFAIsFastSer7, 0x5A, 0x00, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, AIsVCP7, 2, 0x00, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFBIsFifo7, 0x5A, 0x01, 0x01, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFBIsFifoTar7, 0x5A, 0x01, 0x02, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFBIsFastSer7, 0x5A, 0x01, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BIsVCP7, 2, 0x01, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, PowerSaveEnable, 0x5A, 0x01, 0x80, 1),
    OPTION_ROW(FT_PROGRAM_DATA, PullDownEnable7, 0x5A, 0x0A, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, SerNumEnable7, 0x5A, 0x0A, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, ALDriveCurrent, 12, 0x0C, 0x02, 12),
    OPTION_ROW(FT_PROGRAM_DATA, ALSlowSlew, 0x5A, 0x0C, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, ALSchmittInput, 0x5A, 0x0C, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, AHDriveCurrent, 16, 0x0C, 0x30, 16),
    OPTION_ROW(FT_PROGRAM_DATA, AHSlowSlew, 0x5A, 0x0C, 0x40, 1),
    OPTION_ROW(FT_PROGRAM_DATA, AHSchmittInput, 0x5A, 0x0C, 0x80, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BLDriveCurrent, 8, 0x0D, 0x01, 8),
    OPTION_ROW(FT_PROGRAM_DATA, BLSlowSlew, 0x5A, 0x0D, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BLSchmittInput, 0x5A, 0x0D, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BHDriveCurrent, 6, 0x0D, 0x00, 4),
    OPTION_ROW(FT_PROGRAM_DATA, BHSlowSlew, 0x5A, 0x0D, 0x40, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BHSchmittInput, 0x5A, 0x0D, 0x80, 1),
};

class Chip2232HTest : public MultiPortTest {
 protected:
  void SetUp() override { Plug(CHIP_2232H, 64); }
};

TEST_F(Chip2232HTest, EachOptionOfTheChipRecordHasItsOwnBit) {
  CheckRecordRows(CHIP_2232H, RECORD_ROWS, {0, 0, 0, 0, 0, 0});
}

TEST_F(Chip2232HTest, EachOptionOfTheProgramDataHasItsOwnBit) {
  CheckProgramDataRows(PROGRAM_DATA_ROWS, {0, 0, 0, 0, 0, 0});
}

// An image that claims a large EEPROM and whose pointers and lengths reach past it or are
// negative: every read path stays within its buffers and reports what it found.
TEST_F(Chip2232HTest, HostileLargeImageIsReadWithinBounds) {
  std::vector<uint16_t> words(128, 0x0000);
  words[0x02 / 2] = 0x0403;
  words[0x0E / 2] = 0x7EFF;  // manufacturer at 0x7F + 0x80 (byte 0xFF), 126 bytes long
  words[0x10 / 2] = 0x80F0;  // description at 0x70 + 0x80
  words[0x12 / 2] = 0x02FE;  // serial number at 0x7E + 0x80, on the checksum
  words[0x18 / 2] = 0x0056;
  words[0xF0 / 2] = 0x0380;  // length byte 0x80: a negative count
  words[0xFE / 2] = 0x7EFE;  // length 0xFE, then the manufacturer's length 0x7E
  sim::BridgeDeviceConfig config = Config(CHIP_2232H.family, 128, words);
  EepromTest::Plug(config);

  std::vector<uint8_t> record = NewRecord(CHIP_2232H);
  TextBuffers texts;
  for (char* buffer : {texts.manufacturer, texts.description, texts.serialNumber}) {
    std::memset(buffer, 0x7F, sizeof texts.manufacturer);
  }
  ASSERT_EQ(Read(record, texts), FT_OK);
  for (const char* text : {texts.manufacturer, texts.description, texts.serialNumber}) {
    EXPECT_LT(strnlen(text, sizeof texts.manufacturer), sizeof texts.manufacturer);
  }
  EXPECT_STREQ(texts.description, "");
  EXPECT_STREQ(texts.serialNumber, "");

  FT_PROGRAM_DATA data = ReadInto(texts);
  ASSERT_EQ(FT_EE_Read(handle_, &data), FT_OK);
  DWORD size = 0;
  ASSERT_EQ(FT_EE_UASize(handle_, &size), FT_OK);
  std::vector<uint8_t> area(size + 8, 0);
  DWORD count = 0;
  ASSERT_EQ(FT_EE_UARead(handle_, area.data(), static_cast<DWORD>(area.size()), &count), FT_OK);
  EXPECT_EQ(count, size);
}

}  // namespace
}  // namespace ralvex::eeprom_test
