#include "lab/sweep_run.h"

#include <algorithm>
#include <string>
#include <vector>

#include "lab/lab_options.h"
#include "lab/load_guard.h"
#include "lab/log/output_fd.h"
#include "lab/profile_choice.h"
#include "lab/say_line.h"
#include "lab/sweep_rows.h"
#include "lab/text_file.h"

namespace ralvex::lab {

namespace {

class Sweeper {
 public:
  explicit Sweeper(const SweepRun& run)
      : run_(run),
        o_(run.options),
        guard_(run.tester),
        steps_(SweepSteps(o_.from, o_.to, o_.step)) {}

  int Run() {
    std::string error;
    if (!o_.output.empty() && !out_.Open(o_.output, &error)) {
      return Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE, "Error: " + error);
    }
    int code = o_.kind == SWEEP_VOLTAGE ? CheckProfile() : LAB_EXIT_DONE;
    if (code == LAB_EXIT_DONE) code = Put(SweepHeader(o_.kind, o_.format)) ? Steps() : Failed();
    if (run_.progress != nullptr) run_.progress->Clear();
    Restore();
    if (!o_.plot.empty() && !WritePlot() && code == LAB_EXIT_DONE) code = LAB_EXIT_OUTPUT_FAILED;
    return code;
  }

 private:
  // The profile a voltage sweep moves on: offered, PD-APDO, and holding the whole range.
  int CheckProfile() {
    const ProfileChoice choice = ChooseProfile(run_.tester, o_.profile, true);
    profiles_ = choice.list;
    if (!choice.entry) return Say(run_.err, choice.exitCode, choice.error);
    const std::string outside =
        OutsideRange(*choice.entry, o_.profile, std::min(o_.from, o_.to), std::max(o_.from, o_.to));
    return outside.empty() ? LAB_EXIT_DONE : Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE, outside);
  }

  int Steps() {
    if (o_.kind == SWEEP_VOLTAGE && o_.loadMa > 0) {
      const link::SetResult load = guard_.Apply(o_.loadMa);
      if (load.Refused()) {
        return Say(run_.err, LAB_EXIT_INVALID_COMMAND_LINE,
                   "Error: the tester refused the load of " + std::to_string(o_.loadMa) + " mA.");
      }
    }
    const StepRig rig{run_.tester, run_.clock, run_.stop, o_.timing};
    for (size_t i = 0; i < steps_.size(); ++i) {
      if (run_.stop.Stopping()) return Interrupted();
      const std::string what = StepName(i);
      if (run_.progress != nullptr) run_.progress->ShowText(what + " ...");
      const SweepRow row{steps_[i], MeasureStep(rig, Setting(steps_[i]))};
      if (const int code = Judge(row.step, what); code != LAB_EXIT_DONE) return code;
      if (row.step.interrupted) return Interrupted();
      rows_.push_back(row);
      if (!Put(SweepLine(o_.kind, o_.format, row))) return Failed();
      if (row.step.contractLost) {
        return Tell(LAB_EXIT_NO_TESTER, "Error: the contract was lost during " + what + ", at " +
                                            std::to_string(row.step.lostAtMa) +
                                            " mA; the sweep ends there.");
      }
    }
    return LAB_EXIT_DONE;
  }

  StepSetting Setting(uint32_t value) {
    if (o_.kind == SWEEP_LOAD) return LoadStep(guard_, static_cast<uint16_t>(value));
    moved_ = true;  // a lost reply may still have moved the contract
    return ProfileStep(run_.tester, o_.profile, static_cast<uint16_t>(value), o_.loadMa);
  }

  std::string StepName(size_t i) const {
    std::string name =
        "step " + std::to_string(i + 1) + " of " + std::to_string(steps_.size()) + " (";
    if (o_.kind == SWEEP_VOLTAGE) name += "profile " + std::to_string(o_.profile) + " at ";
    return name + std::to_string(steps_[i]) + (o_.kind == SWEEP_LOAD ? " mA)" : " mV)");
  }

  int Judge(const StepResult& step, const std::string& what) {
    if (!step.setting.answered) {
      return Tell(LAB_EXIT_NO_TESTER, "Error: the tester did not answer " + what + ".");
    }
    if (!step.Refused()) return LAB_EXIT_DONE;
    const std::string verdict =
        *step.setting.status == link::SET_REFUSED ? "refused" : "did not understand";
    return Tell(o_.kind == SWEEP_VOLTAGE ? LAB_EXIT_INVALID_PROFILE : LAB_EXIT_INVALID_COMMAND_LINE,
                "Error: the tester " + verdict + " " + what + "; the sweep ends there.");
  }

  int Interrupted() {
    return Tell(LAB_EXIT_DONE, "Interrupted: the sweep ends after " + std::to_string(rows_.size()) +
                                   " of " + std::to_string(steps_.size()) + " steps.");
  }

  // A line that ends the sweep, on a line of its own: the progress text goes first.
  int Tell(int code, const std::string& line) {
    if (run_.progress != nullptr) run_.progress->Clear();
    return Say(run_.err, code, line);
  }

  // The safety rule, and a voltage sweep's contract back on profile 1.
  void Restore() {
    if (run_.stop.Urgent()) {
      guard_.Abandon();
      Say(run_.err, 0, "Second interrupt: ending at once; the load is left as it is.");
      return;
    }
    guard_.Reset();
    if (moved_ && !run_.tester.DeviceLost()) {
      run_.tester.SetProfile(1, profiles_.entries[0].voltage);
    }
  }

  bool Put(const std::string& text) { return text.empty() || out_.WriteAll(text, &error_); }

  int Failed() {
    return Tell(LAB_EXIT_OUTPUT_FAILED, "Error: the rows could not be written: " + error_);
  }

  bool WritePlot() {
    if (WriteTextFile(o_.plot, SvgPlot(SweepPlot(o_.kind, rows_)))) return true;
    Say(run_.err, 0, "Error: cannot write " + o_.plot);
    return false;
  }

  const SweepRun& run_;
  const SweepOptions& o_;
  LoadGuard guard_;
  OutputFd out_;
  link::ProfileList profiles_{};
  std::vector<uint32_t> steps_;
  std::vector<SweepRow> rows_;
  std::string error_;
  bool moved_ = false;  // a voltage step was asked for
};

}  // namespace

int RunSweep(const SweepRun& run) {
  return Sweeper(run).Run();
}

}  // namespace ralvex::lab
