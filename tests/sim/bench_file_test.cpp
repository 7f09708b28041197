#include "sim/bench_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ralvex::sim {
namespace {

BenchLayout ParseOk(const std::string& text, const std::string& baseDir = "") {
  BenchLayout layout;
  std::string error;
  EXPECT_TRUE(ParseBenchText(text, "bench.toml", baseDir, &layout, &error)) << error;
  return layout;
}

TEST(BenchFileTest, ReadsEveryDeviceKey) {
  const BenchLayout layout = ParseOk(R"(
state = "run/state.toml"
server_edition = true

[[device]]
serial = "KORA4VLH7Y"
description = "PD Tester"
chip = "232H"
vid = 0x1234
pid = 0xABCD
location = 0x0211
high_speed = false
held_open = true
alternate_requests = true
refuse = [39, 102]
eeprom_words = 1024
com_port = 7
driver_version = 0x00020A04
extra = 0xDEADBEEF
eeprom = [0x4000, 0x0403, 0xFFFF]
read_failures = true
unplugged = true
unplug_after_bytes = 12
eeprom_writes_stick = false
restart_needs_reboot = true
restart_fails = true
wire_model = true
peer = "loopback"
)",
                                     "/benches");
  EXPECT_EQ(layout.statePath, "/benches/run/state.toml");
  EXPECT_TRUE(layout.serverEdition);
  ASSERT_EQ(layout.devices.size(), 1u);
  const BenchDeviceLayout& d = layout.devices[0];
  EXPECT_EQ(d.line, 5u);
  EXPECT_EQ(d.config.serial, "KORA4VLH7Y");
  EXPECT_EQ(d.config.description, "PD Tester");
  EXPECT_EQ(d.config.chip, CHIP_232H);
  EXPECT_EQ(d.config.vid, 0x1234);
  EXPECT_EQ(d.config.pid, 0xABCD);
  EXPECT_EQ(d.config.location, 0x0211u);
  EXPECT_EQ(d.config.highSpeed, false);
  EXPECT_TRUE(d.config.heldOpen);
  EXPECT_TRUE(d.config.alternateRequests);
  EXPECT_EQ(d.config.refuse, (std::vector<uint32_t>{39, 102}));
  EXPECT_EQ(d.config.eepromWords, 1024u);
  EXPECT_EQ(d.config.comPort, 7u);
  EXPECT_EQ(d.config.driverVersion, 0x00020A04u);
  EXPECT_EQ(d.config.extra, 0xDEADBEEFu);
  EXPECT_EQ(d.config.eeprom, (std::vector<uint16_t>{0x4000, 0x0403, 0xFFFF}));
  EXPECT_EQ(d.config.readFailures, EVERY_READ);
  EXPECT_TRUE(d.config.unplugged);
  EXPECT_EQ(d.config.unplugAfterBytes, 12u);
  EXPECT_FALSE(d.config.eepromWritesStick);
  EXPECT_TRUE(d.config.restartNeedsReboot);
  EXPECT_TRUE(d.config.restartFails);
  EXPECT_TRUE(d.config.wireModel);
  EXPECT_EQ(d.peer, PEER_LOOPBACK);
}

TEST(BenchFileTest, LeavesUnsetKeysToTheFamilyAndKeepsDeviceOrder) {
  const BenchLayout layout = ParseOk(R"(
[[device]]
serial = "ZED"
[[device]]
serial = "ALPHA"
peer = "silent"
)");
  EXPECT_TRUE(layout.statePath.empty());
  EXPECT_FALSE(layout.serverEdition);
  ASSERT_EQ(layout.devices.size(), 2u);
  EXPECT_EQ(layout.devices[0].config.serial, "ZED");
  EXPECT_EQ(layout.devices[1].config.serial, "ALPHA");
  const BenchDeviceLayout& d = layout.devices[0];
  EXPECT_EQ(d.config.chip, CHIP_232R);
  EXPECT_EQ(d.config.vid, 0x0403);
  EXPECT_FALSE(d.config.pid.has_value());
  EXPECT_FALSE(d.config.description.has_value());
  EXPECT_FALSE(d.config.location.has_value());
  EXPECT_FALSE(d.config.highSpeed.has_value());
  EXPECT_FALSE(d.config.eepromWords.has_value());
  EXPECT_FALSE(d.config.unplugAfterBytes.has_value());
  EXPECT_TRUE(d.config.eepromWritesStick);
  EXPECT_EQ(d.config.readFailures, 0u);
  EXPECT_FALSE(d.config.unplugged);
  EXPECT_TRUE(d.config.eeprom.empty());
  EXPECT_EQ(d.config.comPort, 0u);
  EXPECT_EQ(d.peer, PEER_NONE);
  EXPECT_EQ(layout.devices[1].peer, PEER_SILENT);
}

TEST(BenchFileTest, FactoryWordBelongsToA232R) {
  const BenchLayout layout =
      ParseOk("[[device]]\nserial = \"R\"\nfactory_word = 0x0001\n[[device]]\nserial = \"S\"\n");
  EXPECT_EQ(layout.devices[0].config.factoryWord, 0x0001);
  EXPECT_EQ(layout.devices[1].config.factoryWord, 0x0000);
}

TEST(BenchFileTest, AnEmptyFileIsABenchWithoutDevices) {
  EXPECT_TRUE(ParseOk("").devices.empty());
  EXPECT_TRUE(ParseOk("# nothing plugged\n").devices.empty());
}

TEST(BenchFileTest, StatePathIsTakenRelativeToTheBenchFolder) {
  EXPECT_EQ(ParseOk("state = \"../s.toml\"", "/a/b").statePath, "/a/s.toml");
  EXPECT_EQ(ParseOk("state = \"/var/s.toml\"", "/a/b").statePath, "/var/s.toml");
  EXPECT_EQ(ParseOk("state = \"s.toml\"", "").statePath, "s.toml");
}

TEST(BenchFileTest, HandsTheTesterTableOverUntouched) {
  const BenchLayout layout = ParseOk(R"(
[[device]]
serial = "KORA1"

[device.tester]
version_level = 21
a_key_only_the_tester_knows = "kept"
profiles = [ { type = "PD-FIX", voltage = 5000, current = 3000 } ]
settings = { 0 = 1, 2 = 500 }
)");
  ASSERT_EQ(layout.devices.size(), 1u);
  const BenchDeviceLayout& d = layout.devices[0];
  // A tester table alone makes the tester the peer.
  EXPECT_EQ(d.peer, PEER_TESTER);
  ASSERT_TRUE(d.tester.has_value());
  EXPECT_EQ(d.testerLine, 5u);
  EXPECT_EQ((*d.tester)["version_level"].value<int64_t>(), 21);
  EXPECT_EQ((*d.tester)["a_key_only_the_tester_knows"].value<std::string>(), "kept");
  EXPECT_EQ((*d.tester)["settings"]["2"].value<int64_t>(), 500);
  EXPECT_EQ((*d.tester)["profiles"][0]["voltage"].value<int64_t>(), 5000);
}

TEST(BenchFileTest, ReadFailuresTakeACount) {
  EXPECT_EQ(
      ParseOk("[[device]]\nserial = \"A\"\nread_failures = 3\n").devices[0].config.readFailures,
      3u);
  EXPECT_EQ(
      ParseOk("[[device]]\nserial = \"A\"\nread_failures = false\n").devices[0].config.readFailures,
      0u);
}

TEST(BenchFileTest, TesterPeerWithoutTableIsADefaultTester) {
  const BenchLayout layout = ParseOk("[[device]]\nserial = \"KORA2\"\npeer = \"tester\"\n");
  EXPECT_EQ(layout.devices[0].peer, PEER_TESTER);
  EXPECT_FALSE(layout.devices[0].tester.has_value());
}

TEST(BenchFileTest, AcceptsLongestSerialAndDescription) {
  const std::string serial(MAX_SERIAL_LENGTH, 'S');
  const std::string text = "[[device]]\nserial = \"" + serial + "\"\ndescription = \"" +
                           std::string(MAX_DESCRIPTION_LENGTH, 'd') + "\"\n";
  EXPECT_EQ(ParseOk(text).devices[0].config.serial, serial);
}

struct BadBench {
  const char* name;
  const char* text;
  uint32_t line;
  const char* says;
};

class BenchFileRefusalTest : public testing::TestWithParam<BadBench> {};

TEST_P(BenchFileRefusalTest, NamesFileLineAndProblemOnOneLine) {
  const BadBench& bad = GetParam();
  BenchLayout layout;
  layout.statePath = "untouched";
  std::string error;
  ASSERT_FALSE(ParseBenchText(bad.text, "benches/bad.toml", "", &layout, &error));
  EXPECT_EQ(error.rfind("benches/bad.toml:" + std::to_string(bad.line) + ": ", 0), 0u) << error;
  EXPECT_NE(error.find(bad.says), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  // A refused file leaves the caller's layout as it was.
  EXPECT_EQ(layout.statePath, "untouched");
  EXPECT_TRUE(layout.devices.empty());
}

const BadBench BAD_BENCHES[] = {
    {"UnknownTopKey", "state = \"s\"\nstates = 1\n", 2, "unknown key 'states'"},
    {"UnknownDeviceKey", "[[device]]\nserial = \"A\"\nserail = \"B\"\n", 3, "unknown key 'serail'"},
    {"UnknownSubTable", "[[device]]\nserial = \"A\"\n[device.faults]\nx = 1\n", 3,
     "unknown key 'faults'"},
    {"MissingSerial", "[[device]]\nchip = \"232R\"\n", 1, "without 'serial'"},
    {"MissingSerialOfSecond", "[[device]]\nserial = \"A\"\n\n[[device]]\npeer = \"none\"\n", 4,
     "without 'serial'"},
    {"EmptySerial", "[[device]]\nserial = \"\"\n", 2, "empty"},
    {"SerialWithBackslash", "[[device]]\nserial = \"A\\\\B\"\n", 2, "printable"},
    {"SerialWithSpace", "[[device]]\nserial = \"A B\"\n", 2, "printable"},
    {"SerialTooLong", "[[device]]\nserial = \"0123456789ABCDEF\"\n", 2, "longer than 15"},
    {"DescriptionTooLong",
     "[[device]]\nserial = \"A\"\ndescription = \"0123456789012345678901234567890123456789"
     "012345678901234567890123\"\n",
     3, "longer than 63"},
    {"DescriptionWithControl", "[[device]]\nserial = \"A\"\ndescription = \"a\\tb\"\n", 3,
     "control character"},
    {"DuplicateSerial", "[[device]]\nserial = \"A\"\n[[device]]\nserial = \"A\"\n", 3,
     "duplicate serial 'A' (first at line 1)"},
    {"SerialNotString", "[[device]]\nserial = 42\n", 2, "must be a string, not an integer"},
    {"UnknownChip", "[[device]]\nserial = \"A\"\nchip = \"232X\"\n", 3, "unknown chip '232X'"},
    {"ChipNamesAreCaseSensitive", "[[device]]\nserial = \"A\"\nchip = \"232r\"\n", 3,
     "unknown chip"},
    {"VidOutOfRange", "[[device]]\nserial = \"A\"\nvid = 0x10000\n", 3, "0xFFFF, not 65536"},
    {"NegativePid", "[[device]]\nserial = \"A\"\npid = -1\n", 3, "'pid'"},
    {"PidAsFloat", "[[device]]\nserial = \"A\"\npid = 24577.0\n", 3, "must be an integer"},
    {"LocationOutOfRange", "[[device]]\nserial = \"A\"\nlocation = 0x100000000\n", 3, "'location'"},
    {"HighSpeedAsString", "[[device]]\nserial = \"A\"\nhigh_speed = \"yes\"\n", 3,
     "must be true or false, not a string"},
    {"RefuseNotArray", "[[device]]\nserial = \"A\"\nrefuse = 39\n", 3, "an array"},
    {"RefuseSlotOutOfRange", "[[device]]\nserial = \"A\"\nrefuse = [39, 126]\n", 3, "not 126"},
    {"EepromOddSize", "[[device]]\nserial = \"A\"\neeprom_words = 100\n", 3,
     "must be 0, 64, 128, 256 or 1024, not 100"},
    {"FactoryWordOutOfRange", "[[device]]\nserial = \"A\"\nfactory_word = 0x10000\n", 3,
     "0xFFFF, not 65536"},
    {"FactoryWordOfAnotherChip", "[[device]]\nserial = \"A\"\nfactory_word = 1\nchip = \"232H\"\n",
     3, "'factory_word' belongs to a 232R"},
    {"RefuseSlotNotServed", "[[device]]\nserial = \"A\"\nrefuse = [39, 4]\n", 3,
     "slot 4 is not a request slot"},
    {"EepromImageLargerThanTheEeprom",
     "[[device]]\nserial = \"A\"\neeprom_words = 0\neeprom = [1]\n", 4, "more than the EEPROM's 0"},
    {"ComPortOutOfRange", "[[device]]\nserial = \"A\"\ncom_port = 256\n", 3, "'com_port'"},
    {"ReadFailuresAsString", "[[device]]\nserial = \"A\"\nread_failures = \"all\"\n", 3,
     "true, false or a count"},
    {"ReadFailuresNegative", "[[device]]\nserial = \"A\"\nread_failures = -2\n", 3,
     "'read_failures'"},
    {"EepromWordTooWide", "[[device]]\nserial = \"A\"\neeprom = [1, 0x10000]\n", 3,
     "0xFFFF, not 65536"},
    {"UnknownPeer", "[[device]]\nserial = \"A\"\npeer = \"echo\"\n", 3, "unknown peer 'echo'"},
    {"TesterTableWithOtherPeer",
     "[[device]]\nserial = \"A\"\npeer = \"silent\"\n[device.tester]\nsource = true\n", 3,
     "peer other than \"tester\""},
    {"TesterNotTable", "[[device]]\nserial = \"A\"\ntester = 1\n", 3, "must be a table"},
    {"DeviceAsPlainTable", "[device]\nserial = \"A\"\n", 1, "must be [[device]] tables"},
    {"ServerEditionAsInteger", "server_edition = 1\n", 1, "true or false"},
    {"StateNotString", "state = 3\n", 1, "must be a string"},
    {"TomlSyntax", "[[device]]\nserial = \"A\n", 2, ""},
    {"TomlDuplicateKey", "[[device]]\nserial = \"A\"\nserial = \"B\"\n", 3, ""},
};

INSTANTIATE_TEST_SUITE_P(Bad, BenchFileRefusalTest, testing::ValuesIn(BAD_BENCHES),
                         [](const testing::TestParamInfo<BadBench>& info) {
                           return std::string(info.param.name);
                         });

TEST(BenchFileTest, RefusesMoreDevicesThanABusHolds) {
  std::string text;
  for (size_t i = 0; i <= BENCH_MAX_DEVICES; ++i) {
    text += "[[device]]\nserial = \"D" + std::to_string(i) + "\"\n";
  }
  BenchLayout layout;
  std::string error;
  EXPECT_FALSE(ParseBenchText(text, "big.toml", "", &layout, &error));
  EXPECT_NE(error.find("more than 127 devices"), std::string::npos) << error;
}

class BenchFileOnDiskTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::temp_directory_path() /
        ("ralvex-bench-file-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const auto path = dir_ / name;
    std::ofstream(path) << text;
    return path.string();
  }

  std::filesystem::path dir_;
};

TEST_F(BenchFileOnDiskTest, ResolvesStateNextToTheFile) {
  const std::string path =
      Write("two.toml", "state = \"two.state.toml\"\n[[device]]\nserial=\"A\"\n");
  BenchLayout layout;
  std::string error;
  ASSERT_TRUE(LoadBenchFile(path, &layout, &error)) << error;
  EXPECT_EQ(layout.statePath, (dir_ / "two.state.toml").string());
  EXPECT_EQ(layout.source, path);
}

TEST_F(BenchFileOnDiskTest, ErrorsNameThePathGiven) {
  const std::string path = Write("bad.toml", "\n\n[[device]]\nserial = 1\n");
  BenchLayout layout;
  std::string error;
  EXPECT_FALSE(LoadBenchFile(path, &layout, &error));
  EXPECT_EQ(error.rfind(path + ":4: ", 0), 0u) << error;
}

TEST_F(BenchFileOnDiskTest, MissingFileAndFolderAreRefused) {
  BenchLayout layout;
  std::string error;
  const std::string missing = (dir_ / "none.toml").string();
  EXPECT_FALSE(LoadBenchFile(missing, &layout, &error));
  EXPECT_EQ(error.rfind(missing + ": cannot read the bench file", 0), 0u) << error;
  EXPECT_FALSE(LoadBenchFile(dir_.string(), &layout, &error));
  EXPECT_NE(error.find("is a folder"), std::string::npos) << error;
}

TEST_F(BenchFileOnDiskTest, OversizedFileAndDeviceNodesAreNotRead) {
  BenchLayout layout;
  std::string error;
  const std::string big = Write("big.toml", std::string(BENCH_MAX_FILE_BYTES + 1, '#'));
  EXPECT_FALSE(LoadBenchFile(big, &layout, &error));
  EXPECT_EQ(error, big + ": is larger than 1048576 bytes; not a bench file");
  // An endless character device must not hang the loader.
  EXPECT_FALSE(LoadBenchFile("/dev/zero", &layout, &error));
  EXPECT_EQ(error, "/dev/zero: is not a regular file");
}

TEST_F(BenchFileOnDiskTest, BinaryGarbageIsRefusedNotCrashedOn) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
  const std::string path = Write("garbage.toml", garbage);
  BenchLayout layout;
  std::string error;
  EXPECT_FALSE(LoadBenchFile(path, &layout, &error));
  EXPECT_EQ(error.rfind(path + ":", 0), 0u) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
}

}  // namespace
}  // namespace ralvex::sim
