// FT_EE_Program and FT_EE_Read against bench devices: the image each chip leaves behind, round
// trips through both record layouts, and the calls that must not touch the device.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/eeprom/eeprom_fixture.h"

namespace ralvex::eeprom_test {
namespace {

using sim::ChipFamily;
using enum sim::ChipFamily;

// FT_PROGRAM_DATA with its own text storage.
struct ProgramData {
  char manufacturer[64] = "Ralvex";
  char manufacturerId[64] = "RX";
  char description[64] = "Load Bridge";
  char serial[64] = "RX000123";
  FT_PROGRAM_DATA data{};

  ProgramData() {
    data.Signature1 = 0;
    data.Signature2 = 0xFFFFFFFF;
    data.VendorId = 0x1209;
    data.ProductId = 0x7A31;
    data.Manufacturer = manufacturer;
    data.ManufacturerId = manufacturerId;
    data.Description = description;
    data.SerialNumber = serial;
    data.MaxPower = 90;
    data.PnP = 1;
    data.RemoteWakeup = 1;
  }
};

// Buffers for reading back.
struct ReadBack {
  char manufacturer[64], manufacturerId[64], description[64], serial[64];
  FT_PROGRAM_DATA data{};
  ReadBack() {
    data.Signature2 = 0xFFFFFFFF;
    data.Manufacturer = manufacturer;
    data.ManufacturerId = manufacturerId;
    data.Description = description;
    data.SerialNumber = serial;
  }
};

struct ChipCase {
  const char* name;
  ChipFamily chip;
  uint32_t words;
  void (*options)(FT_PROGRAM_DATA&);
  uint16_t release;
  uint32_t stringsAt;
  uint8_t pointerBase;
  uint32_t checksumAt;
  size_t erases;
  std::vector<std::pair<uint32_t, uint8_t>> chipBytes;
};

std::vector<ChipCase> Cases() {
  return {
      {"232B",
       CHIP_BM,
       64,
       [](FT_PROGRAM_DATA& d) {
         d.Rev4 = 1;
         d.IsoOut = 1;
         d.SerNumEnable = 1;
         d.USBVersionEnable = 1;
         d.USBVersion = 0x0110;
       },
       0x0400,
       0x14,
       0x94,
       0x7E,
       1,
       {{0x0A, 0x1A}, {0x0C, 0x10}, {0x0D, 0x01}}},
      {"232B without Rev4 (another type on the fallback)",
       CHIP_AM,
       64,
       [](FT_PROGRAM_DATA& d) { d.PullDownEnable = 1; },
       0x0200,
       0x14,
       0x94,
       0x7E,
       1,
       {{0x0A, 0x04}, {0x0C, 0x00}, {0x0D, 0x00}}},
      {"232R",
       CHIP_232R,
       64,
       [](FT_PROGRAM_DATA& d) {
         d.UseExtOsc = 1;
         d.EndpointSize = 8;  // not the caller's to choose
         d.SerNumEnableR = 1;
         d.InvertDTR = 1;
         d.Cbus1 = 5;
         d.Cbus4 = 9;
         d.RIsD2XX = 0;
       },
       0x0600,
       0x18,
       0x98,
       0x7E,
       1,
       {{0x00, 0x02}, {0x01, 0x40}, {0x0A, 0x08}, {0x0B, 0x10}, {0x14, 0x50}, {0x16, 0x09}}},
      {"232H large",
       CHIP_232H,
       128,
       [](FT_PROGRAM_DATA& d) {
         d.IsFifoTarH = 1;
         d.IsFT1248H = 1;
         d.IsVCPH = 1;
         d.ADDriveCurrentH = 12;
         d.Cbus3H = 7;
         d.Cbus8H = 11;
       },
       0x0900,
       0xA0,
       0xA0,
       0xFE,
       2,
       {{0x00, 0x12}, {0x0C, 0x20}, {0x19, 0x70}, {0x1C, 0x0B}, {0x1E, 0x56}}},
  };
}

class ProgramDataTest : public EepromTest {};

TEST_F(ProgramDataTest, EveryChipLeavesItsLayoutOnTheDeviceAndReadsBack) {
  for (const ChipCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    Plug(c.chip, c.words);
    ProgramData in;
    c.options(in.data);
    ASSERT_EQ(FT_EE_Program(handle_, &in.data), FT_OK);
    const auto w = Words();
    EXPECT_EQ(w[1], 0x1209);
    EXPECT_EQ(w[2], 0x7A31);
    EXPECT_EQ(w[3], c.release);
    EXPECT_EQ(ByteOf(w, 0x08), 0xA0) << "bus-powered, remote wake-up";
    EXPECT_EQ(ByteOf(w, 0x09), 45);
    EXPECT_EQ(ByteOf(w, 0x0E), c.pointerBase);
    EXPECT_EQ(DescriptorAt(w, c.stringsAt), "Ralvex");
    EXPECT_EQ(DescriptorAt(w, c.stringsAt + 14), "Load Bridge");
    EXPECT_EQ(DescriptorAt(w, c.stringsAt + 38), "RX000123");
    EXPECT_EQ(ByteOf(w, 0x13), 18);
    // The empty descriptor, then the PnP word (0 when PnP is on).
    EXPECT_EQ(ByteOf(w, c.stringsAt + 56), 0x02);
    EXPECT_EQ(ByteOf(w, c.stringsAt + 57), 0x03);
    EXPECT_EQ(w[(c.stringsAt + 58) / 2], 0x0000);
    EXPECT_EQ(w[c.checksumAt / 2], Checksum(w, c.checksumAt));
    for (const auto& [at, value] : c.chipBytes) {
      EXPECT_EQ(ByteOf(w, at), value) << "byte 0x" << std::hex << at;
    }
    const auto erases = SentTo(SLOT_ERASE);
    EXPECT_EQ(erases.size(), c.erases);
    for (const auto& e : erases) EXPECT_TRUE(e.input.empty());

    ReadBack out;
    std::memset(&out.data.Rev4, 0xEE, sizeof out.data - offsetof(FT_PROGRAM_DATA, Rev4));
    ASSERT_EQ(FT_EE_Read(handle_, &out.data), FT_OK);
    EXPECT_STREQ(out.manufacturer, "Ralvex");
    EXPECT_STREQ(out.manufacturerId, "RX");
    EXPECT_STREQ(out.description, "Load Bridge");
    EXPECT_STREQ(out.serial, "RX000123");
    EXPECT_EQ(out.data.VendorId, 0x1209);
    EXPECT_EQ(out.data.MaxPower, 90);
    EXPECT_EQ(out.data.PnP, 1);
    EXPECT_EQ(out.data.SelfPowered, 0);
    EXPECT_EQ(out.data.RemoteWakeup, 1);
    FT_PROGRAM_DATA expected = in.data;
    expected.EndpointSize = c.chip == CHIP_232R ? 0x40 : expected.EndpointSize;
    if (c.chip == CHIP_232H) {
      expected.IsFT1248H = 0;        // the FIFO target mode came first and won
      expected.ACDriveCurrentH = 4;  // 0 mA is no current the chip knows: stored as code 0
      for (size_t at = offsetof(FT_PROGRAM_DATA, PullDownEnableH);
           at <= offsetof(FT_PROGRAM_DATA, PowerSaveEnableH); ++at) {
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(&out.data)[at],
                  reinterpret_cast<const uint8_t*>(&expected)[at])
            << "offset " << at;
      }
    } else if (c.chip == CHIP_232R) {
      EXPECT_EQ(std::memcmp(&out.data.UseExtOsc, &expected.UseExtOsc, 19), 0);
      EXPECT_EQ(out.data.USBVersion, 0x0110);
    } else {
      EXPECT_EQ(out.data.Rev4, expected.Rev4);
      EXPECT_EQ(out.data.IsoOut, expected.IsoOut);
      EXPECT_EQ(out.data.PullDownEnable, expected.PullDownEnable);
      EXPECT_EQ(out.data.USBVersion, expected.Rev4 ? expected.USBVersion : 0x0110);
    }
    EXPECT_EQ(out.data.Rev5, 0) << "blocks of other chips are cleared";
  }
}

TEST_F(ProgramDataTest, OlderLayoutRoundTripsFieldByField) {
  const struct {
    ChipFamily chip;
    size_t bytes;
  } cases[] = {{CHIP_BM, offsetof(FT_PROGRAM_DATA_LEGACY, USBVersion) + 2},
               {CHIP_232H, offsetof(FT_PROGRAM_DATA_LEGACY, PowerSaveEnableH) + 1}};
  for (const auto& c : cases) {
    Plug(c.chip);
    char m[] = "Old", id[] = "OL", d[] = "Layout", s[] = "OL42";
    // Only the chip's bytes exist; the guard bytes after them must survive.
    std::vector<uint8_t> storage(c.bytes + 16, 0xA5);
    FT_PROGRAM_DATA_LEGACY full{};
    full.VendorId = 0x1209;
    full.ProductId = 0x0001;
    full.Manufacturer = m;
    full.ManufacturerId = id;
    full.Description = d;
    full.SerialNumber = s;
    full.MaxPower = 100;
    full.Rev4 = 1;
    full.SerNumEnable = 1;
    full.PowerSaveEnableH = 1;
    full.Cbus9H = 4;
    std::memcpy(storage.data(), &full, c.bytes);
    auto* legacy = reinterpret_cast<FT_PROGRAM_DATA*>(storage.data());
    ASSERT_EQ(FT_EE_Program(handle_, legacy), FT_OK);

    std::vector<uint8_t> back(c.bytes + 16, 0x5A);
    char rm[64], rid[64], rd[64], rs[64];
    FT_PROGRAM_DATA_LEGACY head{};
    head.VendorId = 0xFFFF;  // anything but the signature
    head.Manufacturer = rm;
    head.ManufacturerId = rid;
    head.Description = rd;
    head.SerialNumber = rs;
    std::memcpy(back.data(), &head, offsetof(FT_PROGRAM_DATA_LEGACY, MaxPower));
    ASSERT_EQ(FT_EE_Read(handle_, reinterpret_cast<FT_PROGRAM_DATA*>(back.data())), FT_OK);
    FT_PROGRAM_DATA_LEGACY got{};
    std::memcpy(&got, back.data(), c.bytes);
    EXPECT_EQ(got.VendorId, 0x1209);
    EXPECT_EQ(got.MaxPower, 100);
    EXPECT_STREQ(rm, "Old");
    EXPECT_STREQ(rs, "OL42");
    if (c.chip == CHIP_BM) {
      EXPECT_EQ(got.Rev4, 1);
      EXPECT_EQ(got.SerNumEnable, 1);
    } else {
      EXPECT_EQ(got.PowerSaveEnableH, 1);
      EXPECT_EQ(got.Cbus9H, 4);
    }
    for (size_t i = c.bytes; i < back.size(); ++i) ASSERT_EQ(back[i], 0x5A) << i;
  }
}

TEST_F(ProgramDataTest, The232ROptionBitsDifferBetweenTheTwoRecordKinds) {
  // UseExtOsc: bit 1 through FT_PROGRAM_DATA, bit 2 through FT_EEPROM_232R; the driver bit is
  // set for RIsD2XX != 0 in the first and for RIsD2XX == 0 in the second.
  const struct {
    bool programData;
    UCHAR useExtOsc, driverField;
    uint8_t byte0;
  } cases[] = {{true, 1, 0, 0x02}, {true, 0, 1, 0x08}, {false, 1, 0, 0x0C}, {false, 0, 1, 0x00}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.programData << int{c.useExtOsc} << int{c.driverField});
    Plug(CHIP_232R);  // blank: the factory word adds nothing
    if (c.programData) {
      ProgramData in;
      in.data.UseExtOsc = c.useExtOsc;
      in.data.RIsD2XX = c.driverField;
      ASSERT_EQ(FT_EE_Program(handle_, &in.data), FT_OK);
      ReadBack out;
      ASSERT_EQ(FT_EE_Read(handle_, &out.data), FT_OK);
      EXPECT_EQ(out.data.UseExtOsc, c.useExtOsc);
      EXPECT_EQ(out.data.RIsD2XX, c.driverField);
    } else {
      FT_EEPROM_232R record{};
      record.common.deviceType = FT_DEVICE_232R;
      record.common.VendorId = 0x1209;
      record.common.ProductId = 1;
      record.UseExtOsc = c.useExtOsc;
      record.RIsD2XX = c.driverField;
      ASSERT_EQ(FT_EEPROM_Program(handle_, &record, sizeof record, "M", "RX", "D", "S"), FT_OK);
      FT_EEPROM_232R back{};
      back.common.deviceType = FT_DEVICE_232R;
      char m[64], id[64], d[64], s[64];
      ASSERT_EQ(FT_EEPROM_Read(handle_, &back, sizeof back, m, id, d, s), FT_OK);
      EXPECT_EQ(back.UseExtOsc, c.useExtOsc);
      EXPECT_EQ(back.RIsD2XX, c.driverField);
    }
    EXPECT_EQ(Byte(0x00), c.byte0);
  }
}

TEST_F(ProgramDataTest, RefusedCallsLeaveTheDeviceUntouched) {
  const std::string longText(60, 'L');
  struct Case {
    const char* what;
    ChipFamily chip;
    void (*change)(ProgramData&);
    FT_STATUS expected;
  };
  const Case cases[] = {
      {"X series", CHIP_X_SERIES, [](ProgramData&) {}, FT_NOT_SUPPORTED},
      {"null Manufacturer", CHIP_232R, [](ProgramData& p) { p.data.Manufacturer = nullptr; },
       FT_INVALID_PARAMETER},
      {"null ManufacturerId", CHIP_BM, [](ProgramData& p) { p.data.ManufacturerId = nullptr; },
       FT_INVALID_PARAMETER},
      {"null Description", CHIP_232H, [](ProgramData& p) { p.data.Description = nullptr; },
       FT_INVALID_PARAMETER},
      {"VendorId 0 (before the probe erases)", CHIP_232H,
       [](ProgramData& p) { p.data.VendorId = 0; }, FT_INVALID_PARAMETER},
      {"strings past byte 124 (before the probe erases)", CHIP_232H,
       [](ProgramData& p) { std::memset(p.description, 'L', 40); }, FT_OTHER_ERROR},
      {"a 200-character serial number", CHIP_BM,
       [](ProgramData& p) {
         static char serial[201];
         std::memset(serial, '9', 200);
         p.data.SerialNumber = serial;
       },
       FT_OTHER_ERROR},
      {"older layout on a 232R", CHIP_232R, [](ProgramData& p) { p.data.Signature2 = 0; },
       FT_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Plug(c.chip);
    ProgramData in;
    c.change(in);
    const auto before = Words();
    EXPECT_EQ(FT_EE_Program(handle_, &in.data), c.expected);
    EXPECT_EQ(Words(), before);
    EXPECT_FALSE(EepromTouched());
  }
  Plug(CHIP_X_SERIES);
  ReadBack out;
  EXPECT_EQ(FT_EE_Read(handle_, &out.data), FT_NOT_SUPPORTED);
  EXPECT_EQ(FT_EE_Read(handle_, nullptr), FT_INVALID_PARAMETER);
  EXPECT_EQ(FT_EE_Program(handle_, nullptr), FT_INVALID_PARAMETER);
  char text[64];
  EXPECT_EQ(FT_EE_ReadEx(handle_, nullptr, text, text, text, text), FT_INVALID_ARGS);
  EXPECT_EQ(FT_EE_ProgramEx(handle_, nullptr, text, text, text, text), FT_INVALID_ARGS);
  EXPECT_TRUE(device_->Requests().empty());
  EXPECT_EQ(FT_EE_Program(INVALID_HANDLE_VALUE, &out.data), FT_INVALID_HANDLE);
}

TEST_F(ProgramDataTest, MissingSerialNumberIsGeneratedFromTheManufacturerId) {
  for (const char* serial : {static_cast<const char*>(nullptr), ""}) {
    Plug(CHIP_232R);
    ProgramData in;
    std::strcpy(in.manufacturerId, "AB");
    in.data.SerialNumber = const_cast<char*>(serial);
    ASSERT_EQ(FT_EE_Program(handle_, &in.data), FT_OK);
    const std::string stored = DescriptorAt(Words(), 0x18 + 14 + 24);
    ASSERT_EQ(stored.size(), 8u);
    EXPECT_EQ(stored.substr(0, 2), "AB");
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"), std::string::npos);
  }
}

TEST_F(ProgramDataTest, ExFormsStoreTheBuffersIntoTheRecord) {
  Plug(CHIP_232H);
  ProgramData in;
  char m[] = "Ex Maker", id[] = "EX", d[] = "Ex Bridge", s[] = "EX1";
  ASSERT_EQ(FT_EE_ProgramEx(handle_, &in.data, m, id, d, s), FT_OK);
  EXPECT_EQ(in.data.Manufacturer, m);
  FT_PROGRAM_DATA out{};
  out.Signature2 = 0xFFFFFFFF;
  char rm[64], rid[64], rd[64], rs[64];
  ASSERT_EQ(FT_EE_ReadEx(handle_, &out, rm, rid, rd, rs), FT_OK);
  EXPECT_STREQ(rm, "Ex Maker");
  EXPECT_STREQ(rid, "EX");
  EXPECT_STREQ(rd, "Ex Bridge");
  EXPECT_STREQ(rs, "EX1");
}

}  // namespace
}  // namespace ralvex::eeprom_test
