#include "lab/verify_options.h"

#include <CLI/CLI.hpp>

#include "lab/option_numbers.h"
#include "lab/verify_checks.h"

namespace ralvex::lab {

CLI::App* AddVerifyCommand(CLI::App& app, VerifyOptions& options, VerifyOptionText& text) {
  CLI::App* verify = app.add_subcommand(
      "verify", "check every profile the source offers against its tolerances: a verdict");
  verify
      ->add_option("--cable-milliohm", text.cable,
                   "the cable's resistance, whose drop is allowed for (default 100; 0: none)")
      ->type_name("MOHM");
  verify
      ->add_option("--pps-step", text.ppsStep,
                   "a PD-APDO sweep's step, a multiple of 20 mV (default 500)")
      ->type_name("MV");
  verify
      ->add_option("--settle", text.settle, "milliseconds to wait after each change (default 500)")
      ->type_name("MS");
  verify->add_option("--hold", text.hold, "milliseconds to sample each step (default 1000)")
      ->type_name("MS");
  verify
      ->add_option("--contract-timeout", text.contractTimeout,
                   "milliseconds for the contract to show a requested profile (default 1000)")
      ->type_name("MS");
  verify
      ->add_option("--recover-timeout", text.recoverTimeout,
                   "milliseconds to wait for a source that dropped its contract (default 5000)")
      ->type_name("MS");
  verify->add_option("--json", options.jsonPath, "also write the verdict as JSON here")
      ->type_name("FILE");
  verify->add_option("--html", options.htmlPath, "also write a report page here")
      ->type_name("FILE");
  return verify;
}

int StoreVerifyOptions(const CLI::App& verify, const VerifyOptionText& text, VerifyOptions& options,
                       std::FILE* err) {
  auto whole = [](auto* field) {
    return [field](double v) { *field = static_cast<std::remove_pointer_t<decltype(field)>>(v); };
  };
  const int bad = StoreNumbers(
      {{{"--cable-milliohm", 0, 10000, true, whole(&options.cableMilliohm)}, &text.cable},
       {{"--pps-step", VERIFY_GRID_MV, 20000, true, whole(&options.ppsStepMv)}, &text.ppsStep},
       {{"--settle", 0, 600000, true, whole(&options.settleMs)}, &text.settle},
       {{"--hold", 1, 600000, true, whole(&options.holdMs)}, &text.hold},
       {{"--contract-timeout", 1, 600000, true, whole(&options.contractTimeoutMs)},
        &text.contractTimeout},
       {{"--recover-timeout", 0, 600000, true, whole(&options.recoverTimeoutMs)},
        &text.recoverTimeout}},
      verify, err);
  if (bad != 0) return bad;
  if (options.ppsStepMv % VERIFY_GRID_MV != 0) {
    return Refuse(
        err, "invalid value '" + text.ppsStep + "' for --pps-step (expected a multiple of 20 mV)");
  }
  return 0;
}

}  // namespace ralvex::lab
