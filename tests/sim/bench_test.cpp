#include "sim/bench.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "sim/bench_file.h"
#include "sim/bridge_device.h"
#include "sim/builtin_bench.h"
#include "sim/loopback_peer.h"
#include "sim/silent_peer.h"
#include "sim/usb_tree.h"
#include "tests/sim/usb_tree_setupapi.h"

namespace ralvex::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace testing_setupapi;

constexpr uint32_t CODE_CYCLE_PORT = 0x00220040;

BridgeDeviceConfig Config(const std::string& serial) {
  BridgeDeviceConfig config;
  config.serial = serial;
  return config;
}

std::vector<std::string> ListedSerials() {
  std::vector<std::string> serials;
  for (const std::string& path : InterfacePaths(BRIDGE_INTERFACE_GUID)) {
    // "\\?\usb#vid_vvvv&pid_pppp#<serial>#{guid}"
    const size_t start = path.find('#', 8) + 1;
    serials.push_back(path.substr(start, path.find('#', start) - start));
  }
  return serials;
}

bool ServerEdition() {
  OSVERSIONINFOEXA info{};
  info.dwOSVersionInfoSize = sizeof(info);
  EXPECT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)));
  return info.wProductType != VER_NT_WORKSTATION;
}

// An environment variable set for one test and restored after it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class BenchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DetachBench();
    dir_ = std::filesystem::temp_directory_path() /
           ("ralvex-bench-" + std::to_string(std::random_device{}()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    DetachBench();
    std::filesystem::remove_all(dir_);
  }

  std::string Write(const std::string& name, const std::string& text) {
    const auto path = dir_ / name;
    std::ofstream(path) << text;
    return path.string();
  }

  std::filesystem::path dir_;
};

TEST_F(BenchTest, DevicesEnumerateInTheOrderTheyWereAdded) {
  Bench bench;
  bench.AddDevice(Config("ZED"));
  bench.AddDevice(Config("ALPHA"), std::make_shared<LoopbackPeer>());
  bench.AddDevice(Config("MID"));
  EXPECT_THAT(ListedSerials(), ElementsAre("ZED", "ALPHA", "MID"));
  ASSERT_EQ(bench.DeviceCount(), 3u);
  EXPECT_EQ(bench.Device(1).Config().serial, "ALPHA");
  EXPECT_NE(bench.Device(1).Peer(), nullptr);
  EXPECT_EQ(bench.Device(0).Peer(), nullptr);
  EXPECT_EQ(bench.FindDevice("MID"), &bench.Device(2));
  EXPECT_EQ(bench.FindDevice("mid"), nullptr);
  // The tree knows which node each device is.
  EXPECT_EQ(bench.Device(2).DevInst(), bench.Tree().Device(2).node);
}

TEST_F(BenchTest, LocationComesFromThePortUnlessGiven) {
  Bench bench;
  bench.AddDevice(Config("A"));
  BridgeDeviceConfig fixed = Config("B");
  fixed.location = 0x2345;
  bench.AddDevice(fixed);
  bench.AddDevice(Config("C"));
  EXPECT_EQ(bench.Device(0).Config().location, 0x0111u);
  EXPECT_EQ(bench.Device(1).Config().location, 0x2345u);
  EXPECT_EQ(bench.Device(2).Config().location, 0x0131u);
}

TEST_F(BenchTest, HardwareIdsCarryTheFamilysProductAndRelease) {
  Bench bench;
  BridgeDeviceConfig config = Config("H1");
  config.chip = CHIP_232H;
  bench.AddDevice(config);
  const uint16_t pid = bench.Device(0).ProductId();
  const std::vector<std::string> expected = UsbHardwareIds(0x0403, pid, DeviceRelease(CHIP_232H));
  EXPECT_EQ(Property(bench.Device(0).DevInst(), SPDRP_HARDWAREID), expected);
  EXPECT_THAT(Property(bench.Device(0).DevInst(), SPDRP_DEVICEDESC),
              ElementsAre(bench.Device(0).Description()));
}

TEST_F(BenchTest, ServerEditionLastsAsLongAsTheBench) {
  {
    Bench bench;
    EXPECT_FALSE(ServerEdition());
    bench.SetServerEdition(true);
    EXPECT_TRUE(ServerEdition());
  }
  EXPECT_FALSE(ServerEdition());
}

TEST_F(BenchTest, DestroyingTheBenchEmptiesTheTree) {
  {
    Bench bench;
    bench.AddDevice(Config("A"));
    EXPECT_EQ(ListedSerials().size(), 1u);
  }
  EXPECT_TRUE(ListedSerials().empty());
  EXPECT_TRUE(SetupClassDevices(USB_SETUP_CLASS_GUID).empty());
}

TEST_F(BenchTest, CycledPortLeavesUntilItsHubReenumerates) {
  Bench bench;
  bench.AddDevice(Config("STAY"));
  bench.AddDevice(Config("CYCLE"));
  const std::string path = bench.Tree().Device(1).interfacePath;

  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  EXPECT_TRUE(DeviceIoControl(file, CODE_CYCLE_PORT, nullptr, 0, nullptr, 0, &returned, nullptr));
  CloseHandle(file);

  EXPECT_THAT(ListedSerials(), ElementsAre("STAY"));
  EXPECT_TRUE(bench.Device(1).Cycled());

  // What a bus rescan does: every root hub re-enumerates.
  for (RootHub hub : {ROOT_HUB_USB1, ROOT_HUB_USB2, ROOT_HUB_USB3}) {
    ASSERT_EQ(CM_Reenumerate_DevNode_Ex(bench.Tree().HubNode(hub), 0, nullptr), CR_SUCCESS);
  }
  EXPECT_THAT(ListedSerials(), ElementsAre("STAY", "CYCLE"));
  EXPECT_FALSE(bench.Device(1).Cycled());
  EXPECT_THAT(bench.Tree().ReenumerationLog(),
              ElementsAre("USB\\ROOT_HUB", "USB\\ROOT_HUB20", "USB\\ROOT_HUB30"));

  // The device opens again once back.
  file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

TEST_F(BenchTest, PortCyclesRacingRescansNeverLoseADevice) {
  // A cycle marks its node absent while a re-enumeration brings the device back: whichever
  // comes last, the device's own flag and its node must agree, or the device is gone for good.
  // More threads than cores, so that one is preempted in the middle of the other's change.
  Bench bench;
  bench.AddDevice(Config("CYCLE1"));
  bench.AddDevice(Config("CYCLE2"));
  const DEVINST hub = bench.Tree().HubNode(ROOT_HUB_USB3);
  std::atomic<bool> cycling{true};
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&] {
      while (cycling) {
        CM_Reenumerate_DevNode_Ex(hub, 0, nullptr);
        std::this_thread::yield();
      }
    });
  }
  const auto cycle = [&](std::size_t index) {
    const std::string path = bench.Tree().Device(index).interfacePath;
    // A lost device never opens again: the deadline ends the loop then (and only then).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int cycles = 0; cycles < 100 && std::chrono::steady_clock::now() < deadline;) {
      HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) continue;
      DWORD returned = 0;
      cycles += DeviceIoControl(file, CODE_CYCLE_PORT, nullptr, 0, nullptr, 0, &returned, nullptr);
      CloseHandle(file);
    }
  };
  std::thread second(cycle, 1);
  cycle(0);
  second.join();
  cycling = false;
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(CM_Reenumerate_DevNode_Ex(hub, 0, nullptr), CR_SUCCESS);
  EXPECT_THAT(ListedSerials(), ElementsAre("CYCLE1", "CYCLE2"));
}

TEST_F(BenchTest, UnpluggedDeviceStaysAwayThroughReenumeration) {
  Bench bench;
  bench.AddDevice(Config("A"));
  BridgeDeviceConfig away = Config("AWAY");
  away.unplugged = true;
  bench.AddDevice(away);
  EXPECT_THAT(ListedSerials(), ElementsAre("A"));
  bench.Device(0).Unplug();
  ASSERT_EQ(CM_Reenumerate_DevNode_Ex(bench.Tree().HubNode(ROOT_HUB_USB3), 0, nullptr), CR_SUCCESS);
  EXPECT_TRUE(ListedSerials().empty());
  bench.Device(1).Replug();
  EXPECT_THAT(ListedSerials(), ElementsAre("AWAY"));
}

TEST_F(BenchTest, BuildsDevicesPeersAndFlagsFromText) {
  BenchLayout layout;
  std::string error;
  ASSERT_TRUE(ParseBenchText(R"(
state = "state.toml"
server_edition = true
[[device]]
serial = "LOOP"
peer = "loopback"
chip = "2232H"
refuse = [39]
[[device]]
serial = "HUSH"
peer = "silent"
held_open = true
[[device]]
serial = "KORA1"
[device.tester]
version_level = 21
[[device]]
serial = "BARE"
extra = 7
driver_version = 0x00030000
)",
                             "mixed.toml", dir_.string(), &layout, &error))
      << error;
  std::unique_ptr<Bench> bench = BuildBench(layout, &error);
  ASSERT_NE(bench, nullptr) << error;
  EXPECT_THAT(ListedSerials(), ElementsAre("LOOP", "HUSH", "KORA1", "BARE"));
  EXPECT_TRUE(ServerEdition());
  EXPECT_EQ(bench->StatePath(), (dir_ / "state.toml").string());

  EXPECT_NE(dynamic_cast<LoopbackPeer*>(bench->Device(0).Peer().get()), nullptr);
  EXPECT_EQ(bench->Device(0).Config().chip, CHIP_2232H);
  EXPECT_THAT(bench->Device(0).Config().refuse, ElementsAre(39u));
  EXPECT_NE(dynamic_cast<SilentPeer*>(bench->Device(1).Peer().get()), nullptr);
  EXPECT_TRUE(bench->Device(1).Config().heldOpen);
  EXPECT_NE(bench->Device(2).Peer(), nullptr);
  EXPECT_EQ(bench->Device(3).Peer(), nullptr);
  EXPECT_EQ(bench->Device(3).Config().extra, 7u);
  EXPECT_EQ(bench->Device(3).Config().driverVersion, 0x00030000u);
}

TEST_F(BenchTest, BadTesterTableIsRefusedWithItsLineAndTheBenchUpStays) {
  Bench up;
  up.AddDevice(Config("UP"));
  BenchLayout layout;
  std::string error;
  ASSERT_TRUE(ParseBenchText(
      "[[device]]\nserial = \"A\"\n\n[[device]]\nserial = \"KORA1\"\n[device.tester]\nbogus = 1\n",
      "t.toml", "", &layout, &error));
  EXPECT_EQ(BuildBench(layout, &error), nullptr);
  EXPECT_THAT(error, StartsWith("t.toml:7: tester 'KORA1': "));
  EXPECT_THAT(error, HasSubstr("bogus"));
  EXPECT_EQ(error.find('\n'), std::string::npos);
  EXPECT_THAT(ListedSerials(), ElementsAre("UP"));
}

TEST_F(BenchTest, AttachesABenchFileAndReplacesItOnTheNextAttach) {
  const std::string first = Write("one.toml", "[[device]]\nserial = \"ONE\"\n");
  const std::string second =
      Write("two.toml", "[[device]]\nserial = \"TWO\"\n[[device]]\nserial = \"THREE\"\n");
  std::string error;
  ASSERT_TRUE(AttachBench(first, &error)) << error;
  ASSERT_NE(AttachedBench(), nullptr);
  EXPECT_THAT(ListedSerials(), ElementsAre("ONE"));
  ASSERT_TRUE(AttachBench(second, &error)) << error;
  EXPECT_THAT(ListedSerials(), ElementsAre("TWO", "THREE"));
  EXPECT_EQ(AttachedBench()->DeviceCount(), 2u);
  DetachBench();
  EXPECT_EQ(AttachedBench(), nullptr);
  EXPECT_TRUE(ListedSerials().empty());
}

TEST_F(BenchTest, BadFileAttachesNothingAndKeepsTheAttachedBench) {
  const std::string good = Write("good.toml", "[[device]]\nserial = \"GOOD\"\n");
  const std::string bad =
      Write("bad.toml", "[[device]]\nserial = \"X\"\n[[device]]\nserial = \"X\"\n");
  std::string error;
  ASSERT_TRUE(AttachBench(good, &error)) << error;
  Bench* attached = AttachedBench();
  EXPECT_FALSE(AttachBench(bad, &error));
  EXPECT_EQ(error, bad + ":3: duplicate serial 'X' (first at line 1)");
  EXPECT_EQ(AttachedBench(), attached);
  EXPECT_THAT(ListedSerials(), ElementsAre("GOOD"));

  DetachBench();
  EXPECT_FALSE(AttachBench(bad, &error));
  EXPECT_EQ(AttachedBench(), nullptr);
  EXPECT_TRUE(ListedSerials().empty());
}

TEST_F(BenchTest, BenchBuiltInCodeTakesTheAttachedOnesPlace) {
  const std::string file = Write("one.toml", "[[device]]\nserial = \"FILE\"\n");
  std::string error;
  ASSERT_TRUE(AttachBench(file, &error)) << error;
  Bench bench;
  EXPECT_EQ(AttachedBench(), nullptr);
  bench.AddDevice(Config("CODE"));
  EXPECT_THAT(ListedSerials(), ElementsAre("CODE"));
}

TEST_F(BenchTest, BuiltinBenchIsOneTesterWithItsStateUnderXdgStateHome) {
  ScopedEnv xdg("XDG_STATE_HOME", (dir_ / "xdg").c_str());
  std::string error;
  ASSERT_TRUE(AttachBench("builtin", &error)) << error;
  Bench* bench = AttachedBench();
  ASSERT_NE(bench, nullptr);
  ASSERT_EQ(bench->DeviceCount(), 1u);
  const BridgeDevice& tester = bench->Device(0);
  EXPECT_EQ(tester.Config().serial, "KORA4VLH7Y");
  EXPECT_EQ(tester.Config().chip, CHIP_232R);
  EXPECT_NE(tester.Peer(), nullptr);
  EXPECT_EQ(bench->StatePath(), (dir_ / "xdg" / "ralvex" / "builtin.state.toml").string());
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "xdg" / "ralvex"));
  EXPECT_THAT(ListedSerials(), ElementsAre("KORA4VLH7Y"));
}

TEST_F(BenchTest, BuiltinTesterTableHoldsTheTypicalProfiles) {
  BenchLayout layout;
  std::string error;
  ASSERT_TRUE(ParseBenchText(BuiltinBenchText(), "builtin", "", &layout, &error)) << error;
  ASSERT_EQ(layout.devices.size(), 1u);
  ASSERT_TRUE(layout.devices[0].tester.has_value());
  const toml::table& tester = *layout.devices[0].tester;
  EXPECT_EQ(tester["version_level"].value<int64_t>(), 21);
  const toml::array* profiles = tester["profiles"].as_array();
  ASSERT_NE(profiles, nullptr);
  ASSERT_EQ(profiles->size(), 5u);
  const int64_t expected[5][3] = {
      {0, 5000, 3000}, {0, 9000, 3000}, {0, 15000, 3000}, {0, 20000, 2250}, {3300, 11000, 3000}};
  for (size_t i = 0; i < 5; ++i) {
    const toml::node_view<const toml::node> profile{(*profiles)[i]};
    EXPECT_EQ(profile["type"].value<std::string>(), i < 4 ? "PD-FIX" : "PD-APDO");
    EXPECT_EQ(profile["min_voltage"].value_or<int64_t>(0), expected[i][0]);
    EXPECT_EQ(profile["voltage"].value<int64_t>(), expected[i][1]);
    EXPECT_EQ(profile["current"].value<int64_t>(), expected[i][2]);
  }
}

TEST_F(BenchTest, BuiltinStateFallsBackToHomeAndToNothing) {
  {
    ScopedEnv xdg("XDG_STATE_HOME", "relative/state");  // not absolute: ignored
    ScopedEnv home("HOME", dir_.c_str());
    EXPECT_EQ(BuiltinStatePath(),
              (dir_ / ".local" / "state" / "ralvex" / "builtin.state.toml").string());
  }
  {
    ScopedEnv xdg("XDG_STATE_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(BuiltinStatePath(), "");
  }
  {
    // A folder that cannot be made: the tester keeps nothing rather than failing the bench.
    const std::string blocker = Write("blocker", "a file, not a folder");
    ScopedEnv xdg("XDG_STATE_HOME", blocker.c_str());
    EXPECT_EQ(BuiltinStatePath(), "");
  }
}

TEST_F(BenchTest, EnvironmentNamesTheBench) {
  std::string error = "untouched";
  {
    ScopedEnv unset("RALVEX_BENCH", nullptr);
    EXPECT_TRUE(AttachBenchFromEnvironment(&error));
    EXPECT_EQ(AttachedBench(), nullptr);
  }
  {
    ScopedEnv empty("RALVEX_BENCH", "");
    EXPECT_TRUE(AttachBenchFromEnvironment(&error));
    EXPECT_EQ(AttachedBench(), nullptr);
  }
  EXPECT_EQ(error, "untouched");
  {
    const std::string file = Write("env.toml", "[[device]]\nserial = \"ENV\"\n");
    ScopedEnv named("RALVEX_BENCH", file.c_str());
    EXPECT_TRUE(AttachBenchFromEnvironment(&error)) << error;
    EXPECT_THAT(ListedSerials(), ElementsAre("ENV"));
  }
  {
    ScopedEnv xdg("XDG_STATE_HOME", (dir_ / "xdg").c_str());
    ScopedEnv builtin("RALVEX_BENCH", "builtin");
    EXPECT_TRUE(AttachBenchFromEnvironment(&error)) << error;
    EXPECT_THAT(ListedSerials(), ElementsAre("KORA4VLH7Y"));
  }
  {
    const std::string missing = (dir_ / "missing.toml").string();
    ScopedEnv named("RALVEX_BENCH", missing.c_str());
    EXPECT_FALSE(AttachBenchFromEnvironment(&error));
    EXPECT_THAT(error, StartsWith(missing + ": cannot read the bench file"));
    // The bench attached before stays.
    EXPECT_THAT(ListedSerials(), ElementsAre("KORA4VLH7Y"));
  }
}

// The ready-made benches shipped for users and tests all load and build.
TEST_F(BenchTest, ShippedBenchesBuild) {
  ScopedEnv xdg("XDG_STATE_HOME", (dir_ / "xdg").c_str());
  const std::filesystem::path benches =
      std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "sim" / "benches";
  ASSERT_TRUE(std::filesystem::is_directory(benches)) << benches;
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(benches)) {
    if (entry.path().extension() != ".toml") continue;
    // Keep the shipped files' state out of the source tree: load from a copy.
    const std::filesystem::path copy = dir_ / entry.path().filename();
    std::filesystem::copy_file(entry.path(), copy,
                               std::filesystem::copy_options::overwrite_existing);
    std::string error;
    EXPECT_TRUE(AttachBench(copy.string(), &error)) << entry.path() << ": " << error;
    ++count;
  }
  EXPECT_GE(count, 5u);
}

#ifdef RALVEX_BENCHES_DIR
// Every ready-made bench loads and builds; the EEPROM bench holds every EEPROM size there is.
TEST_F(BenchTest, EveryReadyMadeBenchBuilds) {
  std::set<uint32_t> eepromSizes;
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(RALVEX_BENCHES_DIR)) {
    if (entry.path().extension() != ".toml" ||
        entry.path().string().find(".state.") != std::string::npos) {
      continue;
    }
    ++files;
    BenchLayout layout;
    std::string error;
    ASSERT_TRUE(LoadBenchFile(entry.path().string(), &layout, &error)) << error;
    layout.statePath.clear();  // nothing written next to the sources
    std::unique_ptr<Bench> bench = BuildBench(layout, &error);
    ASSERT_NE(bench, nullptr) << error;
    EXPECT_EQ(bench->DeviceCount(), layout.devices.size()) << entry.path();
    if (entry.path().filename() == "eeprom-chips.toml") {
      for (size_t i = 0; i < bench->DeviceCount(); ++i) {
        eepromSizes.insert(bench->Device(i).EepromWordCount());
      }
    }
  }
  EXPECT_GE(files, 7u);
  EXPECT_EQ(eepromSizes, (std::set<uint32_t>{0, 64, 128, 256, 1024}));
}
#endif

}  // namespace
}  // namespace ralvex::sim
