// The payload layouts both drivers answer with and decode, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devside/little_endian.h"
#include "devside/payloads.h"
#include "platform/win32.h"

namespace ralvex::devside {
namespace {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes(4 * words.size());
  size_t at = 0;
  for (uint32_t w : words) Put32(bytes.data() + 4 * at++, w);
  return bytes;
}

TEST(LittleEndianFields, LowByteFirst) {
  uint8_t bytes[4];
  Put32(bytes, 0x12345678);
  EXPECT_EQ(bytes[0], 0x78);
  EXPECT_EQ(bytes[3], 0x12);
  EXPECT_EQ(Get32(bytes), 0x12345678u);
  Put16(bytes, 0xBEEF);
  EXPECT_EQ(bytes[0], 0xEF);
  EXPECT_EQ(Get16(bytes), 0xBEEF);
}

struct TimeoutsCase {
  const char* name;
  std::vector<uint8_t> in;
  bool accepted;
  SerialTimeouts expected;
};

TEST(TimeoutsPayload, ShortAndLongFormsAndNothingElse) {
  for (const TimeoutsCase& c : std::vector<TimeoutsCase>{
           {"short form: read and write constants", Words({300, 400}), true, {0, 0, 300, 0, 400}},
           {"long form: COMMTIMEOUTS order", Words({1, 2, 3, 4, 5}), true, {1, 2, 3, 4, 5}},
           {"long form, all MAXDWORD",
            Words({MAXDWORD, MAXDWORD, MAXDWORD, MAXDWORD, MAXDWORD}),
            true,
            {MAXDWORD, MAXDWORD, MAXDWORD, MAXDWORD, MAXDWORD}},
           {"empty", {}, false, {}},
           {"between the forms", Words({1, 2, 3}), false, {}},
           {"longer than the long form", Words({1, 2, 3, 4, 5, 6}), false, {}},
       }) {
    const auto decoded = DecodeTimeouts(c.in);
    ASSERT_EQ(decoded.has_value(), c.accepted) << c.name;
    if (!decoded) continue;
    EXPECT_EQ(decoded->readInterval, c.expected.readInterval) << c.name;
    EXPECT_EQ(decoded->readMultiplier, c.expected.readMultiplier) << c.name;
    EXPECT_EQ(decoded->readConstant, c.expected.readConstant) << c.name;
    EXPECT_EQ(decoded->writeMultiplier, c.expected.writeMultiplier) << c.name;
    EXPECT_EQ(decoded->writeConstant, c.expected.writeConstant) << c.name;
    std::vector<uint8_t> encoded(COMMTIMEOUTS_BYTES);
    EncodeTimeouts(*decoded, encoded.data());
    if (c.in.size() == COMMTIMEOUTS_BYTES) {
      EXPECT_EQ(encoded, c.in) << c.name;
    }
  }
}

TEST(DeviceInfoPayload, FieldsAtTheirOffsetsAndTextsCut) {
  const std::string longSerial(20, 'S');
  const std::string longDescription(70, 'D');
  std::vector<uint8_t> out(DEVICE_INFO_BYTES, 0xAA);
  EncodeDeviceInfo({0x40360011, 0x04036001, 7, longSerial, longDescription}, out.data());
  EXPECT_EQ(Get32(out.data()), 0u);
  EXPECT_EQ(Get32(out.data() + 4), 0x40360011u);
  EXPECT_EQ(Get32(out.data() + 8), 0x04036001u);
  EXPECT_EQ(Get32(out.data() + 12), 7u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 16)),
            longSerial.substr(0, DEVICE_INFO_SERIAL_MAX));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 32)),
            longDescription.substr(0, DEVICE_INFO_DESCRIPTION_MAX));
  EXPECT_EQ(out[DEVICE_INFO_BYTES - 1], 0);  // the old bytes are gone

  EncodeDeviceInfo({1, 2, 0, "", ""}, out.data());
  EXPECT_EQ(out[16], 0);
  EXPECT_EQ(out[32], 0);
}

struct QueryTextCase {
  std::string text;
  size_t outSize;
  uint32_t error;
};

TEST(QueryTextPayload, NeedsRoomForTheTerminatorAndCountsWithoutIt) {
  for (const QueryTextCase& c : std::vector<QueryTextCase>{
           {"KORA1", 64, 0},
           {"KORA1", 6, 0},
           {"KORA1", 5, ERROR_INSUFFICIENT_BUFFER},
           {"", 1, 0},
           {"", 0, ERROR_INSUFFICIENT_BUFFER},
           {std::string(63, 'x'), 100, 0},
       }) {
    std::vector<uint8_t> out(c.outSize, 0xAA);
    uint32_t returned = 99;
    EXPECT_EQ(EncodeQueryText(c.text, out, &returned), c.error) << c.text << " in " << c.outSize;
    if (c.error != 0) {
      EXPECT_EQ(returned, 99u);
      continue;
    }
    EXPECT_EQ(returned, c.text.size());
    EXPECT_EQ(std::string(out.begin(), out.begin() + c.text.size()), c.text);
    // The first IDENTITY_BYTES are zeroed around the text, the rest is left.
    for (size_t i = c.text.size(); i < out.size(); ++i) {
      EXPECT_EQ(out[i], i < IDENTITY_BYTES ? 0 : 0xAA) << c.text << " at " << i;
    }
  }
}

TEST(QueuePayloads, StatusAndCommErrorLayouts) {
  std::vector<uint8_t> status(STATUS_BYTES);
  EncodeStatus(5, 6, 1, status.data());
  EXPECT_EQ(status, Words({5, 6, 1}));
  std::vector<uint8_t> commError(COMM_ERROR_BYTES, 0xAA);
  EncodeCommError(0x1, 9, 10, commError.data());
  EXPECT_EQ(commError, Words({1, 0, 9, 10}));
}

}  // namespace
}  // namespace ralvex::devside
