#include "cli/options.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "cli/actions.h"
#include "cli/usage.h"

namespace ralvex::cli {

namespace {

std::string UpperCase(const char* text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool IsSpace(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

enum StreamRead : uint8_t { STREAM_READ_OK, STREAM_READ_NO_NUMBER, STREAM_READ_TOO_LARGE };

// One integer as stream extraction reads it: white space, sign, digits. Fails without digits or
// when the value does not fit a 32-bit signed integer.
StreamRead ReadStreamInt(const char*& cursor, long* value) {
  const char* p = cursor;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!IsDigit(*p)) return STREAM_READ_NO_NUMBER;
  long long magnitude = 0;
  while (IsDigit(*p)) {
    magnitude = magnitude * 10 + (*p++ - '0');
    if (magnitude > static_cast<long long>(INT32_MAX) + 1) return STREAM_READ_TOO_LARGE;
  }
  const long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT32_MAX || signedValue < INT32_MIN) return STREAM_READ_TOO_LARGE;
  *value = static_cast<long>(signedValue);
  cursor = p;
  return STREAM_READ_OK;
}

void PrintLine(std::FILE* stream, const char* first, const char* second = "",
               const char* third = "") {
  std::fprintf(stream, "%s%s%s\n", first, second, third);
  std::fflush(stream);
}

}  // namespace

struct ScanState {
  const TesterList& testers;
  RunOptions& options;
  std::FILE* err;
  const char* programName;
};

namespace {

ScanResult Fail(const ScanState& state, int exitCode, bool withUsage, const char* message,
                const char* argument = "", const char* tail = "") {
  PrintLine(state.err, message, argument, tail);
  if (withUsage) PrintUsage(state.err, state.programName);
  return {SCAN_FAILED, exitCode};
}

ScanResult InvalidArgument(const ScanState& state, const char* argument) {
  return Fail(state, RUN_EXIT_INVALID_COMMAND_LINE, true, "Error: invalid argument ", argument);
}

constexpr ScanResult SCAN_GO_ON = {SCAN_RUN, RUN_EXIT_SUCCEEDED};

template <ScanOutcome OUTCOME>
ScanResult EndScan(const OptionRow&, const char*, ScanState&) {
  return {OUTCOME, RUN_EXIT_SUCCEEDED};
}

ScanResult ChooseAction(const OptionRow& row, const char*, ScanState& state) {
  state.options.action = row.action;
  return SCAN_GO_ON;
}

ScanResult SelectDevice(const OptionRow&, const char* argument, ScanState& state) {
  const std::string upper = UpperCase(argument);
  const ResolvedDevice resolved = ResolveDevice(upper.c_str(), state.testers, state.testers.count);
  if (resolved.resolution == DEVICE_NOT_FOUND) {
    return Fail(state, RUN_EXIT_FAILED_TO_CONNECT, false, "Error: Device not found.");
  }
  if (resolved.resolution == DEVICE_INVALID) {
    return Fail(state, RUN_EXIT_INVALID_COMMAND_LINE, true, "Error: invalid argument ",
                upper.c_str());
  }
  state.options.selectedIndex = static_cast<int>(resolved.index);
  return SCAN_GO_ON;
}

ScanResult SelectIndex(const OptionRow& row, const char* argument, ScanState& state) {
  long value = 0;
  if (!ReadLimitedDecimal(argument, row.maxLength, &value)) return InvalidArgument(state, argument);
  // Out-of-range positions (negative, or beyond the list) are refused at the open.
  state.options.selectedIndex = static_cast<int>(value);
  return SCAN_GO_ON;
}

ScanResult ChooseProfile(const OptionRow& row, const char* argument, ScanState& state) {
  const ProfileArgument read = ReadProfileArgument(argument);
  state.options.profileArgument = argument;
  // No readable index counts as index 0. An index outside 1..255 is refused as a whole rather
  // than cut to its low byte (257 would otherwise request profile 1).
  if (read.numbers == 0 || read.index <= 0 || read.index > UINT8_MAX) {
    return Fail(state, RUN_EXIT_INVALID_PROFILE, true, "Error: invalid profile ", argument);
  }
  // Likewise a voltage the request cannot carry whole: asking a source for its low 16 bits, or
  // for the default after digits too long to read, would request a voltage nobody typed.
  const bool voltageTooLarge = read.numbers == 1 && read.tooLarge;
  const bool voltageOutOfRange =
      read.numbers == 2 && (read.voltage < 0 || read.voltage > UINT16_MAX);
  if (voltageTooLarge || voltageOutOfRange) return InvalidArgument(state, argument);
  state.options.profileIndex = static_cast<uint8_t>(read.index);
  state.options.profileVoltage =
      read.numbers == 2 ? static_cast<uint16_t>(read.voltage) : PROFILE_DEFAULT_VOLTAGE_MV;
  state.options.action = row.action;
  return SCAN_GO_ON;
}

ScanResult SetValue(const OptionRow& row, const char* argument, ScanState& state) {
  long value = 0;
  // The whole value is judged: 70000 is refused, not taken as its low 16 bits (4464).
  if (!ReadLimitedDecimal(argument, row.maxLength, &value) || value < 0 || value > row.maxValue) {
    return InvalidArgument(state, argument);
  }
  state.options.*row.value = static_cast<uint16_t>(value);
  state.options.action = row.action;
  return SCAN_GO_ON;
}

// One row per option: short and long form, whether an argument follows, the longest argument
// text and highest value accepted (0 where no number is judged), the action chosen (the function
// that carries it out), the field a value goes to, and the step that applies it.
// clang-format off
constexpr OptionRow OPTION_ROWS[] = {
    {"-H", "--HELP",       false, 0, 0,     nullptr,             nullptr, EndScan<SCAN_HELP>},
    {"-F", "--FIND",       false, 0, 0,     nullptr,             nullptr, EndScan<SCAN_FIND>},
    {"-D", "--DEVICE",     true,  0, 0,     nullptr,             nullptr, SelectDevice},
    {"-I", "--INDEX",      true,  3, 0,     nullptr,             nullptr, SelectIndex},
    {"-C", "--CONNECTION", false, 0, 0,     ReportConnection,    nullptr, ChooseAction},
    {"-P", "--PROFILES",   false, 0, 0,     ReportProfiles,      nullptr, ChooseAction},
    {"-S", "--STATS",      false, 0, 0,     ReportStats,         nullptr, ChooseAction},
    {"-V", "--SETPROFILE", true,  0, 0,     SetChosenProfile,    nullptr, ChooseProfile},
    {"-L", "--LOAD",       true,  4, 5000,  SetLoad,             &RunOptions::load,           SetValue},
    {"-N", "--DEFVOLT",    true,  5, 21000, StoreDefaultVoltage, &RunOptions::defaultVoltage, SetValue},
    {"-M", "--DEFLOAD",    true,  4, 5000,  StoreDefaultLoad,    &RunOptions::defaultLoad,    SetValue},
    {"-O", "--MAXLOAD",    true,  4, 5000,  StoreMaxLoad,        &RunOptions::maxLoad,        SetValue},
};
// clang-format on

// "-d/--device option requires one argument."
ScanResult MissingArgument(const ScanState& state, const OptionRow& row) {
  std::string name = std::string(row.shortForm) + "/" + row.longForm;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Fail(state, RUN_EXIT_INVALID_COMMAND_LINE, true, name.c_str(),
              " option requires one argument.");
}

}  // namespace

std::span<const OptionRow> OptionRows() {
  return OPTION_ROWS;
}

const OptionRow* MatchOption(const char* token) {
  const std::string upper = UpperCase(token);
  for (const OptionRow& row : OPTION_ROWS) {
    if (upper == row.shortForm || upper == row.longForm) return &row;
  }
  return nullptr;
}

bool ReadLimitedDecimal(const char* text, std::size_t maxLength, long* value) {
  if (std::strlen(text) > maxLength) return false;
  const char* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!IsDigit(*p)) return false;
  long magnitude = 0;
  while (IsDigit(*p)) magnitude = magnitude * 10 + (*p++ - '0');
  *value = negative ? -magnitude : magnitude;
  return true;
}

ProfileArgument ReadProfileArgument(const char* text) {
  ProfileArgument argument;
  const char* cursor = text;
  while (argument.numbers < 2) {
    long number = 0;
    const StreamRead read = ReadStreamInt(cursor, &number);
    if (read != STREAM_READ_OK) {
      argument.tooLarge = read == STREAM_READ_TOO_LARGE;
      break;
    }
    (argument.numbers == 0 ? argument.index : argument.voltage) = number;
    ++argument.numbers;
    if (*cursor == ',') ++cursor;
  }
  return argument;
}

ScanResult ScanArguments(int argc, const char* const* argv, const TesterList& testers,
                         RunOptions& options, std::FILE* err) {
  ScanState state{testers, options, err, argc > 0 ? argv[0] : nullptr};
  for (int i = 1; i < argc; ++i) {
    const char* token = argv[i];
    const OptionRow* row = MatchOption(token);
    if (row == nullptr) {
      return Fail(state, RUN_EXIT_INVALID_COMMAND_LINE, true,
                  "Error: unrecognized or incomplete command line (", token, ")");
    }
    const char* argument = nullptr;
    if (row->takesArgument) {
      if (i + 1 >= argc) return MissingArgument(state, *row);
      argument = argv[++i];
    }
    const ScanResult step = row->apply(*row, argument, state);
    if (step.outcome != SCAN_RUN) return step;
  }
  return SCAN_GO_ON;
}

}  // namespace ralvex::cli
