// Device resets on a handle, the root-hub rescan and the restart of devices by USB identity.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "bridge/reset_reload.h"
#include "tests/bridge/core_fixture.h"

namespace ralvex::bridge::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Line(const std::string& id, const std::string& outcome) {
  std::string padded = id;
  if (padded.size() < 60) padded.resize(60, ' ');
  return padded + ": " + outcome + "\n";
}

TEST(ResetPatterns, ReloadPatternKeepsLeadingZerosInUpperCase) {
  EXPECT_EQ(ReloadPattern(0x1A2B, 0x00FF), "USB\\VID_1A2B&PID_00FF");
  EXPECT_EQ(ReloadPattern(0x1A, 0), "USB\\VID_001A&PID_0000");
  EXPECT_EQ(ReloadPattern(0, 0xFFFF), "USB\\VID_0000&PID_FFFF");
  EXPECT_EQ(ReloadPattern(0xabcd, 0x0403), "USB\\VID_ABCD&PID_0403");
}

TEST(ResetPatterns, RootHubPrefixIgnoresCaseAndSuffix) {
  EXPECT_TRUE(IsRootHubId("USB\\ROOT_HUB"));
  EXPECT_TRUE(IsRootHubId("usb\\root_hub30\\4&1234"));
  EXPECT_FALSE(IsRootHubId("USB\\ROOT_HU"));
  EXPECT_FALSE(IsRootHubId("USB\\VID_0403&PID_6001\\ROOT_HUB"));
  EXPECT_TRUE(EqualsIgnoringCase("usb\\vid_1a2b", "USB\\VID_1A2B"));
  EXPECT_FALSE(EqualsIgnoringCase("USB\\VID_1A2B&REV_0600", "USB\\VID_1A2B"));
}

class ResetHandle : public BenchTest {};

TEST_F(ResetHandle, EachResetSendsItsSlotWithoutPayload) {
  sim::BridgeDevice& device = bench_.AddDevice(DeviceConfig("AB123"));
  FT_HANDLE handle = OpenIndex(0);
  device.ClearRequests();
  EXPECT_EQ(FT_ResetDevice(handle), FT_OK);
  EXPECT_EQ(FT_StopInTask(handle), FT_OK);
  EXPECT_EQ(FT_RestartInTask(handle), FT_OK);
  EXPECT_EQ(FT_ResetPort(handle), FT_OK);
  EXPECT_THAT(Codes(device), ElementsAre(0x00220004u, 0x0022019Cu, 0x002201A0u, 0x002201A8u));
  for (const sim::DeviceRequest& request : device.Requests()) {
    EXPECT_TRUE(request.input.empty());
    EXPECT_EQ(request.outputLength, 0u);
  }
  device.ClearRequests();
  EXPECT_EQ(FT_CyclePort(handle), FT_OK);
  EXPECT_THAT(Codes(device), ElementsAre(0x00220040u));
}

TEST_F(ResetHandle, RefusedResetIsAnIoErrorAndTheHandleStaysOpen) {
  sim::BridgeDeviceConfig config = DeviceConfig("AB123");
  config.refuse = {1, 103};
  bench_.AddDevice(config);
  FT_HANDLE handle = OpenIndex(0);
  EXPECT_EQ(FT_ResetDevice(handle), FT_IO_ERROR);
  EXPECT_EQ(FT_StopInTask(handle), FT_IO_ERROR);
  EXPECT_EQ(FT_RestartInTask(handle), FT_OK);
}

class ResetBus : public BenchTest {};

TEST_F(ResetBus, RescanReenumeratesEveryKindOfRootHub) {
  bench_.Tree().ClearReenumerationLog();
  EXPECT_EQ(FT_Rescan(), FT_OK);
  EXPECT_EQ(bench_.Tree().ReenumerationCount(sim::ROOT_HUB_USB1), 1u);
  EXPECT_EQ(bench_.Tree().ReenumerationCount(sim::ROOT_HUB_USB2), 1u);
  EXPECT_EQ(bench_.Tree().ReenumerationCount(sim::ROOT_HUB_USB3), 1u);
}

TEST_F(ResetBus, CycledDeviceComesBackAfterARescan) {
  bench_.AddDevice(DeviceConfig("CYCLE1"));
  FT_HANDLE handle = OpenIndex(0);
  ASSERT_EQ(FT_CyclePort(handle), FT_OK);
  EXPECT_EQ(FT_Close(handle), FT_OK);
  DWORD count = 9;
  EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(FT_Rescan(), FT_OK);
  EXPECT_EQ(FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
  EXPECT_EQ(count, 1u);
}

TEST(ResetBusEmpty, RescanWithoutAUsbSetupClassFails) {
  posix::ClearDeviceTree();
  EXPECT_EQ(FT_Rescan(), FT_OTHER_ERROR);
}

TEST_F(ResetBus, ReloadRestartsDevicesWithThatIdentityAndReportsEach) {
  sim::BridgeDeviceConfig target = DeviceConfig("RELOAD1");
  target.vid = 0x1A2B;
  target.pid = 0x00FF;
  sim::BridgeDevice& device = bench_.AddDevice(target);
  sim::BridgeDeviceConfig reboot = DeviceConfig("RELOAD2");
  reboot.vid = 0x1A2B;
  reboot.pid = 0x00FF;
  reboot.restartNeedsReboot = true;
  bench_.AddDevice(reboot);
  sim::BridgeDeviceConfig refused = DeviceConfig("RELOAD3");
  refused.vid = 0x1A2B;
  refused.pid = 0x00FF;
  refused.restartFails = true;
  bench_.AddDevice(refused);
  bench_.AddDevice(DeviceConfig("OTHER4"));  // another identity: left alone

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FT_Reload(0x1A2B, 0x00FF), FT_OK);
  const std::string output = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(output, Line(bench_.Tree().Device(0).instance_id, "restarted") +
                        Line(bench_.Tree().Device(1).instance_id,
                             "restarted, takes effect after a reboot") +
                        Line(bench_.Tree().Device(2).instance_id, "could not be restarted"));
  EXPECT_EQ(bench_.Tree().Device(0).instance_id, "USB\\VID_1A2B&PID_00FF\\RELOAD1");
  (void)device;
}

TEST_F(ResetBus, ReloadMatchesWholeIdsIgnoringCase) {
  auto exactLower = std::make_shared<ScriptedDriver>(
      [](uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t*) { return 0u; });
  auto revisionOnly = std::make_shared<ScriptedDriver>(
      [](uint32_t, const void*, uint32_t, void*, uint32_t, uint32_t*) { return 0u; });
  PlugScripted("LOWER", exactLower, {"usb\\vid_1a2b&pid_00ff"});
  PlugScripted("REVONLY", revisionOnly, {"USB\\VID_1A2B&PID_00FF&REV_0600"});

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FT_Reload(0x1A2B, 0x00FF), FT_OK);
  const std::string output = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(exactLower->restarts, 1);
  EXPECT_EQ(revisionOnly->restarts, 0);
  EXPECT_EQ(output, Line("USB\\VID_0403&PID_6001\\LOWER", "restarted"));
}

TEST_F(ResetBus, ReloadOfZeroIdsRestartsUsb1ThenUsb2RootHubsOnly) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FT_Reload(0, 0), FT_OK);
  const std::string output = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(output, Line("USB\\ROOT_HUB", "restarted") + Line("USB\\ROOT_HUB20", "restarted"));
}

TEST_F(ResetBus, ReloadWithNothingMatchingPrintsNothing) {
  bench_.AddDevice(DeviceConfig("AB123"));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(FT_Reload(0x1234, 0x5678), FT_OK);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

}  // namespace
}  // namespace ralvex::bridge::testing
