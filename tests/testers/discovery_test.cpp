#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testers/discovery.h"
#include "tests/cli/capture.h"
#include "tests/testers/discovery_fake_devices.h"

namespace ralvex::testers {
namespace {

using cli::test_support::Capture;
using test_support::Fake;
using test_support::FakeListDevices;
using test_support::ResetFake;

int pausesTaken = 0;
void CountPause(DWORD) {
  ++pausesTaken;
}

std::vector<std::string> Listed(const TesterList& list) {
  return std::vector<std::string>(list.serials, list.serials + list.count);
}

TEST(DiscoveryScan, KeepsOnlyUpperCasePrefixInReportedOrder) {
  ResetFake({{"FT2H0001", "KORA91C2ZP", "kora1234", "KorA0001", "KORA4VLH7Y", "XKORA1"}});
  TesterList list;
  EXPECT_EQ(ScanTesters(list, FakeListDevices), 2u);
  EXPECT_EQ(Listed(list), (std::vector<std::string>{"KORA91C2ZP", "KORA4VLH7Y"}));
}

TEST(DiscoveryScan, SkipsUnreadableDevicesAndFailedCount) {
  ResetFake({{"KORABUSY01", "KORAFREE02"}});
  Fake().unreadable = {0};
  TesterList list;
  EXPECT_EQ(ScanTesters(list, FakeListDevices), 1u);
  EXPECT_STREQ(list.serials[0], "KORAFREE02");

  Fake().countFails = true;
  EXPECT_EQ(ScanTesters(list, FakeListDevices), 0u);
  EXPECT_EQ(list.count, 0u);
}

TEST(DiscoveryScan, RefillsFromEntryZero) {
  ResetFake({{"KORA1", "KORA2"}, {"KORA3"}});
  TesterList list;
  ASSERT_EQ(ScanTesters(list, FakeListDevices), 2u);
  ASSERT_EQ(ScanTesters(list, FakeListDevices), 1u);
  EXPECT_EQ(Listed(list), (std::vector<std::string>{"KORA3"}));
}

TEST(DiscoveryScan, StopsAtThirtyTwoTesters) {
  std::vector<std::string> devices;
  for (int i = 0; i < 40; ++i) devices.push_back("KORA" + std::to_string(1000 + i));
  ResetFake({devices});
  TesterList list;
  EXPECT_EQ(ScanTesters(list, FakeListDevices), TESTER_LIST_CAPACITY);
  EXPECT_STREQ(list.serials[31], "KORA1031");
}

TEST(DiscoveryScan, CountBeyondWhatAnswersIsHarmless) {
  ResetFake({{"KORA1"}});
  Fake().reportedCount = 500;  // indexes past the real devices fail and are skipped
  TesterList list;
  EXPECT_EQ(ScanTesters(list, FakeListDevices), 1u);
}

TEST(DiscoveryScan, LongSerialIsKeptTerminatedAtFifteen) {
  ResetFake({{"KORA0123456789ABCDEF"}});
  TesterList list;
  ASSERT_EQ(ScanTesters(list, FakeListDevices), 1u);
  EXPECT_STREQ(list.serials[0], "KORA0123456789A");
}

TEST(DiscoveryStartup, RetriesUntilATesterAppears) {
  ResetFake({{}, {}, {"FT2H0001"}, {"KORA4VLH7Y"}});
  pausesTaken = 0;
  TesterList list;
  EXPECT_EQ(StartupScan(list, FakeListDevices, CountPause), 1u);
  EXPECT_EQ(Fake().countQueries, 4);
  EXPECT_EQ(pausesTaken, 3);
}

TEST(DiscoveryStartup, GivesUpAfterTenPassesEachFollowedByAPause) {
  ResetFake({{"kora1234"}});
  pausesTaken = 0;
  TesterList list;
  EXPECT_EQ(StartupScan(list, FakeListDevices, CountPause), 0u);
  EXPECT_EQ(Fake().countQueries, 10);
  EXPECT_EQ(pausesTaken, 10);
}

TEST(DiscoveryListing, PrintsIndexEqualsSerialFromItsOwnPass) {
  ResetFake({{"KORA4VLH7Y"}, {"KORA4VLH7Y", "A1", "KORA91C2ZP"}});
  TesterList list;
  ASSERT_EQ(ScanTesters(list, FakeListDevices), 1u);
  const std::string out =
      Capture([&](std::FILE* f) { PrintTesterListing(f, list, FakeListDevices); });
  EXPECT_EQ(out, "0=KORA4VLH7Y\n1=KORA91C2ZP\n");
  EXPECT_EQ(list.count, 2u);

  ResetFake({{}});
  EXPECT_EQ(Capture([&](std::FILE* f) { PrintTesterListing(f, list, FakeListDevices); }), "");
}

class DiscoveryResolve : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake({{"KORA4VLH7Y", "KORA91C2ZP", "KORA91C2ZPX"}});
    ASSERT_EQ(ScanTesters(list_, FakeListDevices), 3u);
  }
  TesterList list_;
};

TEST_F(DiscoveryResolve, SerialNumbersAnyAndInvalidText) {
  auto r = ResolveDevice("KORA91C2ZP", list_, 3);
  EXPECT_EQ(r.resolution, DEVICE_FOUND);
  EXPECT_EQ(r.index, 1u);  // whole text compared: not the longer KORA91C2ZPX
  r = ResolveDevice("ANY", list_, 3);
  EXPECT_EQ(r.resolution, DEVICE_FOUND);
  EXPECT_EQ(r.index, 0u);
  EXPECT_EQ(ResolveDevice("XYZKORA1", list_, 3).resolution, DEVICE_NOT_FOUND);
  EXPECT_EQ(ResolveDevice("KORA", list_, 3).resolution, DEVICE_NOT_FOUND);
  EXPECT_EQ(ResolveDevice("KORA4VLH7Y0123456789", list_, 3).resolution, DEVICE_NOT_FOUND);
  EXPECT_EQ(ResolveDevice("", list_, 3).resolution, DEVICE_INVALID);
  EXPECT_EQ(ResolveDevice("ANYONE", list_, 3).resolution, DEVICE_INVALID);
  EXPECT_EQ(ResolveDevice("-C", list_, 3).resolution, DEVICE_INVALID);
}

TEST_F(DiscoveryResolve, OnlyTheStartupEntriesAreSearched) {
  EXPECT_EQ(ResolveDevice("KORA91C2ZPX", list_, 2).resolution, DEVICE_NOT_FOUND);
}

TEST_F(DiscoveryResolve, SerialAtRefusesPositionsOutsideTheList) {
  EXPECT_STREQ(SerialAt(list_, 3, 2), "KORA91C2ZPX");
  EXPECT_EQ(SerialAt(list_, 3, 3), nullptr);
  EXPECT_EQ(SerialAt(list_, 2, 2), nullptr);
  EXPECT_EQ(SerialAt(list_, 3, -1), nullptr);
  EXPECT_EQ(SerialAt(list_, 3, 255), nullptr);
  EXPECT_EQ(SerialAt(list_, 40, 32), nullptr);  // a count above the list never reads past it
}

}  // namespace
}  // namespace ralvex::testers
