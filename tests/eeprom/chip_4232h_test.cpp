// The 4232H word map: every option bit of both record kinds, the transmit-enable bits beside the
// header bits of word 0x0A.
#include <gtest/gtest.h>

#include "tests/eeprom/multiport_fixture.h"

namespace ralvex::eeprom_test {
namespace {

// Flags are given as 0x5A: any value but 0 sets them. A driver type sets its bit only when 1.
// Drive currents 4, 8, 12, 16 mA are codes 0-3; anything else is code 0 and reads back as 4.
const OptionRow RECORD_ROWS[] = {
    OPTION_ROW(FT_EEPROM_4232H, ADriverType, 1, 0x00, 0x08, 1),
    OPTION_ROW(FT_EEPROM_4232H, CDriverType, 1, 0x00, 0x80, 1),
    OPTION_ROW(FT_EEPROM_4232H, CDriverType, 2, 0x00, 0x00, 0),
    OPTION_ROW(FT_EEPROM_4232H, BDriverType, 1, 0x01, 0x08, 1),
    OPTION_ROW(FT_EEPROM_4232H, DDriverType, 1, 0x01, 0x80, 1),
    OPTION_ROW(FT_EEPROM_4232H, ARIIsTXDEN, 0x5A, 0x0B, 0x10, 1),
    OPTION_ROW(FT_EEPROM_4232H, BRIIsTXDEN, 0x5A, 0x0B, 0x20, 1),
    OPTION_ROW(FT_EEPROM_4232H, CRIIsTXDEN, 0x5A, 0x0B, 0x40, 1),
    OPTION_ROW(FT_EEPROM_4232H, DRIIsTXDEN, 0x5A, 0x0B, 0x80, 1),
    OPTION_ROW(FT_EEPROM_4232H, ADriveCurrent, 8, 0x0C, 0x01, 8),
    OPTION_ROW(FT_EEPROM_4232H, ASlowSlew, 0x5A, 0x0C, 0x04, 1),
    OPTION_ROW(FT_EEPROM_4232H, ASchmittInput, 0x5A, 0x0C, 0x08, 1),
    OPTION_ROW(FT_EEPROM_4232H, BDriveCurrent, 12, 0x0C, 0x20, 12),
    OPTION_ROW(FT_EEPROM_4232H, BSlowSlew, 0x5A, 0x0C, 0x40, 1),
    OPTION_ROW(FT_EEPROM_4232H, BSchmittInput, 0x5A, 0x0C, 0x80, 1),
    OPTION_ROW(FT_EEPROM_4232H, CDriveCurrent, 16, 0x0D, 0x03, 16),
    OPTION_ROW(FT_EEPROM_4232H, CSlowSlew, 0x5A, 0x0D, 0x04, 1),
    OPTION_ROW(FT_EEPROM_4232H, CSchmittInput, 0x5A, 0x0D, 0x08, 1),
    OPTION_ROW(FT_EEPROM_4232H, DDriveCurrent, 6, 0x0D, 0x00, 4),
    OPTION_ROW(FT_EEPROM_4232H, DSlowSlew, 0x5A, 0x0D, 0x40, 1),
    OPTION_ROW(FT_EEPROM_4232H, DSchmittInput, 0x5A, 0x0D, 0x80, 1),
};

const OptionRow PROGRAM_DATA_ROWS[] = {
    OPTION_ROW(FT_PROGRAM_DATA, AIsVCP8, 2, 0x00, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, CIsVCP8, 2, 0x00, 0x80, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BIsVCP8, 2, 0x01, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, DIsVCP8, 2, 0x01, 0x80, 1),
    OPTION_ROW(FT_PROGRAM_DATA, PullDownEnable8, 0x5A, 0x0A, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, SerNumEnable8, 0x5A, 0x0A, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, ARIIsTXDEN, 0x5A, 0x0B, 0x10, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BRIIsTXDEN, 0x5A, 0x0B, 0x20, 1),
    OPTION_ROW(FT_PROGRAM_DATA, CRIIsTXDEN, 0x5A, 0x0B, 0x40, 1),
    OPTION_ROW(FT_PROGRAM_DATA, DRIIsTXDEN, 0x5A, 0x0B, 0x80, 1),
    OPTION_ROW(FT_PROGRAM_DATA, ADriveCurrent, 16, 0x0C, 0x03, 16),
    OPTION_ROW(FT_PROGRAM_DATA, ASlowSlew, 0x5A, 0x0C, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, ASchmittInput, 0x5A, 0x0C, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BDriveCurrent, 6, 0x0C, 0x00, 4),
    OPTION_ROW(FT_PROGRAM_DATA, BSlowSlew, 0x5A, 0x0C, 0x40, 1),
    OPTION_ROW(FT_PROGRAM_DATA, BSchmittInput, 0x5A, 0x0C, 0x80, 1),
    OPTION_ROW(FT_PROGRAM_DATA, CDriveCurrent, 8, 0x0D, 0x01, 8),
    OPTION_ROW(FT_PROGRAM_DATA, CSlowSlew, 0x5A, 0x0D, 0x04, 1),
    OPTION_ROW(FT_PROGRAM_DATA, CSchmittInput, 0x5A, 0x0D, 0x08, 1),
    OPTION_ROW(FT_PROGRAM_DATA, DDriveCurrent, 12, 0x0D, 0x20, 12),
    OPTION_ROW(FT_PROGRAM_DATA, DSlowSlew, 0x5A, 0x0D, 0x40, 1),
    OPTION_ROW(FT_PROGRAM_DATA, DSchmittInput, 0x5A, 0x0D, 0x80, 1),
};

class Chip4232HTest : public MultiPortTest {
 protected:
  void SetUp() override { Plug(CHIP_4232H, 64); }
};

TEST_F(Chip4232HTest, EachOptionOfTheChipRecordHasItsOwnBit) {
  // The CDriverType row alone: byte 0x00 is 0x80 and byte 0x01 stays 0x00.
  CheckRecordRows(CHIP_4232H, RECORD_ROWS, {0, 0, 0, 0, 0, 0});
}

TEST_F(Chip4232HTest, EachOptionOfTheProgramDataHasItsOwnBit) {
  CheckProgramDataRows(PROGRAM_DATA_ROWS, {0, 0, 0, 0, 0, 0});
}

TEST_F(Chip4232HTest, TransmitEnableBitsJoinTheHeaderBitsOfWord0A) {
  std::vector<uint8_t> record = NewRecord(CHIP_4232H);
  auto* r = reinterpret_cast<FT_EEPROM_4232H*>(record.data());
  r->common.SerNumEnable = 1;
  r->common.PullDownEnable = 1;
  r->ARIIsTXDEN = 1;
  r->DRIIsTXDEN = 1;
  r->ADriveCurrent = r->BDriveCurrent = r->CDriveCurrent = r->DDriveCurrent = 4;
  ASSERT_EQ(Program(record), FT_OK);
  EXPECT_EQ(WordAtByte(0x0A), 0x900C);

  std::vector<uint8_t> back = NewRecord(CHIP_4232H);
  TextBuffers texts;
  ASSERT_EQ(Read(back, texts), FT_OK);
  EXPECT_EQ(back, record);
}

}  // namespace
}  // namespace ralvex::eeprom_test
