#include "lab/verify_options.h"

#include <CLI/CLI.hpp>

#include "lab/option_numbers.h"
#include "lab/sweep_options.h"

namespace ralvex::lab {

VerifyCommand::VerifyCommand(CLI::App& app)
    : command_(app.add_subcommand(
          "verify", "check every profile the source offers against its tolerances: a verdict")) {
  command_
      ->add_option("--cable-milliohm", cable_,
                   "the cable's resistance, whose drop is allowed for (default 100; 0: none)")
      ->type_name("MOHM");
  command_
      ->add_option("--pps-step", ppsStep_,
                   "a PD-APDO sweep's step, a multiple of 20 mV (default 500)")
      ->type_name("MV");
  command_->add_option("--settle", settle_, "milliseconds to wait after each change (default 500)")
      ->type_name("MS");
  command_->add_option("--hold", hold_, "milliseconds to sample each step (default 1000)")
      ->type_name("MS");
  command_
      ->add_option("--contract-timeout", contractTimeout_,
                   "milliseconds for the contract to show a requested profile (default 1000)")
      ->type_name("MS");
  command_
      ->add_option("--recover-timeout", recoverTimeout_,
                   "milliseconds to wait for a source that dropped its contract (default 5000)")
      ->type_name("MS");
  command_->add_option("--json", json_, "also write the verdict as JSON here")->type_name("FILE");
  command_->add_option("--html", html_, "also write a report page here")->type_name("FILE");
}

bool VerifyCommand::Parsed() const {
  return command_->parsed();
}

int VerifyCommand::Store(VerifyOptions& options, std::FILE* err) const {
  auto whole = [](auto* field) {
    return [field](double v) { *field = static_cast<std::remove_pointer_t<decltype(field)>>(v); };
  };
  const int bad = StoreNumbers(
      {{{"--cable-milliohm", 0, 10000, true, whole(&options.cableMilliohm)}, &cable_},
       {{"--pps-step", VOLTAGE_GRID_MV, 20000, true, whole(&options.ppsStepMv)}, &ppsStep_},
       {{"--settle", 0, 600000, true, whole(&options.settleMs)}, &settle_},
       {{"--hold", 1, 600000, true, whole(&options.holdMs)}, &hold_},
       {{"--contract-timeout", 1, 600000, true, whole(&options.contractTimeoutMs)},
        &contractTimeout_},
       {{"--recover-timeout", 0, 600000, true, whole(&options.recoverTimeoutMs)},
        &recoverTimeout_}},
      *command_, err);
  if (bad != 0) return bad;
  if (options.ppsStepMv % VOLTAGE_GRID_MV != 0) {
    return Refuse(err,
                  "invalid value '" + ppsStep_ + "' for --pps-step (expected a multiple of 20 mV)");
  }
  options.jsonPath = json_;
  options.htmlPath = html_;
  return 0;
}

}  // namespace ralvex::lab
