#include "lab/verify_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "lab/profile_choice.h"
#include "lab/sweep_options.h"
#include "testers/profile_types.h"

namespace ralvex::lab {

namespace {

constexpr double TOLERANCE = 0.05;
constexpr uint16_t FIVE_VOLT_MV = 5000;
constexpr double FIVE_VOLT_HIGH_MV = 5500;  // USB's own ceiling for the 5 V supply
constexpr double CURRENT_TOLERANCE = 0.02;
constexpr double CURRENT_TOLERANCE_MA = 10;
// A failed step whose readings spread wider than this was still moving: the source was slow.
constexpr double SETTLED_SPREAD_MV = 100;

// The share of the advertised current each fixed-profile step draws, in percent.
constexpr unsigned FIXED_LOAD_PERCENT[] = {0, 50, 100};
constexpr unsigned RANGED_LOAD_PERCENT = 50;

uint16_t Share(uint16_t currentMa, unsigned percent) {
  return static_cast<uint16_t>(currentMa * percent / 100);
}

const char* TypeName(const link::ProfileEntry& entry) {
  return testers::ProfileTypeName(link::ProfileClassOf(entry.descriptor),
                                  link::ProfileSubtypeOf(entry.descriptor));
}

bool IsPdFixed(const link::ProfileEntry& entry) {
  return link::ProfileClassOf(entry.descriptor) == 5 &&
         link::ProfileSubtypeOf(entry.descriptor) == 0;
}

// The requests from the lowest voltage on the grid to the highest, ends included.
std::vector<PlannedStep> RangedSteps(const link::ProfileEntry& entry, uint16_t stepMv) {
  const uint32_t first =
      (entry.minVoltage + VOLTAGE_GRID_MV - 1) / VOLTAGE_GRID_MV * VOLTAGE_GRID_MV;
  const uint32_t last = entry.voltage / VOLTAGE_GRID_MV * VOLTAGE_GRID_MV;
  std::vector<PlannedStep> steps;
  if (first > last) return steps;
  for (uint32_t v : SweepSteps(first, last, stepMv)) {
    steps.push_back({static_cast<uint16_t>(v), Share(entry.current, RANGED_LOAD_PERCENT)});
  }
  return steps;
}

ProfilePlan PlanProfile(const link::ProfileEntry& entry, unsigned index, uint8_t versionLevel,
                        uint16_t ppsStepMv) {
  ProfilePlan plan;
  plan.index = index;
  plan.profileId = link::ProfileIdOf(entry.descriptor);
  plan.type = TypeName(entry);
  plan.voltageMv = entry.voltage;
  plan.minVoltageMv = entry.minVoltage;
  plan.currentMa = entry.current;
  if (IsPdFixed(entry)) {
    plan.kind = PROFILE_FIXED;
    for (unsigned percent : FIXED_LOAD_PERCENT) {
      plan.steps.push_back({entry.voltage, Share(entry.current, percent)});
    }
  } else if (IsApdo(entry) && versionLevel < link::RANGED_DETAILS_MIN_VERSION) {
    plan.note = "not verified: this tester's firmware does not report the range";
  } else if (IsApdo(entry)) {
    plan.kind = PROFILE_RANGED;
    plan.steps = RangedSteps(entry, ppsStepMv);
    if (plan.steps.empty()) {
      plan.kind = PROFILE_NOT_VERIFIED;
      plan.note = "not verified: its range holds no request";
    }
  } else {
    plan.note = std::string("not verified: ") + plan.type + " profiles are not checked";
  }
  return plan;
}

std::string Printed(const char* format, double a, double b = 0, double c = 0) {
  char text[160];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

void AddReason(CheckRow& row, CheckVerdict verdict, const std::string& reason) {
  if (row.verdict == CHECK_PASS) row.verdict = verdict;
  row.reason += (row.reason.empty() ? "" : "; ") + reason;
}

void JudgeCurrent(CheckRow& row, const StepReadings& r) {
  const double allowed = CurrentToleranceMa(row.loadMa);
  if (std::fabs(r.meanMa - row.loadMa) <= allowed) return;
  AddReason(
      row, CHECK_FAIL,
      Printed("drew %.0f mA of the %.0f mA set (allowed ±%.0f mA)", r.meanMa, row.loadMa, allowed));
}

void JudgeVoltage(CheckRow& row, const StepReadings& r) {
  const VoltageLimits& l = *row.limits;
  row.marginMv = std::min(r.meanMv - l.lowMv, l.highMv - r.meanMv);
  if (r.meanMv < l.lowMv) {
    AddReason(row, CHECK_FAIL,
              Printed("%.0f mV is below the low limit %.0f mV", r.meanMv, l.lowMv));
  } else if (r.meanMv > l.highMv) {
    AddReason(row, CHECK_FAIL,
              Printed("%.0f mV is above the high limit %.0f mV", r.meanMv, l.highMv));
  }
}

}  // namespace

const char* VerdictName(CheckVerdict verdict) {
  switch (verdict) {
    case CHECK_PASS:
      return "pass";
    case CHECK_FAIL:
      return "fail";
    case CHECK_ERROR:
      return "error";
    case CHECK_NOT_VERIFIED:
      return "not verified";
  }
  return "error";
}

std::vector<ProfilePlan> PlanVerification(const link::ProfileList& list, uint8_t versionLevel,
                                          uint16_t ppsStepMv) {
  std::vector<ProfilePlan> plans;
  for (std::size_t i = 0; i < link::UsableProfileCount(list); ++i) {
    plans.push_back(
        PlanProfile(list.entries[i], static_cast<unsigned>(i + 1), versionLevel, ppsStepMv));
  }
  return plans;
}

VoltageLimits FixedLimits(uint16_t nominalMv, double currentMa, uint32_t cableMilliohm) {
  const double dropMv = currentMa * cableMilliohm / 1000.0;
  const double high = nominalMv == FIVE_VOLT_MV ? FIVE_VOLT_HIGH_MV : nominalMv * (1 + TOLERANCE);
  return {nominalMv * (1 - TOLERANCE) - dropMv, high - dropMv};
}

VoltageLimits RangedLimits(uint16_t requestMv, double currentMa, uint32_t cableMilliohm) {
  const double dropMv = currentMa * cableMilliohm / 1000.0;
  return {requestMv * (1 - TOLERANCE) - dropMv, requestMv * (1 + TOLERANCE) - dropMv};
}

double CurrentToleranceMa(uint16_t setMa) {
  return setMa * CURRENT_TOLERANCE + CURRENT_TOLERANCE_MA;
}

CheckRow UnmeasuredRow(const ProfilePlan& plan, const PlannedStep& step, CheckVerdict verdict,
                       std::string reason) {
  CheckRow row;
  row.profile = plan.index;
  row.type = plan.type;
  row.nominalMv = step.requestMv;
  row.loadMa = step.loadMa;
  row.verdict = verdict;
  row.reason = std::move(reason);
  return row;
}

CheckRow JudgeStep(const ProfilePlan& plan, const PlannedStep& step, const StepReadings& readings,
                   uint32_t cableMilliohm, std::optional<double> previousMeanMv) {
  CheckRow row = UnmeasuredRow(plan, step, CHECK_PASS, "");
  if (readings.contractLost) {
    AddReason(row, CHECK_FAIL, Printed("contract lost at %.0f mA", readings.lostAtMa));
  }
  if (readings.count == 0) {
    if (!readings.contractLost)
      AddReason(row, CHECK_ERROR, "no readings: the tester did not answer");
    return row;
  }
  row.readings = readings;
  row.limits = plan.kind == PROFILE_RANGED
                   ? RangedLimits(step.requestMv, readings.meanMa, cableMilliohm)
                   : FixedLimits(step.requestMv, readings.meanMa, cableMilliohm);
  if (readings.contractLost) return row;  // what it read before the loss says nothing more
  JudgeVoltage(row, readings);
  JudgeCurrent(row, readings);
  if (previousMeanMv && readings.meanMv <= *previousMeanMv) {
    AddReason(row, CHECK_FAIL,
              Printed("not rising: %.0f mV after %.0f mV at the step before", readings.meanMv,
                      *previousMeanMv));
  }
  const double spreadMv = readings.maxMv - readings.minMv;
  if (row.verdict == CHECK_FAIL && spreadMv > SETTLED_SPREAD_MV) {
    AddReason(row, CHECK_FAIL, Printed("still moving: %.0f mV apart in the hold", spreadMv));
  }
  return row;
}

VerdictCounts CountVerdicts(const std::vector<CheckRow>& rows) {
  VerdictCounts counts;
  for (const CheckRow& row : rows) {
    if (row.verdict == CHECK_PASS) ++counts.passed;
    if (row.verdict == CHECK_FAIL) ++counts.failed;
    if (row.verdict == CHECK_ERROR) ++counts.errors;
    if (row.verdict == CHECK_NOT_VERIFIED) ++counts.notVerified;
  }
  return counts;
}

CheckVerdict OverallVerdict(const VerdictCounts& counts) {
  if (counts.failed > 0) return CHECK_FAIL;
  if (counts.errors > 0 || counts.passed == 0) return CHECK_ERROR;
  return CHECK_PASS;
}

}  // namespace ralvex::lab
