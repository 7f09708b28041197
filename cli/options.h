// The command line: the option table with its case-insensitive matching, the numeric and -v
// argument readers, and the left-to-right argument scan that fills RunOptions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "testers/discovery.h"

namespace ralvex::testers {
class TesterSession;
}  // namespace ralvex::testers

namespace ralvex::cli {
// Discovery and the tester choice live in testers/, which ralvex-lab shares; the front end uses
// their names as its own.
using namespace ralvex::testers;
}  // namespace ralvex::cli

namespace ralvex::cli {

// Exit codes of a run (the help text's numbers; 2 is listed there but no run ends with it).
inline constexpr int RUN_EXIT_SUCCEEDED = 0;
inline constexpr int RUN_EXIT_INVALID_COMMAND_LINE = 1;
inline constexpr int RUN_EXIT_NO_DEVICE_DETECTED = 2;
inline constexpr int RUN_EXIT_FAILED_TO_CONNECT = 3;
inline constexpr int RUN_EXIT_INVALID_PROFILE = 4;
// The tester opened but did not answer the action's request.
inline constexpr int RUN_EXIT_NO_ANSWER = RUN_EXIT_FAILED_TO_CONNECT;

struct RunOptions;

// An action: what an option has the run do on the open tester (cli/actions.h). Reports go to
// `out`, messages to `err`; returns the run's exit code.
using Action = int (*)(TesterSession& session, const RunOptions& options, std::FILE* out,
                       std::FILE* err);

inline constexpr uint16_t PROFILE_DEFAULT_VOLTAGE_MV = 5000;

struct RunOptions {
  Action action = nullptr;  // null: no action was chosen
  // Position in the TesterList. Kept wider than a byte so that -i 256 names position 256 (no
  // tester) instead of wrapping round to the first one.
  int selectedIndex = 0;
  uint8_t profileIndex = 0;  // 1-based
  uint16_t profileVoltage = PROFILE_DEFAULT_VOLTAGE_MV;
  std::string profileArgument;  // the -v argument as typed
  uint16_t load = 0;
  uint16_t defaultVoltage = 0;
  uint16_t defaultLoad = 0;
  uint16_t maxLoad = 0;
};

enum ScanOutcome : uint8_t {
  SCAN_RUN,     // go on to open the tester
  SCAN_HELP,    // -h: print the usage text, end with 0
  SCAN_FIND,    // -f: print the listing, end with 0
  SCAN_FAILED,  // a message (and the usage text where due) is written; end with `exitCode`
};

struct ScanResult {
  ScanOutcome outcome = SCAN_RUN;
  int exitCode = RUN_EXIT_SUCCEEDED;
};

// What the argument scan works on; the option rows' steps read and fill it.
struct ScanState;

// One option: its forms, how its argument is judged, what it sets, and the step that applies it
// (which returns RUN to let the scan go on). A new option is one more row in options.cpp.
struct OptionRow {
  const char* shortForm;  // upper case, as compared
  const char* longForm;   // upper case, as compared
  bool takesArgument;
  std::size_t maxLength;        // numeric arguments: the longest text accepted as typed
  long maxValue;                // numeric values: the highest accepted
  Action action;                // the action the option chooses; null when it chooses none
  uint16_t RunOptions::*value;  // where a numeric value is kept, or null
  ScanResult (*apply)(const OptionRow& row, const char* argument, ScanState& state);
};

// Every option, in the order the usage text lists them.
std::span<const OptionRow> OptionRows();

// The option a token names, matched case-insensitively against the exact short or long form;
// null for anything else ("-help", "-cp", "--help=1").
const OptionRow* MatchOption(const char* token);

// A decimal number read as strtol(text, ..., 10) reads it: leading white space, an optional sign,
// digits, anything after them ignored. False when the text is longer than `maxLength` characters
// or holds no digits. `maxLength` is at most 9, so the value always fits.
bool ReadLimitedDecimal(const char* text, std::size_t maxLength, long* value);

// The -v argument read as formatted stream input reads "index[,voltage]": integers separated by
// white space or one comma each, stopping at the first thing that is no 32-bit integer.
struct ProfileArgument {
  int numbers = 0;  // how many of the first two integers were read (0, 1 or 2)
  long index = 0;
  long voltage = 0;
  bool tooLarge = false;  // the reading stopped at digits beyond a 32-bit integer
};
ProfileArgument ReadProfileArgument(const char* text);

// Scans argv[1..argc-1] strictly left to right into `options`. -d is resolved against `testers`
// (the start-up scan's list). Errors are written to `err`, with the usage text (for `argv[0]`)
// where due; the first error, -h or -f ends the scan.
ScanResult ScanArguments(int argc, const char* const* argv, const TesterList& testers,
                         RunOptions& options, std::FILE* err);

}  // namespace ralvex::cli
