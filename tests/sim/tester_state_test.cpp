// The tester keeps its settings and live state in the state file between runs.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "sim/tester/state_file.h"
#include "sim/tester/tester_state.h"
#include "tests/sim/tester_fake_line.h"

namespace ralvex::sim::testing {
namespace {

namespace fs = std::filesystem;

class TesterStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::path(::testing::TempDir()) / (std::string("ralvex_tester_") + info->name() + "_" +
                                             std::to_string(std::random_device{}()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "testers.toml").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(TesterStateTest, LoadSurvivesIntoTheNextRun) {
  TesterBench bench("", path_);
  bench.Ask({0x10, 0xE8, 0x03});  // -l 1000
  bench.Rebuild("", path_);       // the next run: -s
  const Bytes s = bench.Ask({0x0C});
  EXPECT_EQ(U16(s, 5), 1000);
  EXPECT_EQ(U16(s, 7), 998);
}

TEST_F(TesterStateTest, ContractAndStoredSettingsSurvive) {
  TesterBench bench("", path_);
  bench.Ask({0x0D, 5, 0x70, 0x17});  // PD-APDO at 6000 mV
  bench.Ask({0x0E, 0x28, 0x23});     // default voltage 9000
  bench.Ask({0x0F, 0xF4, 0x01});     // default load 500
  bench.Ask({0xE0, 0x01, 0x02, 0x20, 0x03});
  bench.Rebuild("", path_);
  const Bytes c = bench.Ask({0x0A});
  EXPECT_EQ(c[2], 5);
  EXPECT_EQ(U16(c, 5), 6000);
  EXPECT_EQ(bench.Ask({0xE1, 0x01}), (Bytes{0xE1, 0x20, 0x03}));

  TesterState state;
  bool live = false;
  ASSERT_TRUE(LoadTesterState(path_, "KORA0001", &state, &live));
  EXPECT_TRUE(live);
  EXPECT_EQ(state.defaultVoltage, 9000);
  EXPECT_EQ(state.defaultLoad, 500);
  EXPECT_EQ(state.maxLoad, 800);
}

TEST_F(TesterStateTest, AutomaticLimitsPersistAsNoMaxLoad) {
  TesterBench bench("", path_);
  bench.Ask({0xE0, 0x01, 0x02, 0x20, 0x03});
  bench.Ask({0xE0, 0x01, 0x00});
  bench.Ask({0x10, 0xB8, 0x0B});
  bench.Rebuild("", path_);
  EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 3000);
}

TEST_F(TesterStateTest, TestersSharingTheFileKeepTheirOwnState) {
  TesterBench a("", path_, "KORA000A");
  TesterBench b("", path_, "KORA000B");
  a.Ask({0x10, 0x64, 0x00});  // 100 mA
  b.Ask({0x10, 0xC8, 0x00});  // 200 mA
  a.Ask({0x0D, 2, 0, 0});
  a.Rebuild("", path_, "KORA000A");
  b.Rebuild("", path_, "KORA000B");
  EXPECT_EQ(U16(a.Ask({0x0C}), 5), 100);
  EXPECT_EQ(U16(b.Ask({0x0C}), 5), 200);
  EXPECT_EQ(a.Ask({0x0A})[2], 2);
  EXPECT_EQ(b.Ask({0x0A})[2], 1);
}

TEST_F(TesterStateTest, ConcurrentSavesLoseNoTester) {
  // Each device's writer thread saves on its own; a save must not drop another tester's entry.
  constexpr int TESTER_SERIALS = 4;
  std::vector<std::thread> threads;
  for (int t = 0; t < TESTER_SERIALS; ++t) {
    threads.emplace_back([this, t] {
      TesterBench bench("", path_, "KORA100" + std::to_string(t));
      for (int i = 1; i <= 20; ++i) bench.Ask({0x10, static_cast<uint8_t>(t * 20 + i), 0});
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < TESTER_SERIALS; ++t) {
    TesterState state;
    bool live = false;
    ASSERT_TRUE(LoadTesterState(path_, "KORA100" + std::to_string(t), &state, &live)) << t;
    EXPECT_EQ(state.load, t * 20 + 20);
  }
  // No temporary file is left behind: the state and its lock file are all there is.
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().string());
  EXPECT_EQ(names, (std::set<std::string>{path_, StateLockPath(path_)}));
}

TEST_F(TesterStateTest, CorruptFileMeansFreshTester) {
  for (const char* text : {"this is = = not toml", "\x01\x02\xff\xfe", "[KORA0001]\nload = -5\n",
                           "[KORA0001]\nprofile = 9\nvoltage = 5000\nload = 0\n",
                           "[KORA0001]\nload = \"much\"\n", "KORA0001 = 3\n"}) {
    Write(text);
    TesterBench bench("", path_);
    EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 0) << text;
    EXPECT_EQ(bench.Ask({0x0A})[2], 1) << text;
    EXPECT_EQ(bench.Ask({0xE1, 0x01}), (Bytes{0xE1, 0, 0})) << text;
    // The next save replaces the unreadable file with a readable one.
    bench.Ask({0x10, 0x2C, 0x01});
    bench.Rebuild("", path_);
    EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 300) << text;
  }
}

TEST_F(TesterStateTest, SettingsWithoutLiveStateArePowerUp) {
  // A tester whose live state is unknown starts as after power-up, with its stored defaults.
  Write("[KORA0001]\ndefault_voltage = 15000\ndefault_load = 700\n");
  TesterBench bench("", path_);
  const Bytes c = bench.Ask({0x0A});
  EXPECT_EQ(c[2], 3);
  EXPECT_EQ(U16(c, 5), 15000);
  EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 700);
}

TEST_F(TesterStateTest, ContractThatNoLongerFitsTheBenchIsNegotiatedAgain) {
  Write("[KORA0001]\ndefault_voltage = 9000\nprofile = 5\nvoltage = 6000\nload = 400\n");
  // The bench now offers two fixed profiles: profile 5 is gone.
  TesterBench bench(R"(profiles = [
  { type = "PD-FIX", voltage = 5000, current = 3000 },
  { type = "PD-FIX", voltage = 9000, current = 2000 },
])",
                    path_);
  const Bytes c = bench.Ask({0x0A});
  EXPECT_EQ(c[2], 2);
  EXPECT_EQ(U16(c, 5), 9000);
  EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 400);  // the load was kept
}

TEST_F(TesterStateTest, RangedContractOutsideTheNewRangeFallsBackToProfileOne) {
  Write("[KORA0001]\nprofile = 1\nvoltage = 20000\nload = 0\n");
  TesterBench bench(
      R"(profiles = [{ type = "PD-APDO", min_voltage = 3300, voltage = 11000, current = 3000 }])",
      path_);
  const Bytes c = bench.Ask({0x0A});
  EXPECT_EQ(c[2], 1);
  EXPECT_EQ(U16(c, 5), 5000);
}

TEST_F(TesterStateTest, UnwritableStateFileDoesNotStopTheTester) {
  const std::string bad = (dir_ / "missing_dir" / "state.toml").string();
  TesterBench bench("", bad);
  EXPECT_EQ(bench.Ask({0x10, 0xE8, 0x03}), (Bytes{0x10, 0}));
  EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 1000);
  EXPECT_FALSE(fs::exists(bad));
}

TEST(TesterNoStateFile, NothingPersistsWithoutAPath) {
  TesterBench bench;
  bench.Ask({0x10, 0xE8, 0x03});
  bench.Rebuild("", "");
  EXPECT_EQ(U16(bench.Ask({0x0C}), 5), 0);
}

}  // namespace
}  // namespace ralvex::sim::testing
