#include "lab/step_measure.h"

#include <gtest/gtest.h>

#include "lab/sample_logger.h"
#include "tests/lab/lab_fakes.h"

namespace ralvex::lab {
namespace {

using test_support::FakeClock;
using test_support::FakeTester;

// A step on fakes: 10 ms exchanges, 200 ms settle, 100 ms hold.
struct StepMeasureTest : ::testing::Test {
  StepResult Measure(const StepSetting& setting) {
    return MeasureStep({tester, clock, stop, {Millis(200), Millis(100)}}, setting);
  }
  StepResult MeasureLoad(uint16_t loadMa) { return Measure(LoadStep(guard, loadMa)); }

  FakeClock clock;
  FakeTester tester{clock};
  StopRequests stop;
  LoadGuard guard{tester};
};

TEST_F(StepMeasureTest, HoldsBackToBackAfterTheSettleAndSumsTheReadings) {
  // Voltage 5000, 5010, ... and current 1000, 990, ... by call.
  tester.onStats = [&](int call) {
    tester.stats.voltage = static_cast<uint16_t>(5000 + 10 * call);
    tester.stats.measuredCurrent = static_cast<uint16_t>(1000 - 10 * call);
  };
  const StepResult step = MeasureLoad(1000);
  EXPECT_TRUE(step.setting.Accepted());
  EXPECT_EQ(tester.loads, (std::vector<uint16_t>{1000}));
  // One reading at the settle's first look (its second ends it), then ten 10 ms readings in the 100
  // ms hold.
  ASSERT_EQ(tester.statsCalls, 11);
  EXPECT_EQ(tester.statsAsked[1] - SteadyTime{}, Millis(200));
  EXPECT_EQ(step.samples, 10u);
  EXPECT_DOUBLE_EQ(step.voltageMv.min, 5010);
  EXPECT_DOUBLE_EQ(step.voltageMv.max, 5100);
  EXPECT_DOUBLE_EQ(step.voltageMv.Mean(), 5055);
  EXPECT_DOUBLE_EQ(step.currentMa.min, 900);
  EXPECT_DOUBLE_EQ(step.currentMa.max, 990);
  EXPECT_DOUBLE_EQ(step.powerMw.min, 5100 * 900 / 1000.0);
  EXPECT_DOUBLE_EQ(step.powerMw.max, 5010 * 990 / 1000.0);
  EXPECT_FALSE(step.contractLost);
  EXPECT_FALSE(step.interrupted);
  EXPECT_LE(clock.longestSleep, STOP_CHECK_PERIOD);
}

TEST_F(StepMeasureTest, ASettingNotTakenEndsTheStepWithoutReadings) {
  struct Case {
    link::SetResult answer;
    bool refused;
  };
  for (const Case& c :
       {Case{{true, link::SET_REFUSED}, true}, Case{{true, link::SET_MALFORMED}, true},
        Case{{false, std::nullopt}, false}}) {
    const StepResult step = Measure({[&] { return c.answer; }, 0});
    EXPECT_EQ(step.Refused(), c.refused);
    EXPECT_EQ(step.samples, 0u);
  }
  EXPECT_EQ(tester.statsCalls, 0);
}

TEST_F(StepMeasureTest, AnAnswerWithoutAVerdictCountsAsTaken) {
  const StepResult step = Measure({[] { return link::SetResult{true, std::nullopt}; }, 0});
  EXPECT_FALSE(step.Refused());
  EXPECT_EQ(step.samples, 10u);
}

TEST_F(StepMeasureTest, ZeroVoltsIsALostContractNamedByTheLastSetCurrent) {
  struct Case {
    int firstDownCall;  // GetStats calls from here on read 0 V
    uint16_t lostAtMa;
    uint64_t samples;
  };
  // Down in the hold: the set current read last. Down from the first look: the step's load.
  for (const Case& c : {Case{6, 1500, 5}, Case{0, 2000, 0}}) {
    tester.statsCalls = 0;
    tester.stats.voltage = 9000;
    tester.onStats = [&](int call) {
      if (call == c.firstDownCall) tester.stats.voltage = 0;
      if (call == c.firstDownCall - 1) tester.load = 1500;
    };
    const StepResult step = Measure({[] {
                                       return link::SetResult{true, link::SET_ACCEPTED};
                                     },
                                     2000});
    EXPECT_TRUE(step.contractLost);
    EXPECT_EQ(step.lostAtMa, c.lostAtMa);
    EXPECT_EQ(step.samples, c.samples);  // readings of 0 V are not the source's output
    if (c.samples > 0) {
      EXPECT_DOUBLE_EQ(step.voltageMv.min, 9000);
    }
  }
}

TEST_F(StepMeasureTest, FailedExchangesInTheHoldAreCounted) {
  tester.failCalls = {0, 3, 4};  // one in the settle, two in the hold
  const StepResult step = MeasureLoad(500);
  EXPECT_EQ(step.failedExchanges, 2u);
  EXPECT_EQ(step.samples, 8u);
}

TEST_F(StepMeasureTest, AStopRequestEndsTheStepWithinALook) {
  for (int stopAt : {0, 5}) {  // in the settle, in the hold
    StopRequests stopping;
    tester.statsCalls = 0;
    tester.onStats = [&](int call) {
      if (call == stopAt) stopping.Request();
    };
    const SteadyTime start = clock.Now();
    const StepResult step =
        MeasureStep({tester, clock, stopping, {Millis(5000), Millis(5000)}}, LoadStep(guard, 100));
    EXPECT_TRUE(step.interrupted);
    EXPECT_LE(clock.Now() - start, Millis(5000 + 100));
    EXPECT_LE(clock.longestSleep, STOP_CHECK_PERIOD);
  }
}

TEST(StepSettingTest, AProfileStepAsksForTheProfileAndVoltage) {
  FakeClock clock;
  FakeTester tester{clock};
  EXPECT_CALL(tester, SetProfile(5, 9020))
      .WillOnce(::testing::Return(link::SetResult{true, link::SET_ACCEPTED}));
  const StepSetting step = ProfileStep(tester, 5, 9020, 1500);
  EXPECT_EQ(step.loadMa, 1500);
  EXPECT_TRUE(step.apply().Accepted());
}

}  // namespace
}  // namespace ralvex::lab
