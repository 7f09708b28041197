#include "link/commands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace ralvex::link {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReplyTests, CommandByteAndNotifications) {
  EXPECT_TRUE(ReplyRepeats(Bytes{0x0C, 0x00}, CMD_GET_STATS));
  EXPECT_FALSE(ReplyRepeats(Bytes{0x0B}, CMD_GET_STATS));
  EXPECT_FALSE(ReplyRepeats(Bytes{}, 0x00));  // an empty reply never passes, even for 0x00

  EXPECT_EQ(NotificationCode(0x1F), 0);
  EXPECT_EQ(NotificationCode(0x20), 1);
  EXPECT_EQ(NotificationCode(0x22), 3);  // a payload 22 answers no command
  EXPECT_EQ(NotificationCode(0x23), 4);
  EXPECT_EQ(NotificationCode(0x24), 0);
}

TEST(DecodeSetStatus, StatusByteAfterTheCommandByte) {
  const struct {
    Bytes reply;
    SetVerdict status;
  } cases[] = {
      {{CMD_SET_LOAD, 0x00}, SET_ACCEPTED},
      {{CMD_SET_LOAD, 0x01}, SET_REFUSED},
      {{CMD_SET_LOAD, 0x02, 0x55}, SET_MALFORMED},  // bytes after the status are not read
      {{CMD_SET_LOAD, 0x03}, std::nullopt},
      {{CMD_SET_LOAD, 0xFF}, std::nullopt},
      {{CMD_SET_LOAD}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.reply));
    EXPECT_EQ(DecodeSetStatus(c.reply), c.status);
  }
}

TEST(DecodeConnection, ConnectedExample) {
  const Bytes reply = {0x0A, 0x01, 0x03, 0x05, 0x00, 0x88, 0x13,
                       0xB8, 0x0B, 0x98, 0x3A, 0x00, 0x00};
  const ConnectionReply r = DecodeConnection(reply);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.profileIndex, 3);
  EXPECT_EQ(r.profileClass, 5);
  EXPECT_EQ(r.profileSubtype, 0);
  EXPECT_EQ(r.setVoltage, 5000);
  EXPECT_EQ(r.maxCurrent, 3000);
  EXPECT_EQ(r.maxPower, 15000u);
}

TEST(DecodeConnection, FullWidthPowerAndStatus) {
  const Bytes reply = {0x0A, 0x02, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xA0, 0x86, 0x01, 0x80};
  const ConnectionReply r = DecodeConnection(reply);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.setVoltage, 65535);
  EXPECT_EQ(r.maxPower, 0x800186A0u);  // all four bytes, little-endian
}

TEST(DecodeStats, Example) {
  const Bytes reply = {0x0C, 0x00, 0x19, 0x88, 0x13, 0xE8, 0x03, 0xE6, 0x03, 0x00, 0x00};
  const StatsReply r = DecodeStats(reply);
  EXPECT_EQ(r.temperature, 25);
  EXPECT_EQ(r.voltage, 5000);
  EXPECT_EQ(r.setCurrent, 1000);
  EXPECT_EQ(r.measuredCurrent, 998);
  EXPECT_EQ(r.loopbackCurrent, 0);
}

TEST(ShortReplies, MissingBytesDecodeAsZero) {
  const StatsReply s = DecodeStats(Bytes{0x0C, 0x00, 0x19, 0x88});
  EXPECT_EQ(s.temperature, 25);
  EXPECT_EQ(s.voltage, 0x88);  // high byte missing
  EXPECT_EQ(s.loopbackCurrent, 0);

  const ProfileList p = DecodeProfiles(Bytes{0x0B, 0x01, 0x00, 0x51, 0x00});
  EXPECT_EQ(p.count, 1);
  EXPECT_EQ(p.entries[0].descriptor, 0x0051);
  EXPECT_EQ(p.entries[0].voltage, 0);
  EXPECT_EQ(p.entries[6].current, 0);

  const HelloReply h = DecodeHello(Bytes{0x01});
  EXPECT_EQ(h.versionLevel, 0);
  EXPECT_EQ(DecodeSettingValue(Bytes{0xE1}), 0);
  EXPECT_FALSE(DecodeSettingFlag(Bytes{}));
}

TEST(DecodeProfiles, LayoutOfAllSevenEntries) {
  static_assert(sizeof(ProfileEntry) == PROFILE_ENTRY_SIZE);
  static_assert(sizeof(ProfileList) == PROFILE_LIST_SIZE);
  Bytes reply = {0x0B, 7, 0xAB};
  for (int i = 0; i < 7; ++i) {
    const uint8_t k = static_cast<uint8_t>(i + 1);
    reply.insert(reply.end(), {k, 0x00, 0x10, k, 0x20, k, 0x30, k});
  }
  reply.push_back(0xEE);  // beyond the record: ignored
  const ProfileList p = DecodeProfiles(reply);
  EXPECT_EQ(p.count, 7);
  EXPECT_EQ(p.spare, 0xAB);
  for (int i = 0; i < 7; ++i) {
    const unsigned k = static_cast<unsigned>(i + 1);
    EXPECT_EQ(p.entries[i].descriptor, k);
    EXPECT_EQ(p.entries[i].minVoltage, (k << 8) | 0x10);
    EXPECT_EQ(p.entries[i].voltage, (k << 8) | 0x20);
    EXPECT_EQ(p.entries[i].current, (k << 8) | 0x30);
  }
}

TEST(HelloAndSettings, Fields) {
  const HelloReply h = DecodeHello(Bytes{0x01, 21, 0x7F});
  EXPECT_EQ(h.versionLevel, 21);
  EXPECT_EQ(h.versionSublevel, 0x7F);
  EXPECT_TRUE(DecodeSettingFlag(Bytes{0xE1, 0x80}));
  EXPECT_FALSE(DecodeSettingFlag(Bytes{0xE1, 0x00, 0x01}));
  EXPECT_EQ(DecodeSettingValue(Bytes{0xE1, 0x34, 0x12}), 0x1234);
}

TEST(Descriptor, FieldsAndRangedRule) {
  EXPECT_EQ(ProfileIdOf(0x0352), 2);
  EXPECT_EQ(ProfileClassOf(0x0352), 5);
  EXPECT_EQ(ProfileSubtypeOf(0x0352), 3);
  EXPECT_TRUE(IsRangedProfile(0x0352));  // PD-APDO

  EXPECT_EQ(ProfileIdOf(0x0051), 1);
  EXPECT_EQ(ProfileClassOf(0x0051), 5);
  EXPECT_EQ(ProfileSubtypeOf(0x0051), 0);
  EXPECT_FALSE(IsRangedProfile(0x0051));

  // Bits 11-15 are not part of the subtype.
  EXPECT_EQ(ProfileSubtypeOf(0xFB55), 3);
  EXPECT_TRUE(IsRangedProfile(0xFB55));

  EXPECT_TRUE(IsRangedProfile(0x0030));   // QC1
  EXPECT_TRUE(IsRangedProfile(0x0232));   // QC3
  EXPECT_FALSE(IsRangedProfile(0x0250));  // PD-VAR
  EXPECT_FALSE(IsRangedProfile(0x0343));  // class 4 subtype 3
}

TEST(SetProfile, VoltageAndEntryLookup) {
  const ProfileEntry fixed{0x0051, 0, 9000, 3000};
  const ProfileEntry apdo{0x0355, 3300, 11000, 3000};
  EXPECT_EQ(SetProfileVoltage(fixed, 6000), 9000);
  EXPECT_EQ(SetProfileVoltage(apdo, 6000), 6000);
  EXPECT_EQ(SetProfileVoltage(apdo, 50000), 50000);  // judged by ProfileTakesVoltage, not here

  ProfileList list{};
  for (std::size_t i = 0; i < PROFILE_LIST_CAPACITY; ++i)
    list.entries[i].descriptor = static_cast<uint16_t>(i);
  list.count = 4;
  EXPECT_EQ(FindProfile(list, 0), nullptr);
  EXPECT_EQ(FindProfile(list, 1), &list.entries[0]);
  EXPECT_EQ(FindProfile(list, 4), &list.entries[3]);
  EXPECT_EQ(FindProfile(list, 5), nullptr);
  list.count = 200;  // more than the record holds
  EXPECT_EQ(UsableProfileCount(list), 7u);
  EXPECT_EQ(FindProfile(list, 7), &list.entries[6]);
  EXPECT_EQ(FindProfile(list, 8), nullptr);
}

TEST(SetProfile, RangedProfilesTakeOnlyVoltagesInsideTheirListedRange) {
  struct Case {
    uint16_t descriptor;
    uint16_t requestedMv;
    uint8_t versionLevel;
    bool taken;
  };
  const Case cases[] = {
      {0x0352, 3300, 20, true},   // PD-APDO 3300-11000: both ends belong to the range
      {0x0352, 11000, 20, true},  //
      {0x0352, 3299, 20, false},  //
      {0x0352, 11001, 20, false}, {0x0352, 2000, 21, false},
      {0x0352, 2000, 19, true},    // below version 20 the range means nothing
      {0x0031, 3599, 20, false},   // QC1, QC2 and QC3 are ranged too (3600-12000)
      {0x0131, 12001, 20, false},  //
      {0x0231, 12000, 20, true},   //
      {0x0251, 60000, 20, true},   // PD-VAR is fixed: its own voltage goes out
      {0x0051, 0, 20, true},       // PD-FIX
  };
  for (const Case& c : cases) {
    const bool apdo = c.descriptor == 0x0352;
    const ProfileEntry entry{c.descriptor, static_cast<uint16_t>(apdo ? 3300 : 3600),
                             static_cast<uint16_t>(apdo ? 11000 : 12000), 3000};
    EXPECT_EQ(ProfileTakesVoltage(entry, c.requestedMv, c.versionLevel), c.taken)
        << std::hex << c.descriptor << std::dec << " " << c.requestedMv << " v"
        << static_cast<int>(c.versionLevel);
  }
}

}  // namespace
}  // namespace ralvex::link
