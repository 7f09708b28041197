// ralvex-lab's command line: the tester choice shared by every command, then one subcommand
// (status, log, sweep, capacity or serve) with its own options. Parsed with CLI11; a bad value ends
// the run with exit 1 and one line naming the option and the value, and a hint to --help.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "lab/capacity_options.h"
#include "lab/log/row_sink.h"
#include "lab/serve_options.h"
#include "lab/sweep_options.h"
#include "lab/verify_options.h"

namespace ralvex::lab {

inline constexpr int LAB_EXIT_DONE = 0;
inline constexpr int LAB_EXIT_INVALID_COMMAND_LINE = 1;
inline constexpr int LAB_EXIT_NO_TESTER = 3;  // none found, not opened, or lost for good
inline constexpr int LAB_EXIT_INVALID_PROFILE = 4;
inline constexpr int LAB_EXIT_VERIFY_FAILED = 5;  // a check did not pass
inline constexpr int LAB_EXIT_OUTPUT_FAILED = 6;  // the log could not be written or finished

enum LabCommand : uint8_t { LAB_STATUS, LAB_LOG, LAB_SWEEP, LAB_CAPACITY, LAB_VERIFY, LAB_SERVE };

struct LogOptions {
  uint32_t intervalMs = 100;  // 0: as fast as the line allows
  std::optional<double> durationS;
  std::optional<uint64_t> samples;
  std::optional<uint16_t> loadMa;
  LogFormat format = LOG_CSV;
  std::string output;       // empty: standard output
  std::string summaryJson;  // empty: none
  uint32_t reconnectS = 30;
  bool quiet = false;
};

struct LabOptions {
  LabCommand command = LAB_STATUS;
  std::string device;  // a serial number or "Any"; empty: none given
  std::optional<long> index;
  bool json = false;  // status --json
  LogOptions log;
  SweepOptions sweep;
  CapacityOptions capacity;
  VerifyOptions verify;
  ServeOptions serve;
  std::string given;  // the options as given, for the log's run record
};

// The outcome of parsing: either options to run with, or an exit code (0 after --help or
// --version, whose text went to `out`; 1 after an error line on `err`).
struct ParsedCommandLine {
  std::optional<LabOptions> options;
  int exitCode = LAB_EXIT_DONE;
};

ParsedCommandLine ParseLabCommandLine(int argc, const char* const* argv, std::FILE* out,
                                      std::FILE* err);

}  // namespace ralvex::lab
