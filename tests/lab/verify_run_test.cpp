#include "lab/verify_run.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lab/lab_options.h"
#include "tests/cli/capture.h"
#include "tests/lab/lab_fakes.h"

namespace ralvex::lab {
namespace {

using test_support::FakeClock;

// A charger behind a tester: fixed 5, 9 and 15 V and a 3.3-5.3 V ranged profile, each delivering
// its voltage plus `offsetMv`, less 10 mV per ampere. A profile with a trip current drops its
// contract above it and comes back on profile 1 after `recover`.
struct ChargerProfile {
  uint16_t descriptor;
  uint16_t minVoltage, voltage, current;
  int offsetMv = 0;
  uint16_t tripMa = 0;  // 0: none
};

class FakeCharger final : public testers::test_support::FakeSession {
 public:
  explicit FakeCharger(FakeClock& clock) : clock_(clock) {}

  bool GetProfiles(link::ProfileList& list) override {
    list = link::ProfileList{};
    if (!Up()) return answers;
    list.count = static_cast<uint8_t>(profiles.size());
    for (std::size_t i = 0; i < profiles.size(); ++i) {
      const ChargerProfile& p = profiles[i];
      list.entries[i] = {static_cast<uint16_t>(p.descriptor | (i + 1)), p.minVoltage, p.voltage,
                         p.current};
    }
    return answers;
  }
  bool GetConnection(link::ConnectionReply& reply) override {
    clock_.Advance(Millis(5));
    reply = {};
    if (Up()) reply = {1, profile_, 5, 0, voltage_, 3000, 15000};
    return answers;
  }
  bool GetStats(link::StatsReply& stats) override {
    clock_.Advance(Millis(10));
    if (++statsCalls == stopAfterStats) {
      for (int i = 0; i < stopsThen; ++i) stop->Request();
    }
    if (!answers || silentStats) return false;
    stats = {};
    if (!Up()) return true;
    const ChargerProfile& p = profiles[profile_ - 1];
    stats.voltage = static_cast<uint16_t>(voltage_ + p.offsetMv - load_ / 100);
    stats.setCurrent = load_;
    stats.measuredCurrent = load_;
    return true;
  }
  link::SetResult SetProfile(uint8_t id, uint16_t voltageMv) override {
    events.push_back("profile " + std::to_string(id) + " " + std::to_string(voltageMv));
    if (upAgain_ != SteadyTime{} && Up() && !requestAfterComeback) {
      requestAfterComeback = std::chrono::duration_cast<Millis>(clock_.Now() - upAgain_);
    }
    if (refusedProfile == id) return {true, link::SET_REFUSED};
    if (Up() && id != ignoredProfile) {
      profile_ = id;
      voltage_ = voltageMv;
    }
    return {true, link::SET_ACCEPTED};
  }
  link::SetResult SetLoad(uint16_t loadMa) override {
    events.push_back("load " + std::to_string(loadMa));
    load_ = loadMa;
    const ChargerProfile& p = profiles[profile_ - 1];
    if (Up() && p.tripMa != 0 && loadMa > p.tripMa) {
      upAgain_ = clock_.Now() + recover;
      profile_ = 1;
      voltage_ = profiles[0].voltage;
    }
    return {true, link::SET_ACCEPTED};
  }
  uint8_t VersionLevel() const override { return 21; }
  bool DeviceLost() const override { return false; }

  std::vector<ChargerProfile> profiles = {{0x0050, 0, 5000, 3000},
                                          {0x0050, 0, 9000, 3000},
                                          {0x0050, 0, 15000, 3000},
                                          {0x0350, 3300, 5300, 2000}};
  bool answers = true;
  bool silentStats = false;
  uint8_t ignoredProfile = 0;  // the contract stays where it is when this one is asked for
  uint8_t refusedProfile = 0;
  Millis recover{3000};
  int stopAfterStats = 0;  // stop requests arrive with this GetStats call
  int stopsThen = 1;
  StopRequests* stop = nullptr;
  int statsCalls = 0;
  std::vector<std::string> events;
  std::optional<Millis> requestAfterComeback;  // from a comeback to the first request after it

 private:
  bool Up() const { return clock_.Now() >= upAgain_; }

  FakeClock& clock_;
  uint8_t profile_ = 1;
  uint16_t voltage_ = 5000;
  uint16_t load_ = 0;
  SteadyTime upAgain_{};
};

struct Verified {
  int code = -1;
  VerifyReport report;
  std::string err;
  std::vector<std::string> shown;  // the reasons of the rows as they were handed on
};

// A run with a 100 ms settle and a 200 ms hold, the other options at their defaults.
Verified VerifyOn(FakeCharger& charger, FakeClock& clock, StopRequests& stop) {
  VerifyOptions options;
  options.settleMs = 100;
  options.holdMs = 200;
  charger.stop = &stop;
  Verified v;
  const auto onRow = [&](const CheckRow& row) { v.shown.push_back(row.reason); };
  v.err = cli::test_support::Capture([&](std::FILE* err) {
    v.code = RunVerify({charger, options, clock, stop, err, onRow}, v.report);
  });
  return v;
}

// The reasons of one profile's rows (0: of every row).
std::vector<std::string> ReasonsOf(const VerifyReport& report, unsigned profile) {
  std::vector<std::string> reasons;
  for (const CheckRow& row : report.checks) {
    if (profile == 0 || row.profile == profile) reasons.push_back(row.reason);
  }
  return reasons;
}

std::string LastEvent(const FakeCharger& charger, const char* kind) {
  for (auto it = charger.events.rbegin(); it != charger.events.rend(); ++it) {
    if (it->rfind(kind, 0) == 0) return *it;
  }
  return "";
}

struct VerifyRunTest : ::testing::Test {
  FakeClock clock;
  FakeCharger charger{clock};
  StopRequests stop;
};

TEST_F(VerifyRunTest, AGoodChargerPassesEveryStepAndEndsUnloadedOnProfileOne) {
  const Verified v = VerifyOn(charger, clock, stop);
  EXPECT_EQ(v.code, LAB_EXIT_DONE) << v.err;
  ASSERT_EQ(v.report.checks.size(), 3u * 3 + 5);  // 3.3 to 5.3 V in 500 mV steps, 5.3 included
  for (const CheckRow& row : v.report.checks) EXPECT_EQ(row.verdict, CHECK_PASS) << row.reason;
  EXPECT_TRUE(v.report.ended.empty());
  EXPECT_EQ(LastEvent(charger, "load"), "load 0");
  EXPECT_EQ(charger.events.back(), "profile 1 5000");
  // Every profile is asked for with the load off; the sweep moves under its load.
  for (std::size_t i = 1; i < charger.events.size(); ++i) {
    const std::string& e = charger.events[i];
    if (e.rfind("profile 4", 0) == 0 && e != "profile 4 3300") continue;
    if (e.rfind("profile", 0) == 0) {
      EXPECT_EQ(charger.events[i - 1], "load 0") << e;
    }
  }
  EXPECT_NE(v.err.find("Profile 4 PD-APDO: 5 checks, 5 passed"), std::string::npos) << v.err;
}

struct FaultCase {
  const char* name;
  std::function<void(FakeCharger&)> fault;
  int exitCode;
  unsigned profile;  // whose rows tell the fault
  std::vector<std::string> reasons;
  std::size_t rows;  // in the whole report
  const char* ended;
};

TEST_F(VerifyRunTest, EachFaultIsFoundWithItsReasonAndTheRunGoesOn) {
  const FaultCase cases[] = {
      {"9 V delivers 9.9 V",
       [](FakeCharger& c) { c.profiles[1].offsetMv = 900; },
       LAB_EXIT_VERIFY_FAILED,
       2,
       {"9900 mV is above the high limit 9450 mV", "9885 mV is above the high limit 9300 mV",
        "9870 mV is above the high limit 9150 mV"},
       14,
       ""},
      {"a trip at full current, back in time",
       [](FakeCharger& c) { c.profiles[1].tripMa = 2000; },
       LAB_EXIT_VERIFY_FAILED,
       2,
       {"", "", "contract lost at 3000 mA (back 2.7 s later)"},
       14,
       ""},
      {"a trip, never back",
       [](FakeCharger& c) {
         c.profiles[1].tripMa = 2000;
         c.recover = Millis(60000);
       },
       LAB_EXIT_VERIFY_FAILED,
       2,
       {"", "", "contract lost at 3000 mA (not back after 5.0 s)"},
       6,
       "the source did not come back within 5000 ms"},
      {"the contract ignores a request",
       [](FakeCharger& c) { c.ignoredProfile = 2; },
       LAB_EXIT_VERIFY_FAILED,
       2,
       {"the contract did not show profile 2 at 9000 mV within 1000 ms"},
       12,
       ""},
      {"a refused request",
       [](FakeCharger& c) { c.refusedProfile = 3; },
       LAB_EXIT_VERIFY_FAILED,
       3,
       {"the request for profile 3 at 15000 mV was refused"},
       12,
       ""},
      {"a ranged profile low at its bottom",
       [](FakeCharger& c) { c.profiles[3].offsetMv = -300; },
       LAB_EXIT_VERIFY_FAILED,
       4,
       {"2990 mV is below the low limit 3035 mV", "3490 mV is below the low limit 3510 mV", "", "",
        ""},
       14,
       ""},
      {"no readings",
       [](FakeCharger& c) { c.silentStats = true; },
       LAB_EXIT_VERIFY_FAILED,
       1,
       {"no readings: the tester did not answer", "no readings: the tester did not answer",
        "no readings: the tester did not answer"},
       14,
       ""},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeClock caseClock;
    FakeCharger faulty{caseClock};
    c.fault(faulty);
    StopRequests caseStop;
    const Verified v = VerifyOn(faulty, caseClock, caseStop);
    EXPECT_EQ(v.code, c.exitCode) << v.err;
    EXPECT_EQ(ReasonsOf(v.report, c.profile), c.reasons);
    EXPECT_EQ(v.shown, ReasonsOf(v.report, 0)) << "every row handed on whole, in order";
    EXPECT_EQ(v.report.checks.size(), c.rows);
    EXPECT_EQ(v.report.ended, c.ended);
    EXPECT_EQ(LastEvent(faulty, "load"), "load 0");
    EXPECT_EQ(faulty.events.back(), "profile 1 5000");
  }
}

// Straight after a comeback the output is still ramping: a request then would start the next
// profile from wherever the ramp happened to be, and its first step pass or fail by chance.
TEST_F(VerifyRunTest, AfterATripTheSourceSettlesBeforeTheNextRequest) {
  charger.profiles[1].tripMa = 2000;
  const Verified v = VerifyOn(charger, clock, stop);
  EXPECT_EQ(v.code, LAB_EXIT_VERIFY_FAILED) << v.err;
  ASSERT_TRUE(charger.requestAfterComeback.has_value());
  EXPECT_GE(*charger.requestAfterComeback, Millis(100)) << "the 100 ms settle";
}

TEST_F(VerifyRunTest, AnInterruptEndsInOrderASecondLeavesEverythingAsItIs) {
  charger.stopAfterStats = 30;  // in profile 1's second step
  const Verified v = VerifyOn(charger, clock, stop);
  EXPECT_EQ(v.code, LAB_EXIT_VERIFY_FAILED);
  EXPECT_EQ(v.report.ended, "interrupted");
  EXPECT_EQ(v.report.checks.size(), 1u);
  EXPECT_EQ(ReportVerdict(v.report), CHECK_ERROR);
  EXPECT_EQ(LastEvent(charger, "load"), "load 0");
  EXPECT_EQ(charger.events.back(), "profile 1 5000");

  FakeClock urgentClock;
  FakeCharger urgent{urgentClock};
  StopRequests urgentStop;
  urgent.stopAfterStats = 30;
  urgent.stopsThen = 2;
  EXPECT_EQ(VerifyOn(urgent, urgentClock, urgentStop).report.ended, "interrupted");
  EXPECT_EQ(urgent.events.back(), "load 1500");
}

TEST_F(VerifyRunTest, NothingToVerifyIsNamedAndChangesNothing) {
  charger.answers = false;
  const Verified silent = VerifyOn(charger, clock, stop);
  EXPECT_EQ(silent.code, LAB_EXIT_NO_TESTER);
  EXPECT_NE(silent.err.find("Error: the tester did not answer."), std::string::npos);
  EXPECT_TRUE(charger.events.empty());

  FakeClock emptyClock;
  FakeCharger empty{emptyClock};
  empty.profiles.clear();
  const Verified none = VerifyOn(empty, emptyClock, stop);
  EXPECT_EQ(none.code, LAB_EXIT_INVALID_PROFILE);
  EXPECT_NE(none.err.find("the source offers no profile to verify"), std::string::npos);
  EXPECT_TRUE(empty.events.empty());
}

}  // namespace
}  // namespace ralvex::lab
