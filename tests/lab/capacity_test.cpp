#include "lab/capacity_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>
#include <vector>

#include "lab/lab_options.h"
#include "tests/cli/capture.h"
#include "tests/lab/lab_fakes.h"

namespace ralvex::lab {
namespace {

using test_support::FakeClock;
using test_support::FakeTester;
using ::testing::Return;

LogRow Reading(double s, uint16_t mv) {
  LogRow row;
  row.sample.elapsedS = s;
  row.sample.voltageMv = mv;
  return row;
}

TEST(SpentRuleTest, EndsOnALongLossOrThreeReadingsUnderTheCutoff) {
  struct Case {
    const char* what;
    std::vector<uint16_t> volts;  // one reading every 0.5 s
    const char* ends;             // at the last reading; null: goes on
    double deliveredS;
  };
  for (const Case& c : {
           Case{"steady", {5000, 5000, 5000}, nullptr, 1.0},
           Case{"down 1 s", {5000, 0, 0, 0}, nullptr, 0},
           Case{"down over 1 s", {5000, 0, 0, 0, 0}, "source_lost", 0},
           Case{"back in time", {5000, 0, 0, 5000, 0, 0, 0}, nullptr, 1.5},
           Case{"three under", {5000, 4000, 4000, 4000}, "cutoff", 1.5},
           Case{"two under, then over", {4000, 4000, 5000, 4000}, nullptr, 1.5},
           Case{"a loss is not under the cutoff", {4000, 0, 4000}, nullptr, 1.0},
       }) {
    CapacityOptions options;
    options.cutoffMv = 4500;
    options.recoverTimeoutMs = 1000;
    SpentRule rule(options);
    const char* ended = nullptr;
    for (size_t i = 0; i < c.volts.size(); ++i) {
      ended = rule(Reading(0.5 * static_cast<double>(i), c.volts[i]));
      if (i + 1 < c.volts.size()) {
        EXPECT_EQ(ended, nullptr) << c.what << " at " << i;
      }
    }
    EXPECT_STREQ(ended == nullptr ? "" : ended, c.ends == nullptr ? "" : c.ends) << c.what;
    EXPECT_DOUBLE_EQ(rule.DeliveredS(), c.deliveredS) << c.what;
  }
}

// A capacity run on fakes: a source that reads 5 V at 1 A and drops its contract (readings of 0)
// at the 51st reading; readings every 100 ms.
struct CapacityRunTest : ::testing::Test {
  CapacityRunTest() {
    tester.profiles.count = 2;
    tester.profiles.entries[0] = {0x0051, 0, 5000, 3000};
    tester.profiles.entries[1] = {0x0352, 3300, 11000, 3000};
    tester.stats.measuredCurrent = 1000;
    tester.onStats = [&](int call) {
      if (call == 50) tester.stats.voltage = tester.stats.measuredCurrent = 0;
    };
    options.loadMa = 1000;
    options.recoverTimeoutMs = 1000;
    options.json = ::testing::TempDir() + "/capacity.json";
  }
  int Run() {
    int code = -1;
    std::FILE* out = std::tmpfile();
    err = cli::test_support::Capture([&](std::FILE* e) {
      code = RunCapacity({tester, options, serial, clock, stop, out, e, nullptr});
    });
    text = cli::test_support::ReadAndClose(out);
    return code;
  }

  FakeClock clock;
  FakeTester tester{clock};
  StopRequests stop;
  CapacityOptions options;
  std::string serial = "KORA4VLH7Y", err, text;
};

TEST_F(CapacityRunTest, ReportsWhatTheSourceDeliveredUntilItGaveOut) {
  EXPECT_EQ(Run(), LAB_EXIT_DONE) << err;
  EXPECT_EQ(tester.loads, (std::vector<uint16_t>{1000, 0}));
  std::ifstream file(options.json);
  const nlohmann::json json = nlohmann::json::parse(file);
  EXPECT_EQ(json["schema"], "ralvex.capacity/1");
  EXPECT_EQ(json["stopped"], "source_lost");
  EXPECT_EQ(json["tester"], serial);
  // 49 intervals of 0.1 s at 5 W, and half of the last one into the loss.
  EXPECT_NEAR(json["duration_s"].get<double>(), 4.9, 1e-9);
  EXPECT_NEAR(json["energy_mwh"].get<double>(), 5000 * 4.95 / 3600, 1e-6);
  EXPECT_NEAR(json["charge_mah"].get<double>(), 1000 * 4.95 / 3600, 1e-6);
  EXPECT_NEAR(json["average_power_w"].get<double>(), 5 * 4.95 / 4.9, 1e-6);
  EXPECT_TRUE(json["profile"].is_null());
  EXPECT_NE(text.find("Stopped:        the source gave out"), std::string::npos) << text;
  EXPECT_NE(text.find("Energy:         0.0069 Wh"), std::string::npos) << text;
}

TEST_F(CapacityRunTest, TheTimeLimitAndTheCutoffEndItToo) {
  options.maxDurationS = 1.0;
  EXPECT_EQ(Run(), LAB_EXIT_DONE);
  EXPECT_NE(text.find("the time limit"), std::string::npos) << text;
  options.maxDurationS.reset();
  options.cutoffMv = 6000;
  EXPECT_EQ(Run(), LAB_EXIT_DONE);
  EXPECT_NE(text.find("the voltage stayed under 6000 mV"), std::string::npos) << text;
  EXPECT_EQ(tester.load, 0);
}

TEST_F(CapacityRunTest, AChosenProfileIsSetFirstAndLeftForProfileOne) {
  options.profile = 2;
  options.voltageMv = 9000;
  ::testing::InSequence order;
  EXPECT_CALL(tester, SetProfile(2, 9000))
      .WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  EXPECT_CALL(tester, SetProfile(1, 5000))
      .WillOnce(Return(link::SetResult{true, link::SET_ACCEPTED}));
  EXPECT_EQ(Run(), LAB_EXIT_DONE) << err;
}

TEST_F(CapacityRunTest, AProfileItCannotUseIsRefusedBeforeAnyLoad) {
  struct Case {
    uint8_t profile;
    std::optional<uint16_t> voltage;
    int code;
    const char* says;
  };
  for (const Case& c : {Case{3, std::nullopt, LAB_EXIT_INVALID_PROFILE, "profile 3 does not exist"},
                        Case{2, std::nullopt, LAB_EXIT_INVALID_COMMAND_LINE, "give --voltage"},
                        Case{2, 9010, LAB_EXIT_INVALID_COMMAND_LINE, "give --voltage"},
                        Case{2, 12000, LAB_EXIT_INVALID_COMMAND_LINE, "12000 mV leaves"},
                        Case{1, 9000, LAB_EXIT_INVALID_COMMAND_LINE, "fixed at 5000 mV"}}) {
    options.profile = c.profile;
    options.voltageMv = c.voltage;
    EXPECT_EQ(Run(), c.code);
    EXPECT_NE(err.find(c.says), std::string::npos) << err;
  }
  EXPECT_TRUE(tester.loads.empty());
}

TEST_F(CapacityRunTest, ARefusedProfileEndsWithFour) {
  options.profile = 1;
  EXPECT_CALL(tester, SetProfile(1, 5000))
      .WillRepeatedly(Return(link::SetResult{true, link::SET_REFUSED}));
  EXPECT_EQ(Run(), LAB_EXIT_INVALID_PROFILE);
  EXPECT_NE(err.find("the tester refused profile 1 at 5000 mV"), std::string::npos) << err;
  EXPECT_TRUE(tester.loads.empty());
}

}  // namespace
}  // namespace ralvex::lab
