#include "cli/options.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "cli/usage.h"

namespace ralvex::cli {

namespace {

constexpr OptionSpec kOptions[] = {
    {OPTION_HELP, "-H", "--HELP", false},
    {OPTION_FIND, "-F", "--FIND", false},
    {OPTION_DEVICE, "-D", "--DEVICE", true},
    {OPTION_INDEX, "-I", "--INDEX", true},
    {OPTION_CONNECTION, "-C", "--CONNECTION", false},
    {OPTION_PROFILES, "-P", "--PROFILES", false},
    {OPTION_STATS, "-S", "--STATS", false},
    {OPTION_SET_PROFILE, "-V", "--SETPROFILE", true},
    {OPTION_LOAD, "-L", "--LOAD", true},
    {OPTION_DEFVOLT, "-N", "--DEFVOLT", true},
    {OPTION_DEFLOAD, "-M", "--DEFLOAD", true},
    {OPTION_MAXLOAD, "-O", "--MAXLOAD", true},
};

// Argument texts of the numeric options: how long they may be as typed, and the upper limit of
// the value (negative: no limit, -i).
struct NumericLimit {
  std::size_t maxLength;
  long maxValue;
};

NumericLimit LimitOf(OptionId id) {
  switch (id) {
    case OPTION_INDEX:
      return {3, -1};
    case OPTION_LOAD:
    case OPTION_DEFLOAD:
    case OPTION_MAXLOAD:
      return {4, 5000};
    case OPTION_DEFVOLT:
      return {5, 21000};
    default:
      return {0, -1};
  }
}

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

// One integer as stream extraction reads it: white space, sign, digits. Fails without digits or
// when the value does not fit a 32-bit signed integer.
bool ReadStreamInt(const char*& cursor, long* value) {
  const char* p = cursor;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!IsDigit(*p)) return false;
  long long magnitude = 0;
  while (IsDigit(*p)) {
    magnitude = magnitude * 10 + (*p++ - '0');
    if (magnitude > static_cast<long long>(INT32_MAX) + 1) return false;
  }
  const long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT32_MAX || signedValue < INT32_MIN) return false;
  *value = static_cast<long>(signedValue);
  cursor = p;
  return true;
}

void PrintLine(std::FILE* stream, const char* first, const char* second = "",
               const char* third = "") {
  std::fprintf(stream, "%s%s%s\n", first, second, third);
  std::fflush(stream);
}

ScanResult Fail(std::FILE* err, int exitCode, const char* programName, bool withUsage,
                const char* message, const char* argument = "", const char* tail = "") {
  PrintLine(err, message, argument, tail);
  if (withUsage) PrintUsage(err, programName);
  return {ScanOutcome::FAILED, exitCode};
}

}  // namespace

const OptionSpec* MatchOption(const char* token) {
  const std::string upper = UpperCase(token);
  for (const OptionSpec& option : kOptions) {
    if (upper == option.shortForm || upper == option.longForm) return &option;
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

int ReadProfileArgument(const char* text, long* index, long* voltage) {
  const char* cursor = text;
  int read = 0;
  long number = 0;
  while (read < 2 && ReadStreamInt(cursor, &number)) {
    (read == 0 ? *index : *voltage) = number;
    ++read;
    if (*cursor == ',') ++cursor;
  }
  return read;
}

ScanResult ScanArguments(int argc, const char* const* argv, const TesterList& testers,
                         RunOptions& options, std::FILE* err) {
  const char* programName = argc > 0 ? argv[0] : nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* token = argv[i];
    const OptionSpec* option = MatchOption(token);
    if (option == nullptr) {
      return Fail(err, RUN_EXIT_INVALID_COMMAND_LINE, programName, true,
                  "Error: unrecognized or incomplete command line (", token, ")");
    }
    const char* argument = nullptr;
    if (option->takesArgument) {
      if (i + 1 >= argc) {
        // "-d/--device option requires one argument."
        const std::string name = std::string(option->shortForm) + "/" + option->longForm;
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return Fail(err, RUN_EXIT_INVALID_COMMAND_LINE, programName, true, lower.c_str(),
                    " option requires one argument.");
      }
      argument = argv[++i];
    }

    switch (option->id) {
      case OPTION_HELP:
        return {ScanOutcome::HELP, RUN_EXIT_SUCCEEDED};
      case OPTION_FIND:
        return {ScanOutcome::FIND, RUN_EXIT_SUCCEEDED};
      case OPTION_CONNECTION:
        options.action = ACTION_CONNECTION;
        break;
      case OPTION_PROFILES:
        options.action = ACTION_PROFILES;
        break;
      case OPTION_STATS:
        options.action = ACTION_STATS;
        break;
      case OPTION_DEVICE: {
        const std::string upper = UpperCase(argument);
        const ResolvedDevice resolved = ResolveDevice(upper.c_str(), testers, testers.count);
        if (resolved.resolution == DeviceResolution::NOT_FOUND) {
          return Fail(err, RUN_EXIT_FAILED_TO_CONNECT, programName, false,
                      "Error: Device not found.");
        }
        if (resolved.resolution == DeviceResolution::INVALID) {
          return Fail(err, RUN_EXIT_INVALID_COMMAND_LINE, programName, true,
                      "Error: invalid argument ", upper.c_str());
        }
        options.selectedIndex = static_cast<int>(resolved.index);
        break;
      }
      case OPTION_SET_PROFILE: {
        long index = 0;
        long voltage = DEFAULT_PROFILE_VOLTAGE_MV;
        const int read = ReadProfileArgument(argument, &index, &voltage);
        options.profileArgument = argument;
        // No readable index counts as index 0. An index outside 1..255 is refused as a whole
        // rather than cut to its low byte (257 would otherwise request profile 1).
        if (read == 0 || index <= 0 || index > UINT8_MAX) {
          return Fail(err, RUN_EXIT_INVALID_PROFILE, programName, true, "Error: invalid profile ",
                      argument);
        }
        options.profileIndex = static_cast<std::uint8_t>(index);
        options.profileVoltage =
            read == 2 ? static_cast<std::uint16_t>(voltage & 0xFFFF) : DEFAULT_PROFILE_VOLTAGE_MV;
        options.action = ACTION_SET_PROFILE;
        break;
      }
      case OPTION_INDEX:
      case OPTION_LOAD:
      case OPTION_DEFVOLT:
      case OPTION_DEFLOAD:
      case OPTION_MAXLOAD: {
        const NumericLimit limit = LimitOf(option->id);
        long value = 0;
        bool valid = ReadLimitedDecimal(argument, limit.maxLength, &value);
        const auto low16 = static_cast<std::uint16_t>(static_cast<unsigned long>(value) & 0xFFFF);
        if (valid && limit.maxValue >= 0 && low16 > limit.maxValue) valid = false;
        if (!valid) {
          return Fail(err, RUN_EXIT_INVALID_COMMAND_LINE, programName, true,
                      "Error: invalid argument ", argument);
        }
        switch (option->id) {
          case OPTION_INDEX:
            // Out-of-range positions (negative, or beyond the list) are refused at the open.
            options.selectedIndex = static_cast<int>(value);
            break;
          case OPTION_LOAD:
            options.load = low16;
            options.action = ACTION_SET_LOAD;
            break;
          case OPTION_DEFVOLT:
            options.defaultVoltage = low16;
            options.action = ACTION_SET_DEFVOLT;
            break;
          case OPTION_DEFLOAD:
            options.defaultLoad = low16;
            options.action = ACTION_SET_DEFLOAD;
            break;
          default:
            options.maxLoad = low16;
            options.action = ACTION_SET_MAXLOAD;
            break;
        }
        break;
      }
    }
  }
  return {ScanOutcome::RUN, RUN_EXIT_SUCCEEDED};
}

}  // namespace ralvex::cli
