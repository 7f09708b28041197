#include "lab/sweep_options.h"

#include <CLI/CLI.hpp>

#include "lab/option_numbers.h"

namespace ralvex::lab {

std::vector<uint32_t> SweepSteps(uint32_t from, uint32_t to, uint32_t step) {
  std::vector<uint32_t> steps;
  const bool up = to >= from;
  const uint32_t span = up ? to - from : from - to;
  for (uint64_t offset = 0; offset < span && step > 0; offset += step) {
    steps.push_back(static_cast<uint32_t>(up ? from + offset : from - offset));
  }
  steps.push_back(to);
  return steps;
}

SweepCommand::SweepCommand(CLI::App& app) {
  CLI::App* sweep = app.add_subcommand("sweep",
                                       "step the load or a ranged profile's voltage, "
                                       "one row per step");
  sweep->require_subcommand(1);
  load_ = sweep->add_subcommand("load", "step the load on the present contract");
  AddShared(*load_, loadTexts_, "MA");
  voltage_ = sweep->add_subcommand("voltage", "step a PD-APDO profile's voltage under a load");
  AddShared(*voltage_, voltageTexts_, "MV");
  voltage_->add_option("--profile", voltageTexts_.profile, "the PD-APDO profile to sweep")
      ->type_name("N")
      ->required();
  voltage_->add_option("--load", voltageTexts_.load, "the load in mA to hold (default 0)")
      ->type_name("MA");
}

void SweepCommand::AddShared(CLI::App& command, Texts& texts, const char* unit) {
  command.add_option("--from", texts.from, "the first step's value")->type_name(unit)->required();
  command.add_option("--to", texts.to, "the last step's value")->type_name(unit)->required();
  command.add_option("--step", texts.step, "the distance between steps")
      ->type_name(unit)
      ->required();
  command
      .add_option("--settle", texts.settle, "milliseconds to wait after each setting (default 500)")
      ->type_name("MS");
  command.add_option("--hold", texts.hold, "milliseconds to sample each step (default 1000)")
      ->type_name("MS");
  command.add_option("--format", texts.format, "csv or jsonl (default csv)")->type_name("FORMAT");
  command.add_option("-o,--output", texts.output, "the file to write (default standard output)")
      ->type_name("FILE");
  command.add_option("--plot", texts.plot, "also draw the sweep as SVG here")
      ->type_name("FILE.svg");
}

bool SweepCommand::Parsed() const {
  return load_->parsed() || voltage_->parsed();
}

int SweepCommand::Store(SweepOptions& o, std::FILE* err) const {
  const bool voltage = voltage_->parsed();
  const Texts& t = voltage ? voltageTexts_ : loadTexts_;
  const CLI::App& command = voltage ? *voltage_ : *load_;
  o.kind = voltage ? SWEEP_VOLTAGE : SWEEP_LOAD;
  auto whole = [](uint32_t& into) {
    return [&into](double v) { into = static_cast<uint32_t>(v); };
  };
  auto millis = [](Millis& into) {
    return [&into](double v) { into = Millis(static_cast<int64_t>(v)); };
  };
  const int bad = StoreNumbers(
      {{{"--from", 0, 65535, true, whole(o.from)}, &t.from},
       {{"--to", 0, 65535, true, whole(o.to)}, &t.to},
       {{"--step", 1, 65535, true, whole(o.step)}, &t.step},
       {{"--profile", 1, 7, true, [&](double v) { o.profile = static_cast<uint8_t>(v); }},
        &t.profile},
       {{"--load", 0, 65535, true, [&](double v) { o.loadMa = static_cast<uint16_t>(v); }},
        &t.load},
       {{"--settle", 0, 3600000, true, millis(o.timing.settle)}, &t.settle},
       {{"--hold", 1, 3600000, true, millis(o.timing.hold)}, &t.hold}},
      command, err);
  if (bad != 0) return bad;
  if (const int badFormat = StoreTextFormat(t.format, o.format, err)) return badFormat;
  o.output = t.output;
  o.plot = t.plot;
  if (voltage && (o.from % VOLTAGE_GRID_MV || o.to % VOLTAGE_GRID_MV || o.step % VOLTAGE_GRID_MV)) {
    return Refuse(err,
                  "a voltage sweep's --from, --to and --step must be multiples of 20 mV "
                  "(the ranged profile's grid)");
  }
  return 0;
}

}  // namespace ralvex::lab
