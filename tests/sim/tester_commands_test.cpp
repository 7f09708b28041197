// The emulated tester's replies, byte for byte, and its source and load model.
#include <gtest/gtest.h>

#include "tests/sim/tester_fake_line.h"

namespace ralvex::sim::testing {
namespace {

constexpr uint8_t CMD_HELLO = 0x01, CMD_CONNECTION = 0x0A, CMD_PROFILES = 0x0B, CMD_STATS = 0x0C,
                  CMD_SET_PROFILE = 0x0D, CMD_SET_DEF_VOLT = 0x0E, CMD_SET_DEF_LOAD = 0x0F,
                  CMD_SET_LOAD = 0x10, CMD_SET_SETTING = 0xE0, CMD_GET_SETTING = 0xE1;

Bytes SetProfile(uint8_t id, uint16_t mv) {
  return {CMD_SET_PROFILE, id, static_cast<uint8_t>(mv), static_cast<uint8_t>(mv >> 8)};
}
Bytes SetLoad(uint16_t ma) {
  return {CMD_SET_LOAD, static_cast<uint8_t>(ma), static_cast<uint8_t>(ma >> 8)};
}
Bytes MaxLoad(uint16_t ma) {
  if (ma == 0) return {CMD_SET_SETTING, 0x01, 0x00};
  return {CMD_SET_SETTING, 0x01, 0x02, static_cast<uint8_t>(ma), static_cast<uint8_t>(ma >> 8)};
}

// Source with one fixed, one PD-APDO and one QC profile; no cable drop, for exact readings.
constexpr const char* BENCH_THREE_PROFILES = R"(
cable_milliohm = 0
ambient = 23
profiles = [
  { type = "PD-FIX", voltage = 5000, current = 3000 },
  { type = "PD-APDO", min_voltage = 3300, voltage = 11000, current = 2000 },
  { type = "QC3", min_voltage = 3600, voltage = 12000, current = 1500 },
]
)";

TEST(TesterReplies, HelloFrameCarriesVersionBytes) {
  TesterBench bench;
  EXPECT_EQ(bench.Raw({0x02, 0x01, 0x01, 0x01, 0x03}),
            (Bytes{0x02, 0x03, 0x01, 0x15, 0x00, 0x16, 0x03}));
  bench.Rebuild("version_level = 19\nversion_byte2 = 7", "");
  EXPECT_EQ(bench.Ask({CMD_HELLO}), (Bytes{0x01, 19, 7}));
}

TEST(TesterReplies, FreshTesterHoldsContractOnProfileOne) {
  TesterBench bench;
  EXPECT_EQ(bench.Raw({0x02, 0x01, 0x0A, 0x0A, 0x03}),
            Frame({0x0A, 0x01, 0x01, 0x05, 0x00, 0x88, 0x13, 0xB8, 0x0B, 0x98, 0x3A, 0x00, 0x00}));
}

TEST(TesterReplies, DefaultProfileListLayout) {
  TesterBench bench;
  const Bytes reply = bench.Ask({CMD_PROFILES});
  ASSERT_EQ(reply.size(), 59u);  // command, count, spare, seven 8-byte entries
  EXPECT_EQ(reply[0], CMD_PROFILES);
  EXPECT_EQ(reply[1], 5);
  // Entry 1: PD-FIX (class 5, subtype 0), id 1, 5000 mV, 3000 mA.
  EXPECT_EQ(Bytes(reply.begin() + 3, reply.begin() + 11),
            (Bytes{0x51, 0x00, 0x00, 0x00, 0x88, 0x13, 0xB8, 0x0B}));
  // Entry 5: PD-APDO (class 5, subtype 3), id 5, 3300-11000 mV, 3000 mA.
  EXPECT_EQ(Bytes(reply.begin() + 35, reply.begin() + 43),
            (Bytes{0x55, 0x03, 0xE4, 0x0C, 0xF8, 0x2A, 0xB8, 0x0B}));
  // Entries 6 and 7 are empty.
  EXPECT_EQ(Bytes(reply.begin() + 43, reply.end()), Bytes(16, 0));
}

TEST(TesterReplies, QcProfileDescriptorAndRange) {
  TesterBench bench(BENCH_THREE_PROFILES);
  const Bytes reply = bench.Ask({CMD_PROFILES});
  ASSERT_EQ(reply.size(), 59u);
  EXPECT_EQ(reply[1], 3);
  EXPECT_EQ(U16(reply, 3 + 16), 0x0233);  // id 3, class 3, subtype 2
  EXPECT_EQ(U16(reply, 3 + 16 + 2), 3600);
  EXPECT_EQ(U16(reply, 3 + 16 + 4), 12000);
  EXPECT_EQ(U16(reply, 3 + 16 + 6), 1500);
}

TEST(TesterReplies, StatsAtOneAmpere) {
  TesterBench bench(BENCH_THREE_PROFILES);
  EXPECT_EQ(bench.Ask(SetLoad(1000)), (Bytes{CMD_SET_LOAD, 0x00}));
  // 25 C, 5000 mV, set 1000 mA, measured 998 mA, loopback 0 mA.
  EXPECT_EQ(bench.Raw({0x02, 0x01, 0x0C, 0x0C, 0x03}),
            Frame({0x0C, 0x00, 0x19, 0x88, 0x13, 0xE8, 0x03, 0xE6, 0x03, 0x00, 0x00}));
}

TEST(TesterReplies, SetCommandsAreAcknowledgedWithTheirByte) {
  TesterBench bench;
  EXPECT_EQ(bench.Ask(SetProfile(2, 9000)), (Bytes{CMD_SET_PROFILE, 0}));
  EXPECT_EQ(bench.Ask({CMD_SET_DEF_VOLT, 0x28, 0x23}), (Bytes{CMD_SET_DEF_VOLT, 0}));
  EXPECT_EQ(bench.Ask({CMD_SET_DEF_LOAD, 0xF4, 0x01}), (Bytes{CMD_SET_DEF_LOAD, 0}));
  EXPECT_EQ(bench.Ask(SetLoad(5000)), (Bytes{CMD_SET_LOAD, 0}));
  EXPECT_EQ(bench.Raw({0x02, 0x03, 0xE0, 0x01, 0x00, 0xE3, 0x03}), Frame({CMD_SET_SETTING, 0}));
  EXPECT_EQ(bench.Raw({0x02, 0x05, 0xE0, 0x01, 0x02, 0xE8, 0x03, 0x0C, 0x03}),
            Frame({CMD_SET_SETTING, 0}));
}

TEST(TesterReplies, MalformedAndRefusedSetCommands) {
  TesterBench bench;
  EXPECT_EQ(bench.Ask({CMD_SET_LOAD, 0x10}), (Bytes{CMD_SET_LOAD, 2}));  // value cut short
  EXPECT_EQ(bench.Ask({CMD_SET_PROFILE, 1, 0x88}),
            (Bytes{CMD_SET_PROFILE, 2}));  // voltage cut short
  EXPECT_EQ(bench.Ask({CMD_SET_SETTING, 0x01, 0x02, 0xE8}), (Bytes{CMD_SET_SETTING, 2}));
  EXPECT_EQ(bench.Ask({CMD_SET_SETTING, 0x01, 0x03, 0, 0, 0}), (Bytes{CMD_SET_SETTING, 2}));
  EXPECT_EQ(bench.Ask({CMD_SET_SETTING, 0x02, 0x00}), (Bytes{CMD_SET_SETTING, 1}));  // read-only id
  EXPECT_EQ(bench.Ask({CMD_SET_SETTING}), (Bytes{CMD_SET_SETTING, 2}));
  // Nothing of it stuck: the load is still 0.
  EXPECT_EQ(U16(bench.Ask({CMD_STATS}), 5), 0);
}

TEST(TesterReplies, SettingsFromTheBench) {
  TesterBench bench;
  EXPECT_EQ(bench.Raw({0x02, 0x02, 0xE1, 0x00, 0xE2, 0x03}), Frame({CMD_GET_SETTING, 1}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 2}), (Bytes{CMD_GET_SETTING, 0xF4, 0x01}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 3}), (Bytes{CMD_GET_SETTING, 0}));
  EXPECT_EQ(bench.Raw({0x02, 0x02, 0xE1, 0x04, 0xE6, 0x03}), Frame({CMD_GET_SETTING, 0xE8, 0x03}));

  bench.Rebuild("settings = { 0 = false, 2 = 65535, 3 = true, 4 = 7 }", "");
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 0}), (Bytes{CMD_GET_SETTING, 0}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 2}), (Bytes{CMD_GET_SETTING, 0xFF, 0xFF}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 3}), (Bytes{CMD_GET_SETTING, 1}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 4}), (Bytes{CMD_GET_SETTING, 7, 0}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 9}), (Bytes{CMD_GET_SETTING}));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING}), (Bytes{CMD_GET_SETTING}));
}

TEST(TesterReplies, MaxLoadReadsBackAsSettingOne) {
  TesterBench bench;
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 1}), (Bytes{CMD_GET_SETTING, 0, 0}));
  bench.Ask(MaxLoad(1200));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 1}), (Bytes{CMD_GET_SETTING, 0xB0, 0x04}));
  bench.Ask(MaxLoad(0));
  EXPECT_EQ(bench.Ask({CMD_GET_SETTING, 1}), (Bytes{CMD_GET_SETTING, 0, 0}));
}

TEST(TesterReplies, UnknownCommandIsRefusedNotEchoed) {
  TesterBench bench;
  EXPECT_EQ(bench.Ask({0x55, 1, 2}), (Bytes{0x7F, 0x55}));
  EXPECT_EQ(bench.Ask({0x20}), (Bytes{0x7F, 0x20}));
  // An empty payload names no command: nothing to answer.
  EXPECT_TRUE(bench.Raw({0x02, 0x00, 0x01, 0x03}).empty());
}

TEST(TesterContract, FixedProfileMovesAtItsOwnVoltage) {
  TesterBench bench(BENCH_THREE_PROFILES);
  bench.Ask(SetProfile(1, 7777));  // the requested voltage means nothing to a fixed profile
  const Bytes c = bench.Ask({CMD_CONNECTION});
  EXPECT_EQ(c[2], 1);
  EXPECT_EQ(U16(c, 5), 5000);
}

TEST(TesterContract, RangedProfileTakesRequestedVoltageInsideRange) {
  TesterBench bench(BENCH_THREE_PROFILES);
  EXPECT_EQ(bench.Ask(SetProfile(2, 9000)), (Bytes{CMD_SET_PROFILE, 0}));
  const Bytes c = bench.Ask({CMD_CONNECTION});
  EXPECT_EQ(c, (Bytes{CMD_CONNECTION, 1, 2, 5, 3, 0x28, 0x23, 0xD0, 0x07, 0x50, 0x46, 0, 0}));
  // The range's ends are inside it.
  bench.Ask(SetProfile(3, 3600));
  EXPECT_EQ(U16(bench.Ask({CMD_CONNECTION}), 5), 3600);
  bench.Ask(SetProfile(3, 12000));
  EXPECT_EQ(U16(bench.Ask({CMD_CONNECTION}), 5), 12000);
  EXPECT_EQ(bench.Ask({CMD_CONNECTION})[3], 3);  // QC class
}

TEST(TesterContract, RequestsOutsideTheOfferLeaveTheContract) {
  TesterBench bench(BENCH_THREE_PROFILES);
  bench.Ask(SetProfile(2, 9000));
  const Bytes before = bench.Ask({CMD_CONNECTION});
  EXPECT_EQ(bench.Ask(SetProfile(2, 3299)), (Bytes{CMD_SET_PROFILE, 1}));
  EXPECT_EQ(bench.Ask(SetProfile(2, 11001)), (Bytes{CMD_SET_PROFILE, 1}));
  EXPECT_EQ(bench.Ask(SetProfile(0, 5000)), (Bytes{CMD_SET_PROFILE, 1}));
  EXPECT_EQ(bench.Ask(SetProfile(4, 5000)), (Bytes{CMD_SET_PROFILE, 1}));
  EXPECT_EQ(bench.Ask(SetProfile(255, 5000)), (Bytes{CMD_SET_PROFILE, 1}));
  EXPECT_EQ(bench.Ask({CMD_CONNECTION}), before);
}

TEST(TesterContract, PowerIsTheFull32BitProduct) {
  TesterBench bench(R"(profiles = [{ type = "PD-FIX", voltage = 48000, current = 5000 }])");
  const Bytes c = bench.Ask({CMD_CONNECTION});
  EXPECT_EQ(U16(c, 9) | (U16(c, 11) << 16), 240000);
}

TEST(TesterLoad, SetCurrentIsLimitedByContractAndMaxLoad) {
  TesterBench bench(BENCH_THREE_PROFILES);
  bench.Ask(SetLoad(5000));
  EXPECT_EQ(U16(bench.Ask({CMD_STATS}), 5), 3000);  // profile 1 gives 3000 mA
  bench.Ask(MaxLoad(1000));
  EXPECT_EQ(U16(bench.Ask({CMD_STATS}), 5), 1000);
  bench.Ask(SetProfile(3, 9000));  // QC3 gives 1500 mA
  bench.Ask(MaxLoad(0));
  EXPECT_EQ(U16(bench.Ask({CMD_STATS}), 5), 1500);
  bench.Ask(SetLoad(700));
  EXPECT_EQ(U16(bench.Ask({CMD_STATS}), 5), 700);
}

TEST(TesterLoad, MeasuredCurrentReadsSlightlyLow) {
  TesterBench bench(BENCH_THREE_PROFILES);
  for (auto [set, measured] : {std::pair{0, 0}, {1000, 998}, {3000, 2994}, {1, 1}}) {
    bench.Ask(SetLoad(static_cast<uint16_t>(set)));
    const Bytes s = bench.Ask({CMD_STATS});
    EXPECT_EQ(U16(s, 5), set);
    EXPECT_EQ(U16(s, 7), measured) << "set " << set;
  }
}

TEST(TesterLoad, VoltageSagsAndTemperatureRisesWithTheLoad) {
  TesterBench bench("cable_milliohm = 200\nambient = 30");
  bench.Ask(SetProfile(4, 20000));
  Bytes s = bench.Ask({CMD_STATS});
  EXPECT_EQ(s[2], 30);
  EXPECT_EQ(U16(s, 3), 20000);
  bench.Ask(SetLoad(3000));
  s = bench.Ask({CMD_STATS});
  EXPECT_EQ(U16(s, 7), 2994);
  EXPECT_EQ(U16(s, 3), 20000 - 599);  // 2994 mA through 200 mOhm
  EXPECT_GT(s[2], 30);
  EXPECT_LT(s[2], 80);
}

TEST(TesterLoad, TemperatureByteSaturates) {
  TesterBench bench(R"(
ambient = 125
cable_milliohm = 0
profiles = [{ type = "PD-FIX", voltage = 60000, current = 60000 }]
)");
  bench.Ask(SetLoad(60000));
  EXPECT_EQ(bench.Ask({CMD_STATS})[2], 255);
}

TEST(TesterLoad, LoopbackCurrentFromTheBench) {
  TesterBench bench("loopback_current = 1234");
  EXPECT_EQ(U16(bench.Ask({CMD_STATS}), 9), 1234);
}

TEST(TesterNoSource, NotConnectedNoProfilesZeroReadings) {
  TesterBench bench("source = false\nambient = 22\nloopback_current = 50");
  EXPECT_EQ(bench.Ask({CMD_CONNECTION}),
            (Bytes{CMD_CONNECTION, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  const Bytes p = bench.Ask({CMD_PROFILES});
  ASSERT_EQ(p.size(), 59u);
  EXPECT_EQ(p[1], 0);
  bench.Ask(SetLoad(1000));
  EXPECT_EQ(bench.Ask({CMD_STATS}), (Bytes{CMD_STATS, 0, 22, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bench.Ask(SetProfile(1, 5000)), (Bytes{CMD_SET_PROFILE, 1}));
  EXPECT_EQ(bench.Ask({CMD_HELLO})[0], CMD_HELLO);  // the tester itself still answers
}

}  // namespace
}  // namespace ralvex::sim::testing
