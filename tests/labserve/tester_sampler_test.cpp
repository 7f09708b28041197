// A sampler on its own thread: it samples into its history, hands control requests to the tester
// on its own thread, takes a tester that went away down and back up, and puts a load it set back
// to 0 mA when it stops. The set of samplers starts one per new serial number and serves the model.
#include <gtest/gtest.h>

#include "lab/serve/sampler_set.h"
#include "lab/serve/tester_sampler.h"
#include "tests/labserve/serve_fakes.h"

namespace ralvex::lab {
namespace {

using test_support::Eventually;
using test_support::SharedPort;
using test_support::SharedTester;

constexpr SamplerTiming FAST{Millis(5), std::chrono::seconds(60)};

class Sampler : public ::testing::Test {
 protected:
  Sampler() {
    tester.profiles.count = 2;
    tester.profiles.entries[0] = {0x0011, 0, 5000, 3000};  // fixed, id 1
    tester.profiles.entries[1] = {0x0012, 0, 9000, 3000};  // fixed, id 2
  }
  void StartSampler() {
    sampler = std::make_unique<TesterSampler>(std::make_unique<SharedPort>(tester), "KORA1", 0,
                                              FAST, nullptr);
    sampler->Start();
  }
  bool Up() { return sampler->View().up; }

  SharedTester tester;
  std::unique_ptr<TesterSampler> sampler;
};

TEST_F(Sampler, SamplesIntoItsHistoryAndItsView) {
  StartSampler();
  ASSERT_TRUE(Eventually([&] { return sampler->Samples(std::nullopt).size() >= 3; }));
  const TesterView view = sampler->View();
  EXPECT_TRUE(view.up);
  EXPECT_TRUE(view.measured);
  EXPECT_EQ(view.lastRow.sample.voltageMv, 5000);
  EXPECT_EQ(view.snapshot.contract.setVoltage, 5000);
  EXPECT_EQ(view.snapshot.profiles.count, 2);
  EXPECT_EQ(view.failures, 0u);
  EXPECT_GE(view.exchanges, 3u);
  const std::vector<LogRow> rows = sampler->Samples(std::nullopt);
  for (std::size_t i = 1; i < rows.size(); ++i) {
    EXPECT_GE(rows[i].sample.elapsedS, rows[i - 1].sample.elapsedS);
  }
  EXPECT_LE(sampler->Samples(rows.back().sample.time).size(), rows.size());
}

TEST_F(Sampler, ControlRunsOnTheSamplersThreadAndTheLoadGoesBackAtStop) {
  StartSampler();
  ASSERT_TRUE(Eventually([&] { return Up(); }));
  ControlAction load;
  load.loadMa = 1500;
  const ControlOutcome outcome = sampler->Post(load).get();
  EXPECT_TRUE(outcome.up);
  EXPECT_TRUE(outcome.result.Accepted());
  ASSERT_TRUE(Eventually([&] { return sampler->View().lastRow.sample.setCurrentMa == 1500; }));
  sampler->Stop();
  const auto loads = tester.Get([](const SharedTester& t) { return t.loads; });
  EXPECT_EQ(loads, (std::vector<uint16_t>{1500, 0}));
  const auto threads = tester.Get([](const SharedTester& t) { return t.setterThreads; });
  ASSERT_EQ(threads.size(), 2u);
  EXPECT_NE(threads[0], std::this_thread::get_id());
  EXPECT_EQ(threads[0], threads[1]);
  EXPECT_GE(tester.Get([](const SharedTester& t) { return t.closes; }), 1);
  // A stopped sampler takes no more requests.
  EXPECT_FALSE(sampler->Post(load).get().up);
}

TEST_F(Sampler, ProfilesAreChosenByPositionAndCheckedAgainstTheList) {
  StartSampler();
  ASSERT_TRUE(Eventually([&] { return sampler->View().snapshot.profiles.count == 2; }));
  ControlAction profile;
  profile.kind = CONTROL_PROFILE;
  profile.profile = 2;
  EXPECT_TRUE(sampler->Post(profile).get().result.Accepted());
  profile.profile = 3;
  const ControlOutcome none = sampler->Post(profile).get();
  EXPECT_TRUE(none.up);
  EXPECT_FALSE(none.valid);
  const auto sets = tester.Get([](const SharedTester& t) { return t.profileSets; });
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].first, 2);  // the second entry's id
  EXPECT_EQ(sets[0].second, 9000);
  sampler->Stop();
  // Only a load goes back at the end.
  EXPECT_TRUE(tester.Get([](const SharedTester& t) { return t.loads.empty(); }));
}

TEST_F(Sampler, ATesterThatGoesAwayIsMarkedDownAndReopenedWhenBack) {
  StartSampler();
  ASSERT_TRUE(Eventually([&] { return Up(); }));
  tester.Change([](SharedTester& t) {
    t.lost = true;
    t.present = false;
  });
  ASSERT_TRUE(Eventually([&] { return !Up(); }));
  ControlAction load;
  load.loadMa = 100;
  EXPECT_FALSE(sampler->Post(load).get().up);  // nothing is sent to a tester that is down
  const std::size_t rowsWhileDown = sampler->Samples(std::nullopt).size();
  tester.Change([](SharedTester& t) { t.present = true; });
  ASSERT_TRUE(Eventually([&] { return Up(); }));
  ASSERT_TRUE(Eventually([&] { return sampler->Samples(std::nullopt).size() > rowsWhileDown; }));
  EXPECT_GE(tester.Get([](const SharedTester& t) { return t.reopens; }), 2);
}

TEST_F(Sampler, ThreeUnansweredExchangesInARowTakeItDown) {
  StartSampler();
  ASSERT_TRUE(Eventually([&] { return Up(); }));
  tester.Change([](SharedTester& t) {
    t.answering = false;
    t.present = false;
  });
  ASSERT_TRUE(Eventually([&] { return !Up(); }));
  const TesterView view = sampler->View();
  EXPECT_GE(view.failures, static_cast<uint64_t>(DOWN_AFTER_FAILURES));
  EXPECT_FALSE(view.up);
}

TEST(SamplerSetTest, OneSamplerPerNewSerialServingTheModel) {
  SharedTester a, b;
  std::map<std::string, SharedTester*> testers = {{"KORA1", &a}, {"KORA2", &b}};
  SamplerSet set(
      [&](const std::string& serial) { return std::make_unique<SharedPort>(*testers[serial]); },
      FAST, nullptr);
  testers::TesterList list;
  std::snprintf(list.serials[0], sizeof list.serials[0], "KORA1");
  EXPECT_EQ(set.Add(list, 1), 1u);
  std::snprintf(list.serials[1], sizeof list.serials[1], "KORA2");
  EXPECT_EQ(set.Add(list, 2), 1u);
  EXPECT_EQ(set.Add(list, 2), 0u);
  const std::vector<TesterView> views = set.Testers();
  ASSERT_EQ(views.size(), 2u);
  EXPECT_EQ(views[0].serial, "KORA1");
  EXPECT_EQ(views[1].snapshot.index, 1u);
  EXPECT_FALSE(set.Samples("KORA3", std::nullopt));
  EXPECT_FALSE(set.Control("KORA3", ControlAction{}));
  ASSERT_TRUE(Eventually([&] { return set.Testers()[1].up; }));
  ControlAction load;
  load.loadMa = 700;
  const auto outcome = set.Control("KORA2", load);
  ASSERT_TRUE(outcome);
  EXPECT_TRUE(outcome->result.Accepted());
  set.StopAll();
  EXPECT_EQ(b.Get([](const SharedTester& t) { return t.load; }), 0);
  EXPECT_TRUE(a.Get([](const SharedTester& t) { return t.loads.empty(); }));
}

}  // namespace
}  // namespace ralvex::lab
