#include "lab/capacity_options.h"

#include <CLI/CLI.hpp>

#include "lab/option_numbers.h"

namespace ralvex::lab {

CapacityCommand::CapacityCommand(CLI::App& app) {
  command_ = app.add_subcommand("capacity",
                                "draw a load until the source gives out: its charge "
                                "and energy");
  command_->add_option("--load", load_, "the load in mA to draw")->type_name("MA")->required();
  command_->add_option("--profile", profile_, "the profile to draw it on (default the present)")
      ->type_name("N");
  command_->add_option("--voltage", voltage_, "the voltage of a PD-APDO profile")->type_name("MV");
  command_->add_option("--cutoff-mv", cutoff_, "end when three readings in a row are below this")
      ->type_name("MV");
  command_->add_option("--max-duration", maxDuration_, "end after this long")->type_name("SECONDS");
  command_
      ->add_option("--recover-timeout", recover_,
                   "milliseconds the contract may stay down before the source counts as given out "
                   "(default 5000)")
      ->type_name("MS");
  command_->add_option("--format", format_, "csv or jsonl (default csv)")->type_name("FORMAT");
  command_->add_option("-o,--output", output_, "write the log rows here")->type_name("FILE");
  command_->add_option("--json", json_, "also write the report as JSON here")->type_name("FILE");
}

bool CapacityCommand::Parsed() const {
  return command_->parsed();
}

int CapacityCommand::Store(CapacityOptions& o, std::FILE* err) const {
  auto u16 = [](auto& into) { return [&into](double v) { into = static_cast<uint16_t>(v); }; };
  const int bad = StoreNumbers(
      {{{"--load", 1, 65535, true, u16(o.loadMa)}, &load_},
       {{"--profile", 1, 7, true, [&](double v) { o.profile = static_cast<uint8_t>(v); }},
        &profile_},
       {{"--voltage", 1, 65535, true, u16(o.voltageMv)}, &voltage_},
       {{"--cutoff-mv", 1, 65535, true, u16(o.cutoffMv)}, &cutoff_},
       {{"--max-duration", 0.001, 31536000, false, [&](double v) { o.maxDurationS = v; }},
        &maxDuration_},
       {{"--recover-timeout", 0, 3600000, true,
         [&](double v) { o.recoverTimeoutMs = static_cast<uint32_t>(v); }},
        &recover_}},
      *command_, err);
  if (bad != 0) return bad;
  if (o.voltageMv && !o.profile) return Refuse(err, "--voltage needs --profile");
  if (const int badFormat = StoreTextFormat(format_, o.format, err)) return badFormat;
  o.output = output_;
  o.json = json_;
  return 0;
}

}  // namespace ralvex::lab
