// The link against the emulated tester rather than a scripted one: every request the link builds
// must be understood by the tester, and every reply the tester builds must decode into the
// records the link hands out. A layout drift on either side shows up here.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <toml++/toml.h>

#include "link/tester_link.h"
#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/tester/tester_peer.h"

namespace ralvex::link {
namespace {

constexpr const char* EMULATED_TESTER_SERIAL = "KORA0007";

class EmulatedTester : public ::testing::Test {
 protected:
  // Brings up a tester built from `tomlText` (empty: the default tester) and opens the link.
  void Start(const char* tomlText) {
    std::string error;
    toml::table table = toml::parse(tomlText);
    std::shared_ptr<sim::SerialPeer> tester = sim::MakeTesterPeer(
        *tomlText != '\0' ? &table : nullptr, EMULATED_TESTER_SERIAL, "", &error);
    ASSERT_NE(tester, nullptr) << error;
    sim::BridgeDeviceConfig config;
    config.serial = EMULATED_TESTER_SERIAL;
    bench_.AddDevice(config, tester);
    ASSERT_TRUE(link_.Open(EMULATED_TESTER_SERIAL));
  }

  sim::Bench bench_;
  TesterLink link_;
};

TEST_F(EmulatedTester, ProfilesDecodeAndBothProfileKindsCanBeRequested) {
  Start("");
  EXPECT_EQ(link_.VersionLevel(), 21);

  ProfileList list{};
  ASSERT_TRUE(link_.GetProfiles(list));
  ASSERT_EQ(UsableProfileCount(list), 5u);
  const ProfileEntry* fixed = FindProfile(list, 2);
  const ProfileEntry* ranged = FindProfile(list, 5);
  ASSERT_NE(fixed, nullptr);
  ASSERT_NE(ranged, nullptr);
  EXPECT_EQ(FindProfile(list, 6), nullptr);
  EXPECT_FALSE(IsRangedProfile(*fixed));
  EXPECT_EQ(ProfileIdOf(fixed->descriptor), 2);
  EXPECT_EQ(fixed->voltage, 9000);
  EXPECT_TRUE(IsRangedProfile(*ranged));
  EXPECT_EQ(ProfileIdOf(ranged->descriptor), 5);
  EXPECT_EQ(ProfileClassOf(ranged->descriptor), 5);
  EXPECT_EQ(ProfileSubtypeOf(ranged->descriptor), 3);
  EXPECT_EQ(ranged->minVoltage, 3300);
  EXPECT_EQ(ranged->voltage, 11000);
  EXPECT_EQ(ranged->current, 3000);

  // A ranged profile at the user's voltage.
  ASSERT_TRUE(
      link_.SetProfile(ProfileIdOf(ranged->descriptor), SetProfileVoltage(*ranged, 7500)).answered);
  ConnectionReply connection{};
  ASSERT_TRUE(link_.GetConnection(connection));
  EXPECT_EQ(connection.status, 1);
  EXPECT_EQ(connection.profileIndex, 5);
  EXPECT_EQ(connection.profileClass, 5);
  EXPECT_EQ(connection.profileSubtype, 3);
  EXPECT_EQ(connection.setVoltage, 7500);
  EXPECT_EQ(connection.maxCurrent, 3000);
  EXPECT_EQ(connection.maxPower, 22500u);

  // A fixed profile at its own voltage, whatever the user asked for.
  ASSERT_TRUE(
      link_.SetProfile(ProfileIdOf(fixed->descriptor), SetProfileVoltage(*fixed, 7500)).answered);
  ASSERT_TRUE(link_.GetConnection(connection));
  EXPECT_EQ(connection.profileIndex, 2);
  EXPECT_EQ(connection.profileSubtype, 0);
  EXPECT_EQ(connection.setVoltage, 9000);
}

TEST_F(EmulatedTester, SetProfileTellsAcceptedFromRefused) {
  Start("");
  const struct {
    uint8_t profileId;
    uint16_t voltageMv;
    SetVerdict status;
  } cases[] = {
      {2, 9000, SET_ACCEPTED},
      {5, 7500, SET_ACCEPTED},  // inside the ranged profile
      {5, 12000, SET_REFUSED},  // beyond its range
      {6, 5000, SET_REFUSED},   // the tester offers five profiles
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << int{c.profileId} << " at " << c.voltageMv << " mV");
    const SetResult result = link_.SetProfile(c.profileId, c.voltageMv);
    EXPECT_TRUE(result.answered);
    EXPECT_EQ(result.status, c.status);
  }
  EXPECT_TRUE(link_.SetLoad(1000).Accepted());
}

TEST_F(EmulatedTester, LoadAndBothMaxLoadFormsReachTheTester) {
  Start("cable_milliohm = 0\nambient = 25");
  link_.SetLoad(2000);
  StatsReply stats{};
  ASSERT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.setCurrent, 2000);
  EXPECT_EQ(stats.voltage, 5000);
  EXPECT_GT(stats.measuredCurrent, 1900);
  EXPECT_LE(stats.measuredCurrent, 2000);

  link_.SetMaxLoad(1200);  // E0 01 02 lo hi: a limit
  ASSERT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.setCurrent, 1200);

  link_.SetMaxLoad(0);  // E0 01 00: back to the automatic limits
  ASSERT_TRUE(link_.GetStats(stats));
  EXPECT_EQ(stats.setCurrent, 2000);
}

TEST_F(EmulatedTester, NotificationAheadOfTheAcknowledgementIsNotTheReply) {
  Start("notify = true");
  // The contract change is announced (0x20) before the 0x0D acknowledgement.
  EXPECT_TRUE(link_.SetProfile(2, 9000).answered);
  ConnectionReply connection{};
  ASSERT_TRUE(link_.GetConnection(connection));
  EXPECT_EQ(connection.profileIndex, 2);
}

}  // namespace
}  // namespace ralvex::link
