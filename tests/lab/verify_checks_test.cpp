#include "lab/verify_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ralvex::lab {
namespace {

constexpr uint16_t PD_FIX = 0x0050;
constexpr uint16_t PD_BAT = 0x0150;
constexpr uint16_t PD_APDO = 0x0350;

link::ProfileList ListOf(std::vector<link::ProfileEntry> entries) {
  link::ProfileList list{};
  list.count = static_cast<uint8_t>(entries.size());
  for (std::size_t i = 0; i < entries.size() && i < link::PROFILE_LIST_CAPACITY; ++i) {
    list.entries[i] = entries[i];
    list.entries[i].descriptor = static_cast<uint16_t>(entries[i].descriptor | (i + 1));
  }
  return list;
}

std::vector<uint16_t> Requests(const ProfilePlan& plan) {
  std::vector<uint16_t> out;
  for (const PlannedStep& s : plan.steps) out.push_back(s.requestMv);
  return out;
}

std::vector<uint16_t> Loads(const ProfilePlan& plan) {
  std::vector<uint16_t> out;
  for (const PlannedStep& s : plan.steps) out.push_back(s.loadMa);
  return out;
}

struct PlanCase {
  const char* name;
  link::ProfileEntry entry;
  uint8_t versionLevel;
  uint16_t ppsStepMv;
  ProfileKind kind;
  std::vector<uint16_t> requests;
  std::vector<uint16_t> loads;
  const char* note;  // part of the note of a profile left out
};

TEST(VerifyPlan, FixedAtThreeLoadsRangedSweptOnTheGridOthersLeftOut) {
  const PlanCase cases[] = {
      {"fixed: no load, half, full",
       {PD_FIX, 0, 9000, 3000},
       21,
       500,
       PROFILE_FIXED,
       {9000, 9000, 9000},
       {0, 1500, 3000},
       ""},
      {"odd current halves down",
       {PD_FIX, 0, 20000, 3251},
       21,
       500,
       PROFILE_FIXED,
       {20000, 20000, 20000},
       {0, 1625, 3251},
       ""},
      {"ranged: ends included, a short last step",
       {PD_APDO, 3300, 5000, 3000},
       21,
       500,
       PROFILE_RANGED,
       {3300, 3800, 4300, 4800, 5000},
       {1500, 1500, 1500, 1500, 1500},
       ""},
      {"ranged: a range the step divides",
       {PD_APDO, 3300, 5300, 2000},
       21,
       1000,
       PROFILE_RANGED,
       {3300, 4300, 5300},
       {1000, 1000, 1000},
       ""},
      {"ranged: ends off the grid move inwards",
       {PD_APDO, 3310, 4010, 2000},
       21,
       500,
       PROFILE_RANGED,
       {3320, 3820, 4000},
       {1000, 1000, 1000},
       ""},
      {"ranged: one voltage",
       {PD_APDO, 5000, 5000, 2000},
       21,
       500,
       PROFILE_RANGED,
       {5000},
       {1000},
       ""},
      {"ranged: no grid point in the range",
       {PD_APDO, 5001, 5019, 2000},
       21,
       500,
       PROFILE_NOT_VERIFIED,
       {},
       {},
       "holds no request"},
      {"ranged on old firmware",
       {PD_APDO, 3300, 11000, 3000},
       19,
       500,
       PROFILE_NOT_VERIFIED,
       {},
       {},
       "firmware"},
      {"another type",
       {PD_BAT, 0, 9000, 2000},
       21,
       500,
       PROFILE_NOT_VERIFIED,
       {},
       {},
       "PD-BAT profiles are not checked"},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<ProfilePlan> plans =
        PlanVerification(ListOf({c.entry}), c.versionLevel, c.ppsStepMv);
    ASSERT_EQ(plans.size(), 1u);
    EXPECT_EQ(plans[0].kind, c.kind);
    EXPECT_EQ(plans[0].index, 1u);
    EXPECT_EQ(plans[0].profileId, 1u);
    EXPECT_EQ(Requests(plans[0]), c.requests);
    EXPECT_EQ(Loads(plans[0]), c.loads);
    EXPECT_NE(plans[0].note.find(c.note), std::string::npos) << plans[0].note;
  }
}

TEST(VerifyPlan, TheDefaultSweepOfASixtyFiveWattRangeEndsAtItsTopAndTheListIsCapped) {
  const std::vector<ProfilePlan> apdo =
      PlanVerification(ListOf({{PD_APDO, 3300, 21000, 3000}}), 21, 500);
  ASSERT_EQ(apdo.size(), 1u);
  EXPECT_EQ(apdo[0].steps.size(), 37u);
  EXPECT_EQ(apdo[0].steps.back().requestMv, 21000);
  EXPECT_EQ(apdo[0].type, "PD-APDO");

  link::ProfileList many = ListOf({{PD_FIX, 0, 5000, 3000}});
  many.count = 200;  // more than the record holds: only what it holds is planned
  EXPECT_EQ(PlanVerification(many, 21, 500).size(), link::PROFILE_LIST_CAPACITY);
  EXPECT_TRUE(PlanVerification(link::ProfileList{}, 21, 500).empty());
}

struct LimitsCase {
  bool ranged;
  uint16_t nominalMv;
  double currentMa;
  uint32_t cableMilliohm;
  double lowMv, highMv;
};

TEST(VerifyLimits, NominalPlusMinusFivePercentFiveVoltsUpTo5500LessTheCableDrop) {
  const LimitsCase cases[] = {
      {false, 5000, 0, 100, 4750, 5500},       {false, 5000, 3000, 100, 4450, 5200},
      {false, 5000, 3000, 0, 4750, 5500},      {false, 9000, 0, 100, 8550, 9450},
      {false, 20000, 3250, 100, 18675, 20675}, {false, 15000, 1500, 250, 13875, 15375},
      {true, 3300, 1500, 100, 2985, 3315},     {true, 5000, 0, 100, 4750, 5250},
      {true, 11000, 1500, 0, 10450, 11550},
  };
  for (const LimitsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.nominalMv << " mV at " << c.currentMa << " mA");
    const VoltageLimits l = c.ranged ? RangedLimits(c.nominalMv, c.currentMa, c.cableMilliohm)
                                     : FixedLimits(c.nominalMv, c.currentMa, c.cableMilliohm);
    EXPECT_DOUBLE_EQ(l.lowMv, c.lowMv);
    EXPECT_DOUBLE_EQ(l.highMv, c.highMv);
  }
  EXPECT_DOUBLE_EQ(CurrentToleranceMa(0), 10);
  EXPECT_DOUBLE_EQ(CurrentToleranceMa(3000), 70);
}

StepReadings Read(double meanMv, double meanMa, uint16_t spreadMv = 10) {
  StepReadings r;
  r.count = 20;
  r.meanMv = meanMv;
  r.minMv = static_cast<uint16_t>(meanMv - spreadMv / 2.0);
  r.maxMv = static_cast<uint16_t>(meanMv + spreadMv / 2.0);
  r.meanMa = meanMa;
  return r;
}

StepReadings Lost(uint16_t atMa, uint32_t count) {
  StepReadings r = count > 0 ? Read(8000, atMa) : StepReadings{};
  r.contractLost = true;
  r.lostAtMa = atMa;
  return r;
}

struct JudgeCase {
  const char* name;
  ProfileKind kind;
  PlannedStep step;
  StepReadings readings;
  std::optional<double> previousMv;
  CheckVerdict verdict;
  std::optional<double> marginMv;
  std::vector<const char*> reasons;  // each must be in the reason
};

TEST(VerifyJudge, EachFaultFailsTheStepWithItsReason) {
  const JudgeCase cases[] = {
      {"within, the low limit nearer",
       PROFILE_FIXED,
       {9000, 3000},
       Read(8400, 2994),
       {},
       CHECK_PASS,
       149,
       {}},
      {"within, the high limit nearer",
       PROFILE_FIXED,
       {9000, 0},
       Read(9400, 1),
       {},
       CHECK_PASS,
       50,
       {}},
      {"high: nominal +10 %",
       PROFILE_FIXED,
       {9000, 0},
       Read(9900, 1),
       {},
       CHECK_FAIL,
       -450,
       {"9900 mV is above the high limit 9450 mV"}},
      {"sagging under load",
       PROFILE_FIXED,
       {15000, 3000},
       Read(12540, 3000),
       {},
       CHECK_FAIL,
       -1410,
       {"12540 mV is below the low limit 13950 mV"}},
      {"5 V may reach 5.5 V", PROFILE_FIXED, {5000, 0}, Read(5450, 0), {}, CHECK_PASS, 50, {}},
      {"current short of the set one",
       PROFILE_FIXED,
       {9000, 3000},
       Read(8800, 2900),
       {},
       CHECK_FAIL,
       360,
       {"drew 2900 mA of the 3000 mA set (allowed ±70 mA)"}},
      {"current just within",
       PROFILE_FIXED,
       {9000, 3000},
       Read(8800, 2931),
       {},
       CHECK_PASS,
       357,
       {}},
      {"a trip names its current",
       PROFILE_FIXED,
       {20000, 3250},
       Lost(3250, 0),
       {},
       CHECK_FAIL,
       {},
       {"contract lost at 3250 mA"}},
      {"a trip after some readings still fails",
       PROFILE_FIXED,
       {20000, 3250},
       Lost(3100, 5),
       {},
       CHECK_FAIL,
       {},
       {"contract lost at 3100 mA"}},
      {"no readings at all",
       PROFILE_FIXED,
       {9000, 0},
       StepReadings{},
       {},
       CHECK_ERROR,
       {},
       {"no readings"}},
      {"a ranged step within",
       PROFILE_RANGED,
       {3300, 1500},
       Read(3200, 1497),
       3000.0,
       CHECK_PASS,
       115,
       {}},
      {"a ranged step low and slow",
       PROFILE_RANGED,
       {3300, 1500},
       Read(2700, 1497, 300),
       {},
       CHECK_FAIL,
       -285,
       {"below the low limit 2985 mV", "still moving: 300 mV apart"}},
      {"a ranged step falling",
       PROFILE_RANGED,
       {5000, 1500},
       Read(4800, 1497),
       4900.0,
       CHECK_FAIL,
       200,
       {"not rising: 4800 mV after 4900 mV"}},
      {"two faults, both named",
       PROFILE_RANGED,
       {5000, 1500},
       Read(5400, 1300),
       {},
       CHECK_FAIL,
       -280,
       {"above the high limit", "drew 1300 mA"}},
  };
  for (const JudgeCase& c : cases) {
    SCOPED_TRACE(c.name);
    ProfilePlan plan;
    plan.index = 3;
    plan.type = c.kind == PROFILE_RANGED ? "PD-APDO" : "PD-FIX";
    plan.kind = c.kind;
    const CheckRow row = JudgeStep(plan, c.step, c.readings, 100, c.previousMv);
    EXPECT_EQ(row.profile, 3u);
    EXPECT_EQ(row.nominalMv, c.step.requestMv);
    EXPECT_EQ(row.loadMa, c.step.loadMa);
    EXPECT_EQ(VerdictName(row.verdict), std::string(VerdictName(c.verdict)));
    ASSERT_EQ(row.marginMv.has_value(), c.marginMv.has_value());
    if (c.marginMv) {
      EXPECT_NEAR(*row.marginMv, *c.marginMv, 1.0);
    }
    EXPECT_EQ(row.reason.empty(), c.verdict == CHECK_PASS) << row.reason;
    for (const char* reason : c.reasons) {
      EXPECT_NE(row.reason.find(reason), std::string::npos) << row.reason;
    }
  }
}

struct OverallCase {
  std::vector<CheckVerdict> verdicts;
  CheckVerdict overall;
};

TEST(VerifyOverall, AnyFailFailsThenAnErrorThenNothingCheckedIsAnError) {
  const OverallCase cases[] = {
      {{CHECK_PASS, CHECK_PASS}, CHECK_PASS},
      {{CHECK_PASS, CHECK_NOT_VERIFIED}, CHECK_PASS},
      {{CHECK_PASS, CHECK_ERROR, CHECK_FAIL}, CHECK_FAIL},
      {{CHECK_PASS, CHECK_ERROR}, CHECK_ERROR},
      {{CHECK_NOT_VERIFIED}, CHECK_ERROR},
      {{}, CHECK_ERROR},
  };
  for (const OverallCase& c : cases) {
    std::vector<CheckRow> rows;
    for (CheckVerdict v : c.verdicts) rows.push_back(UnmeasuredRow({}, {}, v, ""));
    EXPECT_EQ(OverallVerdict(CountVerdicts(rows)), c.overall) << c.verdicts.size();
  }
}

}  // namespace
}  // namespace ralvex::lab
