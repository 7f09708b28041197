// Device installation services and the configuration manager over a small tree: a root hub with
// two devices below it (one unplugged) and a device of another class on a second hub.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/devices.h"
#include "platform/win32.h"
#include "tests/platform/device_test_driver.h"

namespace ralvex::posix {
namespace {

using testing::kTestInterface;
using testing::kUsbClass;
using testing::TestDriver;

constexpr GUID kOtherInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr const char* kPathA =
    "\\\\?\\usb#vid_1234&pid_0001#a1#{11223344-5566-7788-99aa-bbccddeeff00}";
constexpr const char* kPathB =
    "\\\\?\\usb#vid_1234&pid_0001#b2#{11223344-5566-7788-99aa-bbccddeeff00}";

bool operator==(const GUID& a, const GUID& b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

class SetupApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDeviceTree();
    hub_driver_ = std::make_shared<TestDriver>();
    device_driver_ = std::make_shared<TestDriver>();
    other_driver_ = std::make_shared<TestDriver>();

    DeviceNodeInfo hub;
    hub.instance_id = "USB\\ROOT_HUB30\\4&1234&0";
    hub.setup_class = "USB";
    hub.setup_class_guid = kUsbClass;
    hub.description = "USB Root Hub (USB 3.0)";
    hub.hardware_ids = {"USB\\ROOT_HUB30&VID8086&PIDA2AF&REV0000", "USB\\ROOT_HUB30"};
    hub.driver = hub_driver_;
    hub_ = AddDeviceNode(hub);

    DeviceNodeInfo second_hub = hub;
    second_hub.instance_id = "USB\\ROOT_HUB20\\4&5678&0";
    second_hub.driver = other_driver_;
    second_hub_ = AddDeviceNode(second_hub);

    DeviceNodeInfo a;
    a.instance_id = "USB\\VID_1234&PID_0001\\A1";
    a.parent_id = hub.instance_id;
    a.setup_class = "USB";
    a.setup_class_guid = kUsbClass;
    a.description = "Bridge A";
    a.hardware_ids = {"USB\\VID_1234&PID_0001&REV_0600", "USB\\VID_1234&PID_0001"};
    a.compatible_ids = {"USB\\Class_FF&SubClass_FF&Prot_FF", "USB\\Class_FF"};
    a.interfaces = {{kTestInterface, kPathA}};
    a.driver = device_driver_;
    a_ = AddDeviceNode(a);  // lands after the first hub, before the second

    DeviceNodeInfo b = a;
    b.instance_id = "USB\\VID_1234&PID_0001\\B2";
    b.interfaces = {{kTestInterface, kPathB}};
    b.present = false;
    b_ = AddDeviceNode(b);

    DeviceNodeInfo port;
    port.instance_id = "SERBUS\\PORT\\0000";
    port.parent_id = second_hub.instance_id;
    port.setup_class = "Ports";
    port.setup_class_guid = kPortsClass;
    port.interfaces = {
        {kOtherInterface, "\\\\?\\serbus#port#0000#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"}};
    port_ = AddDeviceNode(port);
  }
  void TearDown() override { ClearDeviceTree(); }

  static SP_DEVINFO_DATA DevInfo() {
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    return data;
  }
  static SP_DEVICE_INTERFACE_DATA InterfaceData() {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof(data);
    return data;
  }
  // The DevInst values of a set, in its order.
  static std::vector<DEVINST> Members(HDEVINFO set) {
    std::vector<DEVINST> out;
    SP_DEVINFO_DATA data = DevInfo();
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) out.push_back(data.DevInst);
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    return out;
  }
  // The element of a set with this DevInst.
  static SP_DEVINFO_DATA Element(HDEVINFO set, DEVINST node) {
    SP_DEVINFO_DATA data = DevInfo();
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
      if (data.DevInst == node) return data;
    }
    ADD_FAILURE() << "node " << node << " not in set";
    return data;
  }

  std::shared_ptr<TestDriver> hub_driver_, device_driver_, other_driver_;
  DEVINST hub_ = 0, second_hub_ = 0, a_ = 0, b_ = 0, port_ = 0;
};

// ---- The tree ----

TEST_F(SetupApiTest, NodeNumbersAreNeverZeroNorReused) {
  std::vector<DEVINST> all = {hub_, second_hub_, a_, b_, port_};
  for (DEVINST n : all) EXPECT_NE(n, 0u);
  RemoveDeviceNode(port_);
  DeviceNodeInfo again;
  again.instance_id = "SERBUS\\PORT\\0000";
  DEVINST readded = AddDeviceNode(again);
  for (DEVINST n : all) EXPECT_NE(readded, n);
}

TEST_F(SetupApiTest, ChildrenEnumerateAfterTheirParentAndReplacingKeepsTheNumber) {
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{hub_, a_, b_, second_hub_, port_}));
  SetupDiDestroyDeviceInfoList(set);

  DeviceNodeInfo replacement;
  replacement.instance_id = "usb\\vid_1234&pid_0001\\a1";  // same node, other case
  replacement.parent_id = "USB\\ROOT_HUB30\\4&1234&0";
  EXPECT_EQ(AddDeviceNode(replacement), a_);
}

TEST_F(SetupApiTest, RemovingANodeRemovesItsChildren) {
  RemoveDeviceNode(hub_);
  HDEVINFO set = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{second_hub_, port_}));
  SetupDiDestroyDeviceInfoList(set);
}

// ---- Sets and interfaces ----

TEST_F(SetupApiTest, InterfaceEnumerationKeepsOnlyPresentDevicesAndEndsWith259) {
  HDEVINFO set = SetupDiGetClassDevsA(&kTestInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  ASSERT_NE(set, INVALID_HANDLE_VALUE);
  SP_DEVICE_INTERFACE_DATA data = InterfaceData();
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestInterface, 0, &data));
  EXPECT_TRUE(data.InterfaceClassGuid == kTestInterface);
  EXPECT_EQ(data.Flags & SPINT_ACTIVE, SPINT_ACTIVE);
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestInterface, 1, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{a_}));
  SetupDiDestroyDeviceInfoList(set);

  set = SetupDiGetClassDevsA(&kTestInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{a_, b_}));
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SetupApiTest, SetupClassSetsSelectBySetupClassGuid) {
  HDEVINFO set = SetupDiGetClassDevsExA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT, nullptr,
                                        nullptr, nullptr);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{port_}));
  // Extending an existing set adds what it lacks and returns the same set.
  EXPECT_EQ(
      SetupDiGetClassDevsExA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT, set, nullptr, nullptr),
      set);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{port_, hub_, a_, second_hub_}));
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SetupApiTest, NullGuidWithoutAllClassesIsRefused) {
  EXPECT_EQ(SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_PRESENT), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetupDiGetClassDevsExA(&kUsbClass, nullptr, nullptr, 0, nullptr, "remote", nullptr),
            INVALID_HANDLE_VALUE);
}

TEST_F(SetupApiTest, SetIsASnapshot) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  RemoveDeviceNode(a_);
  DeviceNodeInfo late;
  late.instance_id = "USB\\VID_9999&PID_0001\\LATE";
  late.setup_class_guid = kUsbClass;
  AddDeviceNode(late);
  EXPECT_EQ(Members(set), (std::vector<DEVINST>{hub_, a_, second_hub_}));
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SetupApiTest, DestroyedSetIsAnInvalidHandle) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  EXPECT_FALSE(CloseHandle(set));  // not a kernel object
  EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  SP_DEVINFO_DATA data = DevInfo();
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &data));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(SetupApiTest, EveryStructureNeedsItsExactSize) {
  HDEVINFO set = SetupDiGetClassDevsA(&kTestInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVINFO_DATA devinfo = DevInfo();
  devinfo.cbSize = sizeof(devinfo) + 4;
  EXPECT_FALSE(SetupDiEnumDeviceInfo(set, 0, &devinfo));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  SP_DEVICE_INTERFACE_DATA iface = InterfaceData();
  iface.cbSize = 28 + 32 - static_cast<DWORD>(sizeof(iface));  // the other bitness's size
  EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestInterface, 0, &iface));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  SP_DEVINSTALL_PARAMS_A params{};
  params.cbSize = 300;
  devinfo = Element(set, a_);
  EXPECT_FALSE(SetupDiGetDeviceInstallParamsA(set, &devinfo, &params));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  SP_DEVINFO_LIST_DETAIL_DATA_A detail{};
  detail.cbSize = 0;
  EXPECT_FALSE(SetupDiGetDeviceInfoListDetailA(set, &detail));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  SetupDiDestroyDeviceInfoList(set);
}

// ---- Interface detail: the two-call pattern ----

TEST_F(SetupApiTest, DetailSizingCallThenFillingCall) {
  HDEVINFO set = SetupDiGetClassDevsA(&kTestInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA iface = InterfaceData();
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestInterface, 0, &iface));

  DWORD required = 0;
  SP_DEVINFO_DATA devinfo = DevInfo();
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 0, &required, &devinfo));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(required, 4 + std::strlen(kPathA) + 1);
  EXPECT_EQ(devinfo.DevInst, a_);  // filled on the sizing call too
  EXPECT_TRUE(devinfo.ClassGuid == kUsbClass);

  std::vector<char> block(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block.data());
  detail->cbSize = required;  // the allocation's size is not the structure's
  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, required, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  EXPECT_FALSE(
      SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, required - 1, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, required, nullptr, nullptr));
  EXPECT_STREQ(detail->DevicePath, kPathA);

  EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &iface, nullptr, 10, &required, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SetupApiTest, DetailPathOpensTheDevice) {
  HDEVINFO set = SetupDiGetClassDevsA(&kTestInterface, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  SP_DEVICE_INTERFACE_DATA iface = InterfaceData();
  ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kTestInterface, 0, &iface));
  char block[256];
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(block);
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  ASSERT_TRUE(
      SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof(block), nullptr, nullptr));
  SetupDiDestroyDeviceInfoList(set);
  HANDLE file = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(device_driver_->OpenCount(), 1);
  CloseHandle(file);
}

// ---- Registry properties ----

TEST_F(SetupApiTest, HardwareIdsAreAMultiStringWithTheFinalDoubleNul) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA devinfo = Element(set, a_);
  const char expected[] = "USB\\VID_1234&PID_0001&REV_0600\0USB\\VID_1234&PID_0001\0";
  DWORD type = 0;
  DWORD required = 0;
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &devinfo, SPDRP_HARDWAREID, &type, nullptr, 0,
                                                 &required));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(required, sizeof(expected));  // both strings, their NULs and the list's NUL
  EXPECT_EQ(type, REG_MULTI_SZ);
  std::vector<BYTE> small(required - 1);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &devinfo, SPDRP_HARDWAREID, &type,
                                                 small.data(), static_cast<DWORD>(small.size()),
                                                 &required));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> buffer(required);
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &devinfo, SPDRP_HARDWAREID, &type,
                                                buffer.data(), required, nullptr));
  EXPECT_EQ(std::memcmp(buffer.data(), expected, sizeof(expected)), 0);

  BYTE description[64];
  ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &devinfo, SPDRP_DEVICEDESC, &type, description,
                                                sizeof(description), &required));
  EXPECT_EQ(type, REG_SZ);
  EXPECT_STREQ(reinterpret_cast<char*>(description), "Bridge A");
  EXPECT_EQ(required, sizeof("Bridge A"));
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(SetupApiTest, PropertyErrorsAbsentBadCodeAndNullDevinfo) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA hub = Element(set, hub_);
  BYTE buffer[256];
  DWORD required = 0;
  // Root hubs have no compatible IDs.
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &hub, SPDRP_COMPATIBLEIDS, nullptr, buffer,
                                                 sizeof(buffer), &required));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &hub, SPDRP_FRIENDLYNAME, nullptr, buffer,
                                                 sizeof(buffer), &required));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &hub, 0x1000, nullptr, buffer, sizeof(buffer),
                                                 &required));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_REG_PROPERTY);
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, nullptr, SPDRP_HARDWAREID, nullptr, buffer,
                                                 sizeof(buffer), &required));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SP_DEVINFO_DATA stranger = DevInfo();
  stranger.DevInst = port_;  // not in this set
  EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(set, &stranger, SPDRP_HARDWAREID, nullptr, buffer,
                                                 sizeof(buffer), &required));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetupDiDestroyDeviceInfoList(set);
}

// ---- Class installer: restart ----

class RestartTest : public SetupApiTest {
 protected:
  BOOL Restart(HDEVINFO set, SP_DEVINFO_DATA* devinfo, DWORD scope = DICS_FLAG_CONFIGSPECIFIC) {
    SP_PROPCHANGE_PARAMS params{};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = DICS_PROPCHANGE;
    params.Scope = scope;
    if (!SetupDiSetClassInstallParamsA(set, devinfo, &params.ClassInstallHeader, sizeof(params))) {
      return FALSE;
    }
    return SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, devinfo);
  }
  DWORD InstallFlags(HDEVINFO set, SP_DEVINFO_DATA* devinfo) {
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof(params);
    EXPECT_TRUE(SetupDiGetDeviceInstallParamsA(set, devinfo, &params));
    return params.Flags;
  }
};

TEST_F(RestartTest, PropertyChangeRestartsTheDeviceThroughItsDriver) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA devinfo = Element(set, a_);
  EXPECT_TRUE(Restart(set, &devinfo));
  EXPECT_EQ(device_driver_->restarts, 1);
  EXPECT_EQ(InstallFlags(set, &devinfo) & (DI_NEEDRESTART | DI_NEEDREBOOT), 0u);

  device_driver_->restart_needs_reboot = true;
  EXPECT_TRUE(Restart(set, &devinfo, DICS_FLAG_GLOBAL));  // a valid scope is ignored
  EXPECT_EQ(InstallFlags(set, &devinfo) & DI_NEEDRESTART, DI_NEEDRESTART);
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(RestartTest, RestartFailuresReachTheCaller) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA devinfo = Element(set, a_);
  device_driver_->restart_error = ERROR_ACCESS_DENIED;
  EXPECT_FALSE(Restart(set, &devinfo));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  EXPECT_FALSE(Restart(set, &devinfo, 7));  // no such scope
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  SP_DEVINFO_DATA hub = Element(set, hub_);  // no parameters were set on it
  EXPECT_FALSE(SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, &hub));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  device_driver_->restart_error = 0;
  RemoveDeviceNode(a_);  // gone since the set was taken
  EXPECT_FALSE(Restart(set, &devinfo));
  EXPECT_EQ(GetLastError(), ERROR_NO_SUCH_DEVINST);
  SetupDiDestroyDeviceInfoList(set);
}

TEST_F(RestartTest, ClassInstallParamsCheckHeaderAndSize) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_DATA devinfo = Element(set, a_);
  SP_PROPCHANGE_PARAMS params{};
  params.ClassInstallHeader.cbSize = sizeof(params);  // must be the header's size
  params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
  EXPECT_FALSE(
      SetupDiSetClassInstallParamsA(set, &devinfo, &params.ClassInstallHeader, sizeof(params)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_USER_BUFFER);
  params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
  EXPECT_FALSE(SetupDiSetClassInstallParamsA(set, &devinfo, &params.ClassInstallHeader, 12));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetupDiDestroyDeviceInfoList(set);
}

// ---- Class names, list detail ----

TEST_F(SetupApiTest, ClassGuidsFromNameMatchIgnoringCase) {
  GUID list[4] = {};
  DWORD required = 99;
  ASSERT_TRUE(SetupDiClassGuidsFromNameExA("usb", list, 4, &required, nullptr, nullptr));
  EXPECT_EQ(required, 1u);
  EXPECT_TRUE(list[0] == kUsbClass);

  ASSERT_TRUE(SetupDiClassGuidsFromNameExA("NoSuchClass", list, 4, &required, nullptr, nullptr));
  EXPECT_EQ(required, 0u);
}

TEST_F(SetupApiTest, ClassGuidsFromNameReportsRoomNeeded) {
  DeviceNodeInfo odd;  // a second class registered under the same name
  odd.instance_id = "USB\\ODD\\1";
  odd.setup_class = "Usb";
  odd.setup_class_guid = kPortsClass;
  AddDeviceNode(odd);
  GUID one{};
  DWORD required = 0;
  EXPECT_FALSE(SetupDiClassGuidsFromNameExA("USB", &one, 1, &required, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(required, 2u);
  EXPECT_FALSE(SetupDiClassGuidsFromNameExA(nullptr, &one, 1, &required, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SetupApiTest, ListDetailNamesTheLocalMachine) {
  HDEVINFO set = SetupDiGetClassDevsA(&kUsbClass, nullptr, nullptr, DIGCF_PRESENT);
  SP_DEVINFO_LIST_DETAIL_DATA_A detail{};
  detail.cbSize = sizeof(detail);
  detail.RemoteMachineHandle = INVALID_HANDLE_VALUE;
  detail.RemoteMachineName[0] = 'x';
  ASSERT_TRUE(SetupDiGetDeviceInfoListDetailA(set, &detail));
  EXPECT_EQ(detail.RemoteMachineHandle, nullptr);
  EXPECT_STREQ(detail.RemoteMachineName, "");
  EXPECT_TRUE(detail.ClassGuid == kUsbClass);
  SetupDiDestroyDeviceInfoList(set);
}

// ---- Configuration manager ----

TEST_F(SetupApiTest, DeviceIdCopiesOrReportsSmallBufferWithoutTerminator) {
  char buffer[MAX_DEVICE_ID_LEN];
  ASSERT_EQ(CM_Get_Device_ID_ExA(a_, buffer, MAX_DEVICE_ID_LEN, 0, nullptr), CR_SUCCESS);
  EXPECT_STREQ(buffer, "USB\\VID_1234&PID_0001\\A1");

  std::memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(CM_Get_Device_ID_ExA(a_, buffer, 5, 0, nullptr), CR_BUFFER_SMALL);
  EXPECT_EQ(std::string(buffer, 6), "USB\\V#");

  EXPECT_EQ(CM_Get_Device_ID_ExA(0, buffer, MAX_DEVICE_ID_LEN, 0, nullptr), CR_INVALID_DEVNODE);
  EXPECT_EQ(CM_Get_Device_ID_ExA(a_, buffer, MAX_DEVICE_ID_LEN, 1, nullptr), CR_INVALID_FLAG);
  EXPECT_EQ(CM_Get_Device_ID_ExA(a_, nullptr, MAX_DEVICE_ID_LEN, 0, nullptr), CR_INVALID_POINTER);
}

TEST_F(SetupApiTest, LocateFindsNodesIgnoringCaseAndTheRootForNullOrEmpty) {
  DEVINST node = 0;
  ASSERT_EQ(CM_Locate_DevNode_ExA(&node, nullptr, 0, nullptr), CR_SUCCESS);
  DEVINST root = node;
  char empty[] = "";
  ASSERT_EQ(CM_Locate_DevNode_ExA(&node, empty, 0, nullptr), CR_SUCCESS);
  EXPECT_EQ(node, root);
  char id[] = "usb\\root_hub30\\4&1234&0";
  ASSERT_EQ(CM_Locate_DevNode_ExA(&node, id, 0, nullptr), CR_SUCCESS);
  EXPECT_EQ(node, hub_);

  char gone[] = "USB\\VID_1234&PID_0001\\B2";  // unplugged
  EXPECT_EQ(CM_Locate_DevNode_ExA(&node, gone, 0, nullptr), CR_NO_SUCH_DEVNODE);
  EXPECT_EQ(node, 0u);
  EXPECT_EQ(CM_Locate_DevNode_ExA(&node, gone, CM_LOCATE_DEVNODE_PHANTOM, nullptr), CR_SUCCESS);
  EXPECT_EQ(node, b_);
  char unknown[] = "USB\\NOTHING\\0";
  EXPECT_EQ(CM_Locate_DevNode_ExA(&node, unknown, 0, nullptr), CR_NO_SUCH_DEVNODE);
  std::string too_long(MAX_DEVICE_ID_LEN, 'A');
  EXPECT_EQ(CM_Locate_DevNode_ExA(&node, too_long.data(), 0, nullptr), CR_INVALID_DEVICE_ID);
  EXPECT_EQ(CM_Locate_DevNode_ExA(nullptr, id, 0, nullptr), CR_INVALID_POINTER);
  EXPECT_EQ(CM_Locate_DevNode_ExA(&node, id, 0x100, nullptr), CR_INVALID_FLAG);
}

TEST_F(SetupApiTest, ReenumerateReachesTheSubtreeOnly) {
  EXPECT_EQ(CM_Reenumerate_DevNode_Ex(hub_, 0, nullptr), CR_SUCCESS);
  EXPECT_EQ(hub_driver_->reenumerations, 1);
  EXPECT_EQ(device_driver_->reenumerations, 2);  // both devices below the hub share a driver
  EXPECT_EQ(other_driver_->reenumerations, 0);

  DEVINST root = 0;
  CM_Locate_DevNode_ExA(&root, nullptr, 0, nullptr);
  EXPECT_EQ(CM_Reenumerate_DevNode_Ex(root, CM_REENUMERATE_SYNCHRONOUS, nullptr), CR_SUCCESS);
  EXPECT_EQ(other_driver_->reenumerations, 1);
  EXPECT_EQ(CM_Reenumerate_DevNode_Ex(0xDEAD, 0, nullptr), CR_INVALID_DEVNODE);
  EXPECT_EQ(CM_Reenumerate_DevNode_Ex(hub_, 0x80, nullptr), CR_INVALID_FLAG);
}

// A bus driver that plugs its child back in when asked to re-enumerate: the port-cycle pattern.
class ReplugDriver : public DeviceDriver {
 public:
  uint32_t Open(bool, std::unique_ptr<DeviceFile>*) override { return ERROR_ACCESS_DENIED; }
  void Reenumerate() override { SetDeviceNodePresent(child, true); }
  DEVINST child = 0;
};

TEST_F(SetupApiTest, ReenumerationMayChangeTheTreeFromInsideTheDriver) {
  auto bus = std::make_shared<ReplugDriver>();
  DeviceNodeInfo hub;
  hub.instance_id = "USB\\ROOT_HUB\\9";
  hub.driver = bus;
  DEVINST hub_node = AddDeviceNode(hub);
  bus->child = b_;
  ASSERT_EQ(CM_Reenumerate_DevNode_Ex(hub_node, 0, nullptr), CR_SUCCESS);
  DEVINST node = 0;
  char id[] = "USB\\VID_1234&PID_0001\\B2";
  EXPECT_EQ(CM_Locate_DevNode_ExA(&node, id, 0, nullptr), CR_SUCCESS);
}

}  // namespace
}  // namespace ralvex::posix
