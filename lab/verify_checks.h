// The charger verdict's rules, apart from any tester: which checks a source's profile list asks
// for, the limits each reading must meet and the verdict on it. Fixed profiles are checked at no
// load, half and full current against their nominal ±5 % (5 V: 4.75-5.50 V); a ranged (PD-APDO)
// profile is swept from its lowest to its highest voltage at half its current, each step within
// ±5 % of the request and above the step before. The limits are those at the tester: the cable's
// drop I·R is taken off them, so the readings are compared as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/commands.h"

namespace ralvex::lab {

enum CheckVerdict : uint8_t { CHECK_PASS, CHECK_FAIL, CHECK_ERROR, CHECK_NOT_VERIFIED };
const char* VerdictName(CheckVerdict verdict);

enum ProfileKind : uint8_t { PROFILE_FIXED, PROFILE_RANGED, PROFILE_NOT_VERIFIED };

// One settle-and-hold step of the plan: the voltage asked for (a fixed profile's own) and the load.
struct PlannedStep {
  uint16_t requestMv = 0;
  uint16_t loadMa = 0;
};

struct ProfilePlan {
  unsigned index = 0;  // 1-based, as the source lists it
  uint8_t profileId = 0;
  std::string type;
  ProfileKind kind = PROFILE_NOT_VERIFIED;
  uint16_t voltageMv = 0;  // a ranged profile's highest
  uint16_t minVoltageMv = 0;
  uint16_t currentMa = 0;
  std::string note;  // why a profile is not verified
  std::vector<PlannedStep> steps;
};

// Every usable entry of the list with its steps; `ppsStepMv` is a positive multiple of the 20 mV
// grid that a ranged profile's requests lie on.
std::vector<ProfilePlan> PlanVerification(const link::ProfileList& list, uint8_t versionLevel,
                                          uint16_t ppsStepMv);

// What one step measured (the readings of its hold).
struct StepReadings {
  uint32_t count = 0;
  double meanMv = 0;
  uint16_t minMv = 0;
  uint16_t maxMv = 0;
  double meanMa = 0;  // the current drawn
  bool contractLost = false;
  uint16_t lostAtMa = 0;  // the current drawn as the contract went
};

struct VoltageLimits {
  double lowMv = 0;
  double highMv = 0;
};

// A fixed profile's limits at the tester while `currentMa` flows through `cableMilliohm`.
VoltageLimits FixedLimits(uint16_t nominalMv, double currentMa, uint32_t cableMilliohm);
// A ranged profile's step: ±5 % of the request, at the tester likewise.
VoltageLimits RangedLimits(uint16_t requestMv, double currentMa, uint32_t cableMilliohm);

// The largest difference allowed between the current set and the current drawn.
double CurrentToleranceMa(uint16_t setMa);

// One row of the verdict. Measurements and limits are absent when the step took none.
struct CheckRow {
  unsigned profile = 0;
  std::string type;
  uint16_t nominalMv = 0;  // a fixed profile's voltage; a ranged step's request
  uint16_t loadMa = 0;
  std::optional<StepReadings> readings;
  std::optional<VoltageLimits> limits;
  std::optional<double> marginMv;  // to the nearer limit, negative outside
  CheckVerdict verdict = CHECK_PASS;
  std::string reason;  // empty for a pass
};

// The verdict on one step's readings. `previousMeanMv` is a ranged sweep's step before (none for
// the first step and for fixed profiles): the mean must rise above it.
CheckRow JudgeStep(const ProfilePlan& plan, const PlannedStep& step, const StepReadings& readings,
                   uint32_t cableMilliohm, std::optional<double> previousMeanMv);

// A row for a step that could not be measured: the verdict and its reason.
CheckRow UnmeasuredRow(const ProfilePlan& plan, const PlannedStep& step, CheckVerdict verdict,
                       std::string reason);

struct VerdictCounts {
  std::size_t passed = 0;
  std::size_t failed = 0;
  std::size_t errors = 0;
  std::size_t notVerified = 0;
};
VerdictCounts CountVerdicts(const std::vector<CheckRow>& rows);
// Fail when any check failed, else error when any could not be made, else pass. A run with
// nothing checked at all is an error.
CheckVerdict OverallVerdict(const VerdictCounts& counts);

}  // namespace ralvex::lab
