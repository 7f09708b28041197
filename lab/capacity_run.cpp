#include "lab/capacity_run.h"

#include <nlohmann/json.hpp>

#include <memory>

#include "lab/lab_options.h"
#include "lab/profile_choice.h"
#include "lab/sample_logger.h"
#include "lab/say_line.h"
#include "lab/sweep_options.h"
#include "lab/text_file.h"

namespace ralvex::lab {

namespace {

// Where the rows go without -o: nowhere.
class NoRows final : public RowSink {
 public:
  bool Write(const LogRow&) override { return true; }
  bool Flush() override { return true; }
  bool Finish(const std::string&) override { return true; }
  std::string Error() const override { return ""; }
};

// The log's ends by the names the report uses.
std::string Stopped(const std::string& ended) {
  if (ended == "done") return "time_limit";
  if (ended == "tester lost") return "tester_lost";
  if (ended == "output failed") return "output_failed";
  return ended;  // the rule's own, and "interrupted"
}

std::string StoppedText(const CapacityReport& r, const CapacityOptions& o) {
  if (r.stopped == "source_lost") {
    return "the source gave out (contract down for more than " +
           std::to_string(o.recoverTimeoutMs) + " ms)";
  }
  if (r.stopped == "cutoff") {
    return "the voltage stayed under " + std::to_string(o.cutoffMv.value_or(0)) + " mV";
  }
  if (r.stopped == "time_limit") return "the time limit";
  if (r.stopped == "tester_lost") return "the tester was lost";
  if (r.stopped == "output_failed") return "the log could not be written";
  return r.stopped;
}

class CapacityRunner {
 public:
  explicit CapacityRunner(const CapacityRun& run) : run_(run), o_(run.options), rule_(o_) {
    log_.loadMa = o_.loadMa;
    log_.durationS = o_.maxDurationS;
  }

  int Run() {
    const std::unique_ptr<RowSink> sink = OpenSink();
    if (!sink) return LAB_EXIT_INVALID_COMMAND_LINE;
    if (o_.profile) {
      if (const int code = MoveContract(); code != LAB_EXIT_DONE) {
        RestoreContract();
        return code;
      }
    }
    const LogRun run{
        run_.tester, *sink,    log_,          run_.clock,
        run_.stop,   run_.err, run_.progress, [this](const LogRow& row) { return rule_(row); }};
    LogOutcome outcome = RunLog(run);
    if (run_.progress != nullptr) run_.progress->Clear();
    RestoreContract();
    if (!sink->Finish(SummaryJson(outcome.summary)) && outcome.exitCode == LAB_EXIT_DONE) {
      outcome.exitCode = Say(run_.err, LAB_EXIT_OUTPUT_FAILED, "Error: " + sink->Error());
    }
    const CapacityReport report = Report(outcome.summary);
    PrintCapacity(run_.out, report, o_);
    if (!o_.json.empty() && !WriteTextFile(o_.json, CapacityJson(report, o_, run_.serial) + "\n") &&
        outcome.exitCode == LAB_EXIT_DONE) {
      outcome.exitCode = Say(run_.err, LAB_EXIT_OUTPUT_FAILED, "Error: cannot write " + o_.json);
    }
    return outcome.exitCode;
  }

 private:
  std::unique_ptr<RowSink> OpenSink() {
    if (o_.output.empty()) return std::make_unique<NoRows>();
    std::string error;
    std::unique_ptr<RowSink> sink = OpenRowSink(o_.format, o_.output, {}, &error);
    if (!sink) Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE, "Error: " + error);
    return sink;
  }

  // The chosen profile, at the voltage asked for when it is ranged.
  int MoveContract() {
    choice_ = ChooseProfile(run_.tester, *o_.profile, false);
    if (!choice_.entry) return Say(run_.err, choice_.exitCode, choice_.error);
    const link::ProfileEntry& e = *choice_.entry;
    const std::string name = "profile " + std::to_string(*o_.profile);
    uint16_t voltage = e.voltage;
    if (IsApdo(e)) {
      if (!o_.voltageMv || *o_.voltageMv % VOLTAGE_GRID_MV != 0) {
        return Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE,
                   "Error: " + name + " is ranged: give --voltage in steps of 20 mV.");
      }
      const std::string outside = OutsideRange(e, *o_.profile, *o_.voltageMv, *o_.voltageMv);
      if (!outside.empty()) return Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE, outside);
      voltage = *o_.voltageMv;
    } else if (o_.voltageMv && *o_.voltageMv != e.voltage) {
      return Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE,
                 "Error: " + name + " is fixed at " + std::to_string(e.voltage) + " mV.");
    }
    const link::SetResult set = run_.tester.SetProfile(*o_.profile, voltage);
    moved_ = !set.Refused();  // a lost reply may have moved it
    if (!set.answered)
      return Say(run_.err, LAB_EXIT_NO_TESTER, "Error: the tester did not answer.");
    if (set.Refused()) {
      return Say(run_.err, LAB_EXIT_INVALID_PROFILE,
                 "Error: the tester refused " + name + " at " + std::to_string(voltage) + " mV.");
    }
    return LAB_EXIT_DONE;
  }

  // The contract back on profile 1 after a move, unless the run must end at once.
  void RestoreContract() {
    if (moved_ && !run_.stop.Urgent() && !run_.tester.DeviceLost()) {
      run_.tester.SetProfile(1, choice_.list.entries[0].voltage);
    }
  }

  CapacityReport Report(const LogSummary& s) const {
    return {Stopped(s.ended), s.chargeMah, s.energyMwh, rule_.DeliveredS(), s.samples};
  }

  const CapacityRun& run_;
  const CapacityOptions& o_;
  LogOptions log_;
  SpentRule rule_;
  ProfileChoice choice_;
  bool moved_ = false;
};

}  // namespace

SpentRule::SpentRule(const CapacityOptions& options)
    : cutoffMv_(options.cutoffMv), recoverS_(options.recoverTimeoutMs / 1000.0) {}

const char* SpentRule::operator()(const LogRow& row) {
  const double now = row.sample.elapsedS;
  if (row.sample.voltageMv == 0) {
    if (!downSince_) downSince_ = now;
    return now - *downSince_ > recoverS_ ? "source_lost" : nullptr;
  }
  downSince_.reset();
  deliveredS_ = now;
  underCutoff_ = cutoffMv_ && row.sample.voltageMv < *cutoffMv_ ? underCutoff_ + 1 : 0;
  return underCutoff_ >= CUTOFF_READINGS ? "cutoff" : nullptr;
}

std::string CapacityJson(const CapacityReport& r, const CapacityOptions& o,
                         const std::string& serial) {
  auto optional = [](const auto& value) -> nlohmann::json {
    if (!value) return nullptr;
    return *value;
  };
  const nlohmann::json json = {
      {"schema", CAPACITY_SCHEMA},
      {"tester", serial},
      {"load_ma", o.loadMa},
      {"profile", optional(o.profile)},
      {"voltage_mv", optional(o.voltageMv)},
      {"cutoff_mv", optional(o.cutoffMv)},
      {"max_duration_s", optional(o.maxDurationS)},
      {"recover_timeout_ms", o.recoverTimeoutMs},
      {"stopped", r.stopped},
      {"reason", StoppedText(r, o)},
      {"samples", r.samples},
      {"charge_mah", r.chargeMah},
      {"energy_mwh", r.energyMwh},
      {"energy_wh", r.energyMwh / 1000},
      {"duration_s", r.durationS},
      {"average_power_w", r.AveragePowerW()},
  };
  return json.dump(2);
}

void PrintCapacity(std::FILE* out, const CapacityReport& r, const CapacityOptions& o) {
  std::fprintf(out, "Stopped:        %s\n", StoppedText(r, o).c_str());
  std::fprintf(out, "Charge:         %.3f mAh\n", r.chargeMah);
  std::fprintf(out, "Energy:         %.4f Wh (%.1f mWh)\n", r.energyMwh / 1000, r.energyMwh);
  std::fprintf(out, "Duration:       %.1f s at %u mA\n", r.durationS, unsigned{o.loadMa});
  std::fprintf(out, "Average power:  %.2f W\n", r.AveragePowerW());
  std::fprintf(out, "Samples:        %llu\n", static_cast<unsigned long long>(r.samples));
  std::fflush(out);
}

int RunCapacity(const CapacityRun& run) {
  return CapacityRunner(run).Run();
}

}  // namespace ralvex::lab
