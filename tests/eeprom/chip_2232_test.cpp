// The 2232 word map: every option bit of both record kinds, the USB version word, and what a read
// through FT_EE_Read reports that the image does not hold.
#include <gtest/gtest.h>

#include "tests/eeprom/multiport_fixture.h"

namespace ralvex::eeprom_test {
namespace {

// Flags are given as 0x5A: any value but 0 sets them. A driver type sets its bit only when 1.
const OptionRow RECORD_ROWS[] = {
    OPTION_ROW(FT_EEPROM_2232, AIsFifo, 0x5A, 0x00, 0x01, 1),
    OPTION_ROW(FT_EEPROM_2232, AIsFifoTar, 0x5A, 0x00, 0x02, 1),
    OPTION_ROW(FT_EEPROM_2232, AIsFastSer, 0x5A, 0x00, 0x04, 1),
    OPTION_ROW(FT_EEPROM_2232, ADriverType, 1, 0x00, 0x08, 1),
    OPTION_ROW(FT_EEPROM_2232, ADriverType, 2, 0x00, 0x00, 0),
    OPTION_ROW(FT_EEPROM_2232, AIsHighCurrent, 0x5A, 0x00, 0x10, 1),
    OPTION_ROW(FT_EEPROM_2232, BIsFifo, 0x5A, 0x01, 0x01, 1),
    OPTION_ROW(FT_EEPROM_2232, BIsFifoTar, 0x5A, 0x01, 0x02, 1),
    OPTION_ROW(FT_EEPROM_2232, BIsFastSer, 0x5A, 0x01, 0x04, 1),
    OPTION_ROW(FT_EEPROM_2232, BDriverType, 1, 0x01, 0x08, 1),
    OPTION_ROW(FT_EEPROM_2232, BIsHighCurrent, 0x5A, 0x01, 0x10, 1),
};

const OptionRow PROGRAM_DATA_ROWS[] = {
    OPTION_ROW(FT_PROGRAM_DATA, IFAIsFifo, 0x5A, 0x00, 0x01, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFAIsFifoTar, 0x5A, 0x00, 0x02, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFAIsFastSer, 0x5A, 0x00, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, AIsVCP, 2, 0x00, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, AIsHighCurrent, 0x5A, 0x00, 0x10, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFBIsFifo, 0x5A, 0x01, 0x01, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFBIsFifoTar, 0x5A, 0x01, 0x02, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IFBIsFastSer, 0x5A, 0x01, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BIsVCP, 2, 0x01, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BIsHighCurrent, 0x5A, 0x01, 0x10, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IsoInA, 0x5A, 0x0A, 0x01, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IsoOutA, 0x5A, 0x0A, 0x02, 1),
    OPTION_ROW(FT_PROGRAM_DATA, PullDownEnable5, 0x5A, 0x0A, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, SerNumEnable5, 0x5A, 0x0A, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, USBVersionEnable5, 0x5A, 0x0A, 0x10, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IsoInB, 0x5A, 0x0A, 0x20, 1),
    OPTION_ROW(FT_PROGRAM_DATA, IsoOutB, 0x5A, 0x0A, 0x40, 1),
};

class Chip2232Test : public MultiPortTest {
 protected:
  void SetUp() override { Plug(CHIP_2232, 64); }
};

TEST_F(Chip2232Test, EachOptionOfTheChipRecordHasItsOwnBit) {
  // Word 6 carries the USB version 0x0200 on this path.
  CheckRecordRows(CHIP_2232, RECORD_ROWS, {0, 0, 0, 0, 0x00, 0x02});
}

TEST_F(Chip2232Test, EachOptionOfTheProgramDataHasItsOwnBit) {
  CheckProgramDataRows(PROGRAM_DATA_ROWS, {0, 0, 0, 0, 0, 0});
}

TEST_F(Chip2232Test, UsbVersionIsTheCallersOnlyThroughProgramData) {
  TextBuffers texts;
  FT_PROGRAM_DATA data = NewProgramData(texts);
  data.USBVersion5 = 0x0110;
  ASSERT_EQ(FT_EE_Program(handle_, &data), FT_OK);
  EXPECT_EQ(WordAtByte(0x0C), 0x0110);
  EXPECT_EQ(WordAtByte(0x06), 0x0500);
  EXPECT_EQ(WordAtByte(0x14), 0x0046);

  // A read reports revision 5 whatever the caller's record held.
  TextBuffers backTexts;
  FT_PROGRAM_DATA back = ReadInto(backTexts);
  back.Rev5 = 0;
  ASSERT_EQ(FT_EE_Read(handle_, &back), FT_OK);
  EXPECT_EQ(back.Rev5, 1);
  EXPECT_EQ(back.USBVersion5, 0x0110);

  std::vector<uint8_t> record = NewRecord(CHIP_2232);
  ASSERT_EQ(Program(record), FT_OK);
  EXPECT_EQ(WordAtByte(0x0C), 0x0200);
}

}  // namespace
}  // namespace ralvex::eeprom_test
