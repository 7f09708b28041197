// The sweep command's options: `sweep load` steps the load on the present contract, `sweep
// voltage` steps a ranged profile's voltage under a fixed load. Each step is set, settled, held
// and written as one row (lab/sweep_rows.h); --plot draws the rows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "lab/log/row_sink.h"
#include "lab/step_measure.h"

namespace CLI {
class App;
}

namespace ralvex::lab {

// Requests and readings of a ranged profile lie on this grid.
inline constexpr uint32_t VOLTAGE_GRID_MV = 20;

enum SweepKind : uint8_t { SWEEP_LOAD, SWEEP_VOLTAGE };

struct SweepOptions {
  SweepKind kind = SWEEP_LOAD;
  uint32_t from = 0;  // mA for a load sweep, mV for a voltage sweep
  uint32_t to = 0;
  uint32_t step = 1;
  uint8_t profile = 0;  // the ranged profile a voltage sweep moves on
  uint16_t loadMa = 0;  // the load a voltage sweep holds
  StepTiming timing;
  LogFormat format = LOG_CSV;
  std::string output;  // empty: standard output
  std::string plot;    // empty: none
};

// The set values of a sweep: from, from ± step, ... and `to` itself, also when the steps do not
// land on it. A sweep from high to low steps down.
std::vector<uint32_t> SweepSteps(uint32_t from, uint32_t to, uint32_t step);

// Registers `sweep load` and `sweep voltage` on the program; after the parse, Store reads their
// options. Each command keeps the text of its own options (they share names), so the object must
// outlive the parse.
class SweepCommand {
 public:
  explicit SweepCommand(CLI::App& app);
  SweepCommand(const SweepCommand&) = delete;
  SweepCommand& operator=(const SweepCommand&) = delete;

  bool Parsed() const;
  // 0 with the options filled in, else the command-line exit code after the error line.
  int Store(SweepOptions& options, std::FILE* err) const;

 private:
  struct Texts {
    std::string from, to, step, profile, load, settle, hold, format = "csv", output, plot;
  };
  static void AddShared(CLI::App& command, Texts& texts, const char* unit);

  CLI::App* load_;
  CLI::App* voltage_;
  Texts loadTexts_;
  Texts voltageTexts_;
};

}  // namespace ralvex::lab
