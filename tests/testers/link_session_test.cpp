// The session both programs run on an open link, against the emulated tester: the set operations
// hand on the tester's verdict, and Reopen reaches the same tester again by its serial number.
#include "testers/tester_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "sim/bench.h"
#include "sim/bridge_device.h"
#include "sim/tester/tester_peer.h"

namespace ralvex::testers {
namespace {

constexpr const char* SESSION_TESTER_SERIAL = "KORA0042";

class LinkSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    std::shared_ptr<sim::SerialPeer> tester =
        sim::MakeTesterPeer(nullptr, SESSION_TESTER_SERIAL, "", &error);
    ASSERT_NE(tester, nullptr) << error;
    sim::BridgeDeviceConfig config;
    config.serial = SESSION_TESTER_SERIAL;
    bench_.AddDevice(config, tester);
    ASSERT_TRUE(link_.Open(SESSION_TESTER_SERIAL));
  }
  void TearDown() override { link_.Close(); }

  sim::Bench bench_;
  link::TesterLink link_;
  LinkSession session_{link_, SESSION_TESTER_SERIAL};
};

TEST_F(LinkSessionTest, SetOperationsHandOnTheTestersVerdict) {
  struct Case {
    const char* name;
    std::function<link::SetResult(TesterSession&)> request;
    link::SetVerdict verdict;
  };
  const Case cases[] = {
      {"offered profile", [](TesterSession& s) { return s.SetProfile(1, 5000); },
       link::SET_ACCEPTED},
      {"profile beyond the offer", [](TesterSession& s) { return s.SetProfile(6, 5000); },
       link::SET_REFUSED},
      {"load", [](TesterSession& s) { return s.SetLoad(1000); }, link::SET_ACCEPTED},
      {"max load", [](TesterSession& s) { return s.StoreMaxLoad(1200); }, link::SET_ACCEPTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const link::SetResult result = c.request(session_);
    EXPECT_TRUE(result.answered);
    EXPECT_EQ(result.status, c.verdict);
  }
}

TEST_F(LinkSessionTest, ReopenReachesTheSameTesterAgain) {
  link_.Close();
  EXPECT_TRUE(session_.DeviceLost());
  ASSERT_TRUE(session_.Reopen());
  EXPECT_FALSE(session_.DeviceLost());
  link::StatsReply stats{};
  EXPECT_TRUE(session_.GetStats(stats));
}

TEST_F(LinkSessionTest, AFailedReopenLeavesTheLinkClosed) {
  LinkSession elsewhere(link_, "KORA9999");  // no such tester on the bench
  EXPECT_FALSE(elsewhere.Reopen());
  EXPECT_TRUE(elsewhere.DeviceLost());
  EXPECT_EQ(link_.Context(), nullptr);  // no thread or device kept for the next attempt
}

}  // namespace
}  // namespace ralvex::testers
