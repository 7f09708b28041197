// Discovery: which ttys in sysfs are bridge ports, and the identity each port gets.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "hostdev/host_identity.h"
#include "hostdev/sysfs_discovery.h"
#include "hostdev/usb_ids.h"
#include "tests/hostdev/fake_sysfs.h"

namespace ralvex::hostdev {
namespace {

using hostdev_test::AddFakeUsbPort;
using hostdev_test::FakeUsbPort;

TEST(UsbIdList, ParsesPairsAndNamesTheFirstBadEntry) {
  struct Case {
    const char* text;
    bool good;
    size_t count;
    const char* named;  // what the error quotes
  };
  const Case cases[] = {
      {"", true, 0, ""},
      {"  ", true, 0, ""},
      {"1a2b:00ff", true, 1, ""},
      {"1A2B:00FF, 0403:6015 ,abcd:1", true, 3, ""},
      {"1a2b", false, 0, "'1a2b'"},
      {"1a2b:00ff,", false, 0, "''"},
      {"12345:0001", false, 0, "'12345:0001'"},
      {"0403:60g1", false, 0, "'0403:60g1'"},
      {":0001", false, 0, "':0001'"},
  };
  for (const Case& c : cases) {
    std::vector<UsbIdPair> pairs = {{1, 1}};
    std::string error;
    EXPECT_EQ(ParseUsbIdList(c.text, &pairs, &error), c.good) << c.text;
    if (c.good) {
      EXPECT_EQ(pairs.size(), c.count) << c.text;
    } else {
      EXPECT_EQ(pairs.size(), 1u) << "a bad list changes nothing: " << c.text;
      EXPECT_NE(error.find(c.named), std::string::npos) << error;
    }
  }
  std::vector<UsbIdPair> pairs;
  std::string error;
  ASSERT_TRUE(ParseUsbIdList("1A2B:00fF", &pairs, &error));
  EXPECT_TRUE(IsBridgeId(0x1a2b, 0x00ff, pairs));
  EXPECT_FALSE(IsBridgeId(0x1a2b, 0x0100, pairs));
  EXPECT_TRUE(IsBridgeId(0x0403, 0x1234, {}));
}

TEST(PortIdentity, LocationAndChipFollowTheBusAndTheRelease) {
  struct LocationCase {
    uint32_t bus;
    const char* path;
    uint8_t interfaceNumber;
    uint32_t location;
  };
  for (const LocationCase& c : std::vector<LocationCase>{{1, "2", 0, 0x121},
                                                         {3, "1.4", 1, 0x3142},
                                                         {2, "1.20.3", 0, 0x21F31},
                                                         {1, "", 0, 0x11}}) {
    EXPECT_EQ(LocationId(c.bus, c.path, c.interfaceNumber), c.location) << c.path;
  }
  struct ChipCase {
    uint16_t release;
    uint32_t code;
  };
  for (const ChipCase& c : std::vector<ChipCase>{{0x0600, 0x40360012},
                                                 {0x0400, 0x40360011},
                                                 {0x0200, 0x40360010},
                                                 {0x0700, 0x40360101},
                                                 {0x0800, 0x40360110},
                                                 {0x0900, 0x40360140},
                                                 {0x1000, 0x40360150},
                                                 {0x0601, 0x40360012},
                                                 {0x0300, 0x40360000},
                                                 {0x0000, 0x40360000}}) {
    EXPECT_EQ(ChipCodeFromRelease(c.release), c.code) << std::hex << c.release;
  }
}

class SysfsDiscovery : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ralvex-sysfs-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(root_); }
  std::string root_;
};

TEST_F(SysfsDiscovery, FindsBridgePortsInBusOrderWithOneDevicePerPort) {
  // A dual-port chip on bus 1 port 3, a single-port one on port 2, a foreign adapter, a listed
  // one, and a tty that is no USB device at all.
  FakeUsbPort dualA{.tty = "ttyUSB3",
                    .usbName = "1-3",
                    .pid = "6010",
                    .release = "0700",
                    .product = "Dual Bridge",
                    .serial = "DUAL01",
                    .devpath = "3",
                    .speed = "480",
                    .interfaceNumber = 0,
                    .latencyAttribute = true};
  FakeUsbPort dualB = dualA;
  dualB.tty = "ttyUSB1";
  dualB.interfaceNumber = 1;
  FakeUsbPort single{.tty = "ttyUSB7", .usbName = "1-2", .serial = ""};
  FakeUsbPort foreign{
      .tty = "ttyUSB0", .usbName = "1-4", .vid = "1a2b", .pid = "00ff", .devpath = "4"};
  for (const FakeUsbPort& port : {dualA, dualB, single, foreign}) AddFakeUsbPort(root_, port);
  std::filesystem::create_directories(root_ + "/devices/virtual/tty/tty1");
  std::filesystem::create_directory_symlink("../../devices/virtual/tty/tty1",
                                            root_ + "/class/tty/tty1");

  std::vector<HostPort> ports = DiscoverHostPorts(root_, {});
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].ttyName, "ttyUSB7");
  EXPECT_EQ(ports[1].ttyName, "ttyUSB3");
  EXPECT_EQ(ports[2].ttyName, "ttyUSB1");

  PortIdentity lone = IdentifyPort(ports[0]);
  EXPECT_EQ(lone.serial, "");
  EXPECT_EQ(lone.instanceId, "USB\\VID_0403&PID_6001\\1-2");
  EXPECT_EQ(lone.location, 0x121u);
  EXPECT_EQ(lone.packetSize, 64);

  PortIdentity a = IdentifyPort(ports[1]);
  PortIdentity b = IdentifyPort(ports[2]);
  EXPECT_EQ(a.serial, "DUAL01A");
  EXPECT_EQ(b.serial, "DUAL01B");
  EXPECT_EQ(a.description, "Dual Bridge A");
  EXPECT_EQ(b.description, "Dual Bridge B");
  EXPECT_EQ(a.instanceId, "USB\\VID_0403&PID_6010&MI_00\\DUAL01");
  EXPECT_EQ(b.instanceId, "USB\\VID_0403&PID_6010&MI_01\\DUAL01");
  EXPECT_EQ(b.interfacePath,
            "\\\\?\\usb#vid_0403&pid_6010&mi_01#DUAL01#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}");
  EXPECT_EQ(b.hardwareIds.front(), "USB\\VID_0403&PID_6010&REV_0700&MI_01");
  EXPECT_EQ(a.location, 0x131u);
  EXPECT_EQ(b.location, 0x132u);
  EXPECT_EQ(a.packetSize, 512);
  EXPECT_EQ(a.id, 0x04036010u);
  EXPECT_EQ(ports[1].portFolder.substr(ports[1].portFolder.size() - 8), "/ttyUSB3");

  std::vector<UsbIdPair> listed = {{0x1a2b, 0x00ff}};
  EXPECT_EQ(DiscoverHostPorts(root_, listed).size(), 4u);
}

TEST_F(SysfsDiscovery, LongStringsAreCutToWhatTheIdentityCarries) {
  AddFakeUsbPort(root_, {.product = std::string(80, 'p'), .serial = std::string(40, 's')});
  std::vector<HostPort> ports = DiscoverHostPorts(root_, {});
  ASSERT_EQ(ports.size(), 1u);
  PortIdentity identity = IdentifyPort(ports[0]);
  EXPECT_EQ(identity.serial, std::string(15, 's'));
  EXPECT_EQ(identity.description, std::string(63, 'p'));
}

TEST_F(SysfsDiscovery, BrokenEntriesAreLeftOut) {
  AddFakeUsbPort(root_, {});
  FakeUsbPort noRelease{.tty = "ttyUSB1", .usbName = "1-5", .devpath = "5"};
  AddFakeUsbPort(root_, noRelease);
  std::filesystem::remove(hostdev_test::FakeUsbDeviceFolder(root_, noRelease) / "bcdDevice");
  std::filesystem::create_directory_symlink("../../nowhere", root_ + "/class/tty/ttyUSB9");
  EXPECT_EQ(DiscoverHostPorts(root_, {}).size(), 1u);
  EXPECT_TRUE(DiscoverHostPorts(root_ + "/missing", {}).empty());
}

}  // namespace
}  // namespace ralvex::hostdev
