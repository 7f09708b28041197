// The emulated source as a real charger: offsets, sag, over-current trips, settle times, current
// limit, the readings' variation, the heat sink's lag and batteries, on an injected clock.
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

#include "sim/tester/tester_config.h"
#include "tests/sim/scratch_dir.h"
#include "tests/sim/tester_fake_line.h"

namespace ralvex::sim::testing {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t CMD_CONNECTION = 0x0A, CMD_PROFILES = 0x0B, CMD_STATS = 0x0C;

Bytes SetProfile(uint8_t id, uint16_t mv) {
  return {0x0D, id, static_cast<uint8_t>(mv), static_cast<uint8_t>(mv >> 8)};
}
Bytes SetLoad(uint16_t ma) {
  return {0x10, static_cast<uint8_t>(ma), static_cast<uint8_t>(ma >> 8)};
}
Bytes MaxLoad(uint16_t ma) {
  return {0xE0, 0x01, 0x02, static_cast<uint8_t>(ma), static_cast<uint8_t>(ma >> 8)};
}

// Profile 1 delivers 120 mV high and trips above 3300 mA, profile 2 sags through 300 mOhm and
// settles in 100 ms, profile 3 is a PD-APDO 50 mV low that settles in 40 ms. No cable drop.
constexpr const char* SOURCE_BENCH = R"(
cable_milliohm = 0
profiles = [
  { type = "PD-FIX", voltage = 5000, current = 3000, voltage_offset = 120, trip_current = 3300, recover_ms = 500 },
  { type = "PD-FIX", voltage = 9000, current = 3000, source_milliohm = 300, settle_ms = 100 },
  { type = "PD-APDO", min_voltage = 3300, voltage = 11000, current = 2000, voltage_offset = -50, settle_ms = 40 },
]
)";

class SourceTest : public ::testing::Test {
 protected:
  // A tester on the fake clock; `persist` keeps its state in the test's file.
  std::unique_ptr<TesterBench> Tester(const std::string& text = SOURCE_BENCH,
                                      bool persist = false) {
    return std::make_unique<TesterBench>(text, persist ? state_ : "", "KORA0001", clock_);
  }
  uint16_t Voltage(TesterBench& bench) { return U16(bench.Ask({CMD_STATS}), 3); }

  std::shared_ptr<FakeTesterClock> clock_ = std::make_shared<FakeTesterClock>();
  ScratchDir dir_{"ralvex_source_"};
  const std::string state_ = dir_.File("state.toml");
};

TEST_F(SourceTest, ConnectionShowsTheContractReadingsWhatArrives) {
  struct Case {
    Bytes request;
    uint16_t load;
    uint16_t contract, reading;
  };
  for (const Case& c : {
           Case{SetProfile(1, 0), 0, 5000, 5120},       // offset
           Case{SetProfile(2, 0), 0, 9000, 9000},       // settled below
           Case{SetProfile(2, 0), 2000, 9000, 8401},    // 1996 mA through 300 mOhm
           Case{SetProfile(3, 6000), 0, 6000, 5950},    // offset on a ranged profile
           Case{SetProfile(3, 6000), 1000, 6000, 5950}  // no output resistance
       }) {
    auto bench = Tester();
    bench->Ask(c.request);
    bench->Ask(SetLoad(c.load));
    clock_->Advance(200);
    EXPECT_EQ(U16(bench->Ask({CMD_CONNECTION}), 5), c.contract);
    EXPECT_EQ(Voltage(*bench), c.reading) << c.contract << " mV at " << c.load << " mA";
  }
}

TEST_F(SourceTest, CableAndSourceResistanceAddUp) {
  auto bench = Tester(
      std::string("cable_milliohm = 100\n") +
      R"(profiles = [{ type = "PD-FIX", voltage = 20000, current = 3250, source_milliohm = 400 }])");
  bench->Ask(SetLoad(3000));
  EXPECT_EQ(Voltage(*bench), 20000 - 1497);  // 2994 mA through 500 mOhm
}

TEST_F(SourceTest, VoltageMovesInAStraightLineOverTheSettleTime) {
  auto bench = Tester();
  bench->Ask(SetProfile(2, 0));  // from 5120 mV to 9000 mV in 100 ms
  uint64_t at = 0;
  for (auto [ms, mv] : {std::pair<uint64_t, int>{0, 5120},
                        {25, 6090},
                        {50, 7060},
                        {99, 8961},
                        {100, 9000},
                        {400, 9000}}) {
    clock_->Advance(ms - at);
    at = ms;
    EXPECT_EQ(Voltage(*bench), mv) << ms << " ms";
    EXPECT_EQ(U16(bench->Ask({CMD_CONNECTION}), 5), 9000);  // the contract moved at once
  }
  // A move that starts during another leaves from where the output stands.
  bench->Ask(SetProfile(3, 6000));  // 9000 -> 5950 in 40 ms
  clock_->Advance(20);
  EXPECT_EQ(Voltage(*bench), 7475);
  bench->Ask(SetProfile(1, 0));  // no settle time: at once
  EXPECT_EQ(Voltage(*bench), 5120);
}

TEST_F(SourceTest, TripDropsTheContractForTheRecoveryTime) {
  auto bench = Tester();
  bench->Ask(MaxLoad(4000));
  bench->Ask(SetLoad(3300));  // at the trip current: holds
  EXPECT_EQ(U16(bench->Ask({CMD_STATS}), 5), 3300);
  EXPECT_EQ(bench->Ask(SetLoad(3301)), (Bytes{0x10, 0}));
  EXPECT_EQ(bench->Ask({CMD_CONNECTION}),
            (Bytes{CMD_CONNECTION, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bench->Ask({CMD_STATS}), (Bytes{CMD_STATS, 0, 25, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bench->Ask({CMD_PROFILES})[1], 0);
  EXPECT_EQ(bench->Ask(SetProfile(2, 0)), (Bytes{0x0D, 1}));
  bench->Ask(SetLoad(1000));  // stored while down
  clock_->Advance(499);
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 0);
  clock_->Advance(1);
  const Bytes c = bench->Ask({CMD_CONNECTION});
  EXPECT_EQ(c[1], 1);
  EXPECT_EQ(c[2], 1);
  const Bytes s = bench->Ask({CMD_STATS});
  EXPECT_EQ(U16(s, 3), 5120);
  EXPECT_EQ(U16(s, 5), 1000);
}

TEST_F(SourceTest, NotifyingTesterAnnouncesTheComeback) {
  auto bench = Tester(std::string("notify = true\n") + SOURCE_BENCH);
  bench->Ask(MaxLoad(4000));
  const Bytes request = Frame(SetLoad(3500));
  bench->peer->OnHostBytes(request.data(), request.size());
  const auto& chunks = bench->line.chunks;
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].delayMs, 500u);  // when profile 1 is back
  ASSERT_EQ(Decode(chunks[0].bytes).size(), 1u);
  EXPECT_EQ(Decode(chunks[0].bytes)[0].payload, (Bytes{0x20, 1, 0x88, 0x13}));
  EXPECT_EQ(chunks[1].delayMs, 0u);
  EXPECT_EQ(Decode(chunks[1].bytes)[0].payload, (Bytes{0x10, 0}));
}

TEST_F(SourceTest, LoadAboveTheTripCurrentKeepsTrippingOnEveryComeback) {
  auto bench = Tester();
  bench->Ask(MaxLoad(4000));
  bench->Ask(SetLoad(3500));
  for (uint64_t ms : {500, 1000, 60000}) {
    clock_->Advance(ms);
    EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 0) << ms;
  }
  bench->Ask(SetLoad(500));
  clock_->Advance(500);
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 1);
  EXPECT_EQ(U16(bench->Ask({CMD_STATS}), 5), 500);
}

TEST_F(SourceTest, ProtectionBelowTheAdvertisedCurrentTripsWithoutAMaximumLoad) {
  auto bench = Tester(
      R"(profiles = [{ type = "PD-FIX", voltage = 5000, current = 3000, trip_current = 2500, recover_ms = 0 }])");
  bench->Ask(SetLoad(2400));
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 1);
  bench->Ask(SetLoad(2600));
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 0);
}

TEST_F(SourceTest, LoadLimitIsTheMaximumLoadEvenAboveTheProfile) {
  struct Case {
    uint8_t profile;
    uint16_t voltage, maxLoad, load;
    uint16_t setCurrent, measured, reading;
  };
  for (const Case& c : {
           Case{2, 0, 0, 3500, 3000, 2994, 8102},     // automatic: the profile's 3000 mA
           Case{2, 0, 4000, 3500, 3500, 3493, 7952},  // above the profile, as the user asked
           Case{2, 0, 1000, 3500, 1000, 998, 8701},
           // PD-APDO in current limit: the current holds at 2000 mA, the voltage falls to 3.3 V
           Case{3, 9000, 2500, 2500, 2500, 1996, 3300},
           Case{3, 9000, 2500, 2000, 2000, 1996, 8950},
       }) {
    auto bench = Tester();
    bench->Ask(SetProfile(c.profile, c.voltage));
    if (c.maxLoad > 0) bench->Ask(MaxLoad(c.maxLoad));
    bench->Ask(SetLoad(c.load));
    clock_->Advance(200);
    const Bytes s = bench->Ask({CMD_STATS});
    EXPECT_EQ(U16(s, 5), c.setCurrent) << c.load;
    EXPECT_EQ(U16(s, 7), c.measured) << c.load;
    EXPECT_EQ(U16(s, 3), c.reading) << c.load;
    EXPECT_EQ(bench->Ask({CMD_CONNECTION})[2], c.profile);  // the contract holds
  }
}

TEST_F(SourceTest, ReadingsVaryWithinTheNoiseAndRepeatForASeed) {
  const std::string noisy =
      std::string("noise_voltage = 20\nnoise_current = 5\nseed = 7\n") + SOURCE_BENCH;
  const auto readings = [&](const std::string& text) {
    auto bench = Tester(text);
    bench->Ask(SetLoad(1000));
    std::vector<Bytes> all;
    for (int i = 0; i < 40; ++i) all.push_back(bench->Ask({CMD_STATS}));
    return all;
  };
  const auto first = readings(noisy);
  std::set<uint16_t> voltages, currents;
  for (const Bytes& s : first) {
    EXPECT_NEAR(U16(s, 3), 5120, 20);
    EXPECT_NEAR(U16(s, 7), 998, 5);
    EXPECT_EQ(U16(s, 5), 1000);  // the set current does not move
    voltages.insert(U16(s, 3));
    currents.insert(U16(s, 7));
  }
  EXPECT_GT(voltages.size(), 10u);
  EXPECT_GT(currents.size(), 5u);
  EXPECT_EQ(readings(noisy), first);
  std::string other = noisy;
  other.replace(other.find("seed = 7"), 8, "seed = 8");
  EXPECT_NE(readings(other), first);
}

TEST_F(SourceTest, NoiseSequenceResumesInTheNextRun) {
  const std::string noisy = std::string("noise_voltage = 50\n") + SOURCE_BENCH;
  auto bench = Tester(noisy, true);
  const Bytes a = bench->Ask({CMD_STATS});
  bench = Tester(noisy, true);
  const Bytes b = bench->Ask({CMD_STATS});
  bench->Rebuild(noisy, "", "KORA0001");
  EXPECT_EQ(bench->Ask({CMD_STATS}), a);  // a fresh tester starts the sequence again
  EXPECT_NE(a, b);
}

TEST_F(SourceTest, TemperatureApproachesItsSteadyStateWithTheTimeConstant) {
  // 2994 mA at 5120 mV is 15.3 W: 7 degrees above the ambient 25 once steady.
  auto bench = Tester(std::string("thermal_seconds = 10\n") + SOURCE_BENCH);
  bench->Ask(SetLoad(3000));
  uint64_t at = 0;
  for (auto [ms, celsius] :
       {std::pair<uint64_t, int>{0, 25}, {1000, 26}, {10000, 29}, {20000, 31}, {100000, 32}}) {
    clock_->Advance(ms - at);
    at = ms;
    EXPECT_EQ(bench->Ask({CMD_STATS})[2], celsius) << ms << " ms";
  }
  bench->Ask(SetLoad(0));
  clock_->Advance(10000);
  EXPECT_EQ(bench->Ask({CMD_STATS})[2], 28);  // cooling the same way
  auto instant = Tester();
  instant->Ask(SetLoad(3000));
  EXPECT_EQ(instant->Ask({CMD_STATS})[2], 32);
}

TEST_F(SourceTest, BatteryRunsDownAndStaysEmpty) {
  // 998 mA at 5120 mV draws 5109 mW: 1 mWh (3.6 J) lasts 705 ms.
  const std::string bank = std::string("battery_mwh = 1\n") + SOURCE_BENCH;
  auto bench = Tester(bank, true);
  bench->Ask(SetLoad(1000));
  clock_->Advance(700);
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 1);
  clock_->Advance(10);
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 0);
  EXPECT_EQ(bench->Ask({CMD_PROFILES})[1], 0);
  bench->Ask(SetLoad(0));
  clock_->Advance(3'600'000);
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 0);  // for good
  bench = Tester(bank, true);                     // the next run
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 0);
  fs::remove(state_);  // a reset recharges it
  bench = Tester(bank, true);
  EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], 1);
}

TEST_F(SourceTest, TimeRunsOnBetweenRuns) {
  struct Case {
    const char* what;
    std::string bench;
    std::vector<Bytes> requests;
    uint64_t gapMs;
    uint8_t connected;
    uint16_t reading;
  };
  const std::string bank = std::string("battery_mwh = 1\n") + SOURCE_BENCH;
  const std::vector<Bytes> trip = {MaxLoad(4000), SetLoad(3500)};
  for (const Case& c : {
           Case{"move under way", SOURCE_BENCH, {SetProfile(2, 0)}, 25, 1, 6090},
           Case{"move done", SOURCE_BENCH, {SetProfile(2, 0)}, 2000, 1, 9000},
           Case{"still tripped", SOURCE_BENCH, trip, 499, 0, 0},
           Case{"back", SOURCE_BENCH, {MaxLoad(4000), SetLoad(3500), SetLoad(200)}, 500, 1, 5120},
           Case{"tripped again", SOURCE_BENCH, trip, 2000, 0, 0},
           Case{"battery left", bank, {SetLoad(1000)}, 700, 1, 5120},
           Case{"battery empty", bank, {SetLoad(1000)}, 710, 0, 0},
       }) {
    fs::remove(state_);
    auto bench = Tester(c.bench, true);
    for (const Bytes& request : c.requests) bench->Ask(request);
    bench.reset();
    clock_->Advance(c.gapMs);
    bench = Tester(c.bench, true);
    EXPECT_EQ(bench->Ask({CMD_CONNECTION})[1], c.connected) << c.what;
    EXPECT_EQ(Voltage(*bench), c.reading) << c.what;
  }
}

// Parses `text` as the tester table; "<line>: <error>", or "" when accepted.
std::string Refusal(const std::string& text) {
  toml::table table = toml::parse(text);
  TesterConfig config;
  std::string error;
  uint32_t line = 0;
  return ParseTesterConfig(&table, &config, &error, &line) ? ""
                                                           : std::to_string(line) + ": " + error;
}

TEST(SourceKeys, AcceptedWithinTheirRanges) {
  toml::table table = toml::parse(R"(
noise_voltage = 1000
noise_current = 0
seed = -3
thermal_seconds = 3600
battery_mwh = 10000000
profiles = [{ type = "PD-FIX", voltage = 5000, current = 3000, voltage_offset = -5000, source_milliohm = 10000, trip_current = 65535, recover_ms = 60000, settle_ms = 5000 }]
)");
  TesterConfig c;
  std::string error;
  ASSERT_TRUE(ParseTesterConfig(&table, &c, &error)) << error;
  EXPECT_EQ(c.noiseVoltage, 1000);
  EXPECT_EQ(c.seed, static_cast<uint64_t>(-3));
  EXPECT_EQ(c.thermalSeconds, 3600);
  EXPECT_EQ(c.batteryMwh, 10000000u);
  const TesterProfile& p = c.profiles[0];
  EXPECT_EQ(p.voltageOffset, -5000);
  EXPECT_EQ(p.sourceMilliohm, 10000);
  EXPECT_EQ(p.tripCurrent, 65535);
  EXPECT_EQ(p.recoverMs, 60000);
  EXPECT_EQ(p.settleMs, 5000);
  // Defaults: an ideal source.
  const TesterProfile fresh = TesterConfig{}.profiles[0];
  EXPECT_EQ(fresh.voltageOffset, 0);
  EXPECT_FALSE(fresh.tripCurrent);
  EXPECT_EQ(fresh.recoverMs, 1000);
  EXPECT_FALSE(TesterConfig{}.batteryMwh);
  EXPECT_EQ(TesterConfig{}.seed, 1u);
}

TEST(SourceKeys, BadValuesAreRefusedWithTheirLine) {
  const std::string p = "\n\nprofiles = [{ type = \"PD-FIX\", voltage = 5000, current = 1, ";
  struct Case {
    std::string text;
    std::string refusal;
  };
  for (const Case& c : {
           Case{p + "voltage_offset = 5001 }]",
                "3: 'profiles[0].voltage_offset' of the tester must be from -5000 to 5000, not "
                "5001"},
           Case{p + "voltage_offset = -5001 }]",
                "3: 'profiles[0].voltage_offset' of the tester must be from -5000 to 5000, not "
                "-5001"},
           Case{p + "source_milliohm = 10001 }]",
                "3: 'profiles[0].source_milliohm' of the tester must be from 0 to 10000, not "
                "10001"},
           Case{p + "trip_current = 0 }]",
                "3: 'profiles[0].trip_current' of the tester must be from 1 to 65535, not 0"},
           Case{p + "recover_ms = 60001 }]",
                "3: 'profiles[0].recover_ms' of the tester must be from 0 to 60000, not 60001"},
           Case{p + "settle_ms = -1 }]",
                "3: 'profiles[0].settle_ms' of the tester must be from 0 to 5000, not -1"},
           Case{p + "settle_ms = 1.5 }]",
                "3: 'profiles[0].settle_ms' of the tester must be an integer, not a number "
                "with a fraction"},
           Case{"\nnoise_voltage = 1001",
                "2: 'noise_voltage' of the tester must be from 0 to 1000, not 1001"},
           Case{"\nnoise_current = -1",
                "2: 'noise_current' of the tester must be from 0 to 1000, not -1"},
           Case{"\nseed = \"x\"", "2: 'seed' of the tester must be an integer, not a string"},
           Case{"\nthermal_seconds = 3601",
                "2: 'thermal_seconds' of the tester must be from 0 to 3600, not 3601"},
           Case{"\nbattery_mwh = 0",
                "2: 'battery_mwh' of the tester must be from 1 to 10000000, not 0"},
           Case{"\nbattery_mwh = 10000001",
                "2: 'battery_mwh' of the tester must be from 1 to 10000000, not 10000001"},
       }) {
    EXPECT_EQ(Refusal(c.text), c.refusal) << c.text;
  }
}

}  // namespace
}  // namespace ralvex::sim::testing
