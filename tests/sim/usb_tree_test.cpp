#include "sim/usb_tree.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

#include "tests/sim/usb_tree_setupapi.h"

namespace ralvex::sim {
namespace {

using ::testing::ElementsAre;
using namespace testing_setupapi;

bool SameGuid(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

TEST(UsbIdsTest, InstanceAndHardwareIdsUseUpperCaseHex) {
  EXPECT_EQ(UsbInstanceId(0x0403, 0x6001, "KORA4VLH7Y"), "USB\\VID_0403&PID_6001\\KORA4VLH7Y");
  EXPECT_EQ(UsbInstanceId(0xabcd, 0x00ef, "x"), "USB\\VID_ABCD&PID_00EF\\x");
  EXPECT_THAT(UsbHardwareIds(0x0403, 0x6014, 0x0900),
              ElementsAre("USB\\VID_0403&PID_6014&REV_0900", "USB\\VID_0403&PID_6014"));
  EXPECT_THAT(UsbHardwareIds(0x1a2b, 0x00ff, 0x0a0b),
              ElementsAre("USB\\VID_1A2B&PID_00FF&REV_0A0B", "USB\\VID_1A2B&PID_00FF"));
}

TEST(UsbIdsTest, InterfacePathIsLowerCaseExceptTheInstancePart) {
  EXPECT_EQ(BridgeInterfacePath(0x0403, 0xABCD, "KORA1"),
            "\\\\?\\usb#vid_0403&pid_abcd#KORA1#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}");
}

TEST(UsbIdsTest, SerialsThatCannotStandInAnId) {
  EXPECT_TRUE(SerialUsableInInstanceId("A"));
  EXPECT_TRUE(SerialUsableInInstanceId("5&2f1c&0"));
  EXPECT_FALSE(SerialUsableInInstanceId(""));
  EXPECT_FALSE(SerialUsableInInstanceId("A B"));
  EXPECT_FALSE(SerialUsableInInstanceId("A\\B"));
  EXPECT_FALSE(SerialUsableInInstanceId("A#B"));
  EXPECT_FALSE(SerialUsableInInstanceId("A/B"));
  EXPECT_FALSE(SerialUsableInInstanceId("\x7f"));
  EXPECT_FALSE(SerialUsableInInstanceId(std::string(MAX_DEVICE_ID_LEN, 'A')));
}

TEST(UsbIdsTest, LocationsFollowThePort) {
  EXPECT_EQ(UsbTree::LocationOfPort(1), 0x0111u);
  EXPECT_EQ(UsbTree::LocationOfPort(2), 0x0121u);
  EXPECT_NE(UsbTree::LocationOfPort(16), UsbTree::LocationOfPort(1));
}

// A driver that only counts what the tree sends it.
class CountingDriver final : public posix::DeviceDriver {
 public:
  uint32_t Open(bool, std::unique_ptr<posix::DeviceFile>*) override { return ERROR_ACCESS_DENIED; }
  void Reenumerate() override { ++reenumerations; }
  std::atomic<int> reenumerations{0};
};

class UsbTreeTest : public ::testing::Test {
 protected:
  void SetUp() override { posix::ClearDeviceTree(); }
  void TearDown() override { posix::ClearDeviceTree(); }

  static UsbDeviceIdentity Identity(const std::string& serial, uint16_t pid = 0x6001) {
    UsbDeviceIdentity identity;
    identity.vid = 0x0403;
    identity.pid = pid;
    identity.rev = 0x0600;
    identity.serial = serial;
    identity.description = "Bridge " + serial;
    return identity;
  }
};

TEST_F(UsbTreeTest, InterfacesEnumerateInPlugOrderWithTheirDevices) {
  UsbTree tree;
  auto driver = std::make_shared<CountingDriver>();
  const PluggedDevice zed = tree.Plug(Identity("ZED"), driver);
  const PluggedDevice alpha = tree.Plug(Identity("ALPHA", 0x6015), driver);
  const PluggedDevice mid = tree.Plug(Identity("MID"), driver);
  EXPECT_EQ(zed.port, 1u);
  EXPECT_EQ(mid.port, 3u);

  EXPECT_THAT(InterfacePaths(BRIDGE_INTERFACE_GUID),
              ElementsAre(zed.interfacePath, alpha.interfacePath, mid.interfacePath));
  EXPECT_EQ(alpha.interfacePath,
            "\\\\?\\usb#vid_0403&pid_6015#ALPHA#{219d0508-57a8-4ff5-97a1-bd86587c6c7e}");

  // The device-information element with the interface's index is the device that owns it.
  const std::vector<ListedDevice> owners = InterfaceOwners(BRIDGE_INTERFACE_GUID);
  ASSERT_EQ(owners.size(), 3u);
  EXPECT_EQ(owners[0].node, zed.node);
  EXPECT_EQ(owners[1].instance_id, "USB\\VID_0403&PID_6015\\ALPHA");
  EXPECT_EQ(owners[2].node, mid.node);
}

TEST_F(UsbTreeTest, DeviceNodesCarryIdsAndDescription) {
  UsbTree tree;
  const PluggedDevice plugged = tree.Plug(Identity("KORA1"), std::make_shared<CountingDriver>());
  EXPECT_THAT(Property(plugged.node, SPDRP_HARDWAREID),
              ElementsAre("USB\\VID_0403&PID_6001&REV_0600", "USB\\VID_0403&PID_6001"));
  EXPECT_THAT(Property(plugged.node, SPDRP_COMPATIBLEIDS),
              ElementsAre("USB\\Class_FF&SubClass_FF&Prot_FF", "USB\\Class_FF&SubClass_FF",
                          "USB\\Class_FF"));
  EXPECT_THAT(Property(plugged.node, SPDRP_DEVICEDESC), ElementsAre("Bridge KORA1"));
}

TEST_F(UsbTreeTest, RootHubsAndDevicesAreInSetupClassUsb) {
  UsbTree tree;
  const PluggedDevice device = tree.Plug(Identity("KORA1"), std::make_shared<CountingDriver>());
  GUID classes[4] = {};
  DWORD required = 0;
  ASSERT_TRUE(SetupDiClassGuidsFromNameExA("usb", classes, 4, &required, nullptr, nullptr));
  ASSERT_EQ(required, 1u);
  EXPECT_TRUE(SameGuid(classes[0], USB_SETUP_CLASS_GUID));
  std::vector<std::string> ids;
  for (const ListedDevice& listed : SetupClassDevices(USB_SETUP_CLASS_GUID)) {
    ids.push_back(listed.instance_id);
  }
  EXPECT_THAT(ids, ::testing::UnorderedElementsAre("USB\\ROOT_HUB", "USB\\ROOT_HUB20",
                                                   "USB\\ROOT_HUB30", device.instance_id));
}

TEST_F(UsbTreeTest, RootHubHardwareIdsHaveNoUnderscoreAndNoCompatibleIds) {
  UsbTree tree;
  EXPECT_THAT(Property(tree.HubNode(ROOT_HUB_USB3), SPDRP_HARDWAREID),
              ElementsAre("USB\\ROOT_HUB30&VID8086&PIDA2AF&REV0000",
                          "USB\\ROOT_HUB30&VID8086&PIDA2AF", "USB\\ROOT_HUB30"));
  EXPECT_THAT(Property(tree.HubNode(ROOT_HUB_USB1), SPDRP_HARDWAREID).back(), "USB\\ROOT_HUB");
  EXPECT_THAT(Property(tree.HubNode(ROOT_HUB_USB2), SPDRP_HARDWAREID).back(), "USB\\ROOT_HUB20");
  DWORD error = 0;
  EXPECT_TRUE(Property(tree.HubNode(ROOT_HUB_USB2), SPDRP_COMPATIBLEIDS, &error).empty());
  EXPECT_EQ(error, ERROR_INVALID_DATA);
  EXPECT_EQ(InstanceIdOf(tree.HubNode(ROOT_HUB_USB1)), RootHubInstanceId(ROOT_HUB_USB1));
}

TEST_F(UsbTreeTest, HubCountsReenumerationsAndPassesThemToItsDevices) {
  UsbTree tree;
  auto first = std::make_shared<CountingDriver>();
  auto second = std::make_shared<CountingDriver>();
  tree.Plug(Identity("A"), first);
  tree.Plug(Identity("B"), second);

  DEVINST hub = 0;
  char id[] = "usb\\root_hub30";  // located case-insensitively
  ASSERT_EQ(CM_Locate_DevNode_ExA(&hub, id, 0, nullptr), CR_SUCCESS);
  ASSERT_EQ(hub, tree.HubNode(ROOT_HUB_USB3));
  ASSERT_EQ(CM_Reenumerate_DevNode_Ex(hub, 0, nullptr), CR_SUCCESS);

  EXPECT_EQ(tree.ReenumerationCount(ROOT_HUB_USB3), 1u);
  EXPECT_EQ(tree.ReenumerationCount(ROOT_HUB_USB1), 0u);
  EXPECT_EQ(tree.ReenumerationCount(ROOT_HUB_USB2), 0u);
  EXPECT_THAT(tree.ReenumerationLog(), ElementsAre("USB\\ROOT_HUB30"));
  EXPECT_GE(first->reenumerations.load(), 1);
  EXPECT_GE(second->reenumerations.load(), 1);

  ASSERT_EQ(CM_Reenumerate_DevNode_Ex(tree.HubNode(ROOT_HUB_USB1), 0, nullptr), CR_SUCCESS);
  EXPECT_THAT(tree.ReenumerationLog(), ElementsAre("USB\\ROOT_HUB30", "USB\\ROOT_HUB"));
  tree.ClearReenumerationLog();
  EXPECT_TRUE(tree.ReenumerationLog().empty());
  EXPECT_EQ(tree.ReenumerationCount(ROOT_HUB_USB3), 1u);
}

TEST_F(UsbTreeTest, ReenumeratingAHubOutlivingItsDeviceIsHarmless) {
  UsbTree tree;
  {
    auto gone = std::make_shared<CountingDriver>();
    const PluggedDevice plugged = tree.Plug(Identity("GONE"), gone);
    posix::RemoveDeviceNode(plugged.node);
  }
  EXPECT_EQ(CM_Reenumerate_DevNode_Ex(tree.HubNode(ROOT_HUB_USB3), 0, nullptr), CR_SUCCESS);
  EXPECT_EQ(tree.ReenumerationCount(ROOT_HUB_USB3), 1u);
}

TEST_F(UsbTreeTest, SerialsThatCannotNameADeviceGetAPortInstancePart) {
  UsbTree tree;
  auto driver = std::make_shared<CountingDriver>();
  const PluggedDevice first = tree.Plug(Identity("SAME"), driver);
  const PluggedDevice twin = tree.Plug(Identity("same"), driver);  // IDs compare without case
  const PluggedDevice blank = tree.Plug(Identity(""), driver);
  const PluggedDevice odd = tree.Plug(Identity("A#B"), driver);
  EXPECT_EQ(first.instance_id, "USB\\VID_0403&PID_6001\\SAME");
  EXPECT_EQ(twin.instance_id, "USB\\VID_0403&PID_6001\\5&2f1c3a80&0&2");
  EXPECT_EQ(blank.instance_id, "USB\\VID_0403&PID_6001\\5&2f1c3a80&0&3");
  EXPECT_EQ(odd.instance_id, "USB\\VID_0403&PID_6001\\5&2f1c3a80&0&4");
  // All four are separate nodes, listed in order.
  EXPECT_THAT(
      InterfacePaths(BRIDGE_INTERFACE_GUID),
      ElementsAre(first.interfacePath, twin.interfacePath, blank.interfacePath, odd.interfacePath));
}

TEST_F(UsbTreeTest, DeviceUnpluggedFromTheStartIsNotListed) {
  UsbTree tree;
  UsbDeviceIdentity away = Identity("AWAY");
  away.present = false;
  tree.Plug(away, std::make_shared<CountingDriver>());
  const PluggedDevice here = tree.Plug(Identity("HERE"), std::make_shared<CountingDriver>());
  EXPECT_THAT(InterfacePaths(BRIDGE_INTERFACE_GUID), ElementsAre(here.interfacePath));
}

TEST_F(UsbTreeTest, DestroyingTheTreeTakesItsNodesAway) {
  {
    UsbTree tree;
    tree.Plug(Identity("A"), std::make_shared<CountingDriver>());
    EXPECT_EQ(InterfacePaths(BRIDGE_INTERFACE_GUID).size(), 1u);
  }
  EXPECT_TRUE(InterfacePaths(BRIDGE_INTERFACE_GUID).empty());
  EXPECT_TRUE(SetupClassDevices(USB_SETUP_CLASS_GUID).empty());
}

}  // namespace
}  // namespace ralvex::sim
