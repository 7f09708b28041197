#include "lab/verify_run.h"

#include <algorithm>
#include <string>

#include "lab/lab_options.h"
#include "lab/load_guard.h"
#include "lab/sample_logger.h"
#include "lab/say_line.h"
#include "lab/step_measure.h"

namespace ralvex::lab {

namespace {

constexpr uint16_t HOME_VOLTAGE_MV = 5000;  // where the contract goes back to, on profile 1

std::string Mv(uint16_t mv) {
  return std::to_string(mv) + " mV";
}

StepReadings ReadingsOf(const StepResult& r) {
  StepReadings readings;
  readings.count = static_cast<uint32_t>(r.samples);
  readings.contractLost = r.contractLost;
  readings.lostAtMa = r.lostAtMa;
  if (r.samples == 0) return readings;
  readings.meanMv = r.voltageMv.Mean();
  readings.minMv = static_cast<uint16_t>(r.voltageMv.min);
  readings.maxMv = static_cast<uint16_t>(r.voltageMv.max);
  readings.meanMa = r.currentMa.Mean();
  return readings;
}

class Verifier {
 public:
  Verifier(const VerifyRun& run, VerifyReport& report)
      : run_(run),
        report_(report),
        guard_(run.tester),
        rig_{run.tester,
             run.clock,
             run.stop,
             {Millis(run.options.settleMs), Millis(run.options.holdMs)}} {}

  int Run() {
    link::ProfileList list{};
    if (!run_.tester.GetProfiles(list))
      return Fail(LAB_EXIT_NO_TESTER, "the tester did not answer");
    report_.profiles = PlanVerification(list, run_.tester.VersionLevel(), run_.options.ppsStepMv);
    if (report_.profiles.empty()) {
      return Fail(LAB_EXIT_INVALID_PROFILE, "the source offers no profile to verify");
    }
    for (const ProfilePlan& plan : report_.profiles) {
      if (!VerifyProfile(plan)) break;
    }
    GoHome();
    if (run_.tester.DeviceLost()) return LAB_EXIT_NO_TESTER;
    return ReportVerdict(report_) == CHECK_PASS ? LAB_EXIT_DONE : LAB_EXIT_VERIFY_FAILED;
  }

 private:
  int Fail(int code, const std::string& what) {
    return Say(run_.err, code, "Error: " + what + ".");
  }

  // False when the run cannot go on: interrupted, the tester gone, or the source not back.
  bool VerifyProfile(const ProfilePlan& plan) {
    if (run_.stop.Stopping()) return Stop("interrupted");
    if (plan.kind == PROFILE_NOT_VERIFIED) {
      Add(UnmeasuredRow(plan, {plan.voltageMv, 0}, CHECK_NOT_VERIFIED, plan.note));
      return true;
    }
    const std::size_t first = report_.checks.size();
    const bool goOn = MeasureProfile(plan);
    Tell(plan, first);
    return goOn;
  }

  bool MeasureProfile(const ProfilePlan& plan) {
    guard_.Apply(0);  // a profile changes with no load on
    if (!RequestContract(plan, plan.steps.front())) return !Gone();
    std::optional<double> previousMv;
    for (std::size_t i = 0; i < plan.steps.size(); ++i) {
      const PlannedStep& step = plan.steps[i];
      const bool byLoad = plan.kind == PROFILE_FIXED || i == 0;
      const StepResult r = MeasureStep(
          rig_, byLoad ? LoadStep(guard_, step.loadMa)
                       : ProfileStep(run_.tester, plan.profileId, step.requestMv, step.loadMa));
      if (r.interrupted) return Stop("interrupted");
      if (!r.setting.answered) {
        Add(UnmeasuredRow(plan, step, CHECK_ERROR, "the tester did not answer the setting"));
        return !Gone();
      }
      if (r.Refused()) {
        Add(UnmeasuredRow(plan, step, CHECK_FAIL, "the tester refused the setting"));
        continue;
      }
      CheckRow row = JudgeStep(plan, step, ReadingsOf(r), run_.options.cableMilliohm, previousMv);
      if (r.contractLost) {
        const bool goOn = Recover(row);
        Add(std::move(row));
        return goOn;
      }
      Add(std::move(row));
      if (plan.kind == PROFILE_RANGED && r.samples > 0) previousMv = r.voltageMv.Mean();
    }
    return true;
  }

  // Requests the profile at the step's voltage and waits for the contract to show it; a row for
  // the step when it does not.
  bool RequestContract(const ProfilePlan& plan, const PlannedStep& step) {
    const link::SetResult set = run_.tester.SetProfile(plan.profileId, step.requestMv);
    const std::string what = "profile " + std::to_string(plan.index) + " at " + Mv(step.requestMv);
    if (!set.answered) {
      Add(UnmeasuredRow(plan, step, CHECK_ERROR,
                        "the tester did not answer the request for " + what));
      return false;
    }
    if (set.Refused()) {
      Add(UnmeasuredRow(plan, step, CHECK_FAIL, "the request for " + what + " was refused"));
      return false;
    }
    if (AwaitContract(plan.profileId, step.requestMv)) return true;
    Add(UnmeasuredRow(plan, step, CHECK_FAIL,
                      "the contract did not show " + what + " within " +
                          std::to_string(run_.options.contractTimeoutMs) + " ms"));
    return false;
  }

  bool AwaitContract(uint8_t profileId, uint16_t voltageMv) {
    return Await(Millis(run_.options.contractTimeoutMs), [&](const link::ConnectionReply& c) {
      return c.status == 1 && c.profileIndex == profileId && c.setVoltage == voltageMv;
    });
  }

  // Polls the contract until `shows` holds or the time is up; false then, or on a stop request.
  template <class Shows>
  bool Await(Millis timeout, Shows shows) {
    const SteadyTime end = run_.clock.Now() + timeout;
    for (;;) {
      link::ConnectionReply c{};
      if (run_.tester.GetConnection(c) && shows(c)) return true;
      if (run_.stop.Stopping() || run_.tester.DeviceLost() || run_.clock.Now() >= end) return false;
      run_.clock.SleepFor(CONTRACT_POLL_PERIOD);
    }
  }

  // The contract went: the load comes off and the source gets its time to come back.
  bool Recover(CheckRow& row) {
    guard_.Apply(0);
    const SteadyTime lost = run_.clock.Now();
    const bool back = Await(Millis(run_.options.recoverTimeoutMs),
                            [](const link::ConnectionReply& c) { return c.status == 1; });
    const double seconds = std::chrono::duration<double>(run_.clock.Now() - lost).count();
    char note[64];
    std::snprintf(note, sizeof note, back ? " (back %.1f s later)" : " (not back after %.1f s)",
                  seconds);
    row.reason += note;
    if (back) return LetSettle();
    if (run_.stop.Stopping()) return Stop("interrupted");
    return Stop("the source did not come back within " +
                std::to_string(run_.options.recoverTimeoutMs) + " ms");
  }

  // A source back from a trip is still ramping up its first profile: the next request waits the
  // settle time, so that it starts from a standing output and not from somewhere on the ramp.
  bool LetSettle() {
    const SteadyTime end = run_.clock.Now() + Millis(run_.options.settleMs);
    return WaitUntil(run_.clock, run_.stop, end) || Stop("interrupted");
  }

  bool Gone() {
    if (!run_.tester.DeviceLost()) return false;
    Stop("the tester was lost");
    return true;
  }

  bool Stop(const std::string& why) {
    report_.ended = why;
    return false;
  }

  void Add(CheckRow row) {
    report_.checks.push_back(std::move(row));
    if (run_.onRow) run_.onRow(report_.checks.back());
  }

  void Tell(const ProfilePlan& plan, std::size_t first) {
    const std::vector<CheckRow> rows(report_.checks.begin() + static_cast<long>(first),
                                     report_.checks.end());
    const VerdictCounts n = CountVerdicts(rows);
    std::fprintf(run_.err, "Profile %u %s: %zu checks, %zu passed\n", plan.index, plan.type.c_str(),
                 rows.size(), n.passed);
    std::fflush(run_.err);
  }

  // The load off and the contract back on profile 1, unless a second interrupt asked for haste.
  void GoHome() {
    if (run_.stop.Urgent()) {
      guard_.Abandon();
      return;
    }
    guard_.Reset();
    if (run_.tester.DeviceLost()) return;
    const ProfilePlan& one = report_.profiles.front();
    const uint16_t home = one.kind == PROFILE_RANGED
                              ? std::clamp(HOME_VOLTAGE_MV, one.minVoltageMv, one.voltageMv)
                              : one.voltageMv;
    run_.tester.SetProfile(one.profileId, home);
  }

  const VerifyRun& run_;
  VerifyReport& report_;
  LoadGuard guard_;
  StepRig rig_;
};

}  // namespace

int RunVerify(const VerifyRun& run, VerifyReport& report) {
  return Verifier(run, report).Run();
}

}  // namespace ralvex::lab
