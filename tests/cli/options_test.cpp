#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "cli/actions.h"
#include "cli/options.h"
#include "tests/cli/capture.h"

namespace ralvex::cli {
namespace {

// Runs the argument scan on "ralvex" + args against two listed testers; keeps what it wrote.
struct Scan {
  ScanResult result;
  RunOptions options;
  std::string err;
};

Scan ScanOf(std::initializer_list<const char*> args) {
  TesterList testers;
  std::snprintf(testers.serials[0], TESTER_SERIAL_SIZE, "%s", "KORA4VLH7Y");
  std::snprintf(testers.serials[1], TESTER_SERIAL_SIZE, "%s", "KORA91C2ZP");
  testers.count = 2;
  std::vector<const char*> argv = {"ralvex"};
  argv.insert(argv.end(), args.begin(), args.end());
  Scan scan;
  scan.err = test_support::Capture([&](std::FILE* f) {
    scan.result =
        ScanArguments(static_cast<int>(argv.size()), argv.data(), testers, scan.options, f);
  });
  return scan;
}

bool HasUsage(const std::string& err) {
  return err.find("Usage: ralvex [-f]") != std::string::npos;
}

std::string FirstLine(const std::string& err) {
  return err.substr(0, err.find('\n'));
}

TEST(OptionsMatch, IgnoresCaseButNeedsTheExactForm) {
  for (const char* token : {"-h", "-H", "--help", "--Help", "--HELP"}) {
    ASSERT_NE(MatchOption(token), nullptr) << token;
    EXPECT_STREQ(MatchOption(token)->shortForm, "-H") << token;
  }
  EXPECT_STREQ(MatchOption("--SetProfile")->shortForm, "-V");
  EXPECT_STREQ(MatchOption("-o")->longForm, "--MAXLOAD");
  for (const char* token : {"-help", "-cp", "--help=1", "h", "--", "-", "", "---h", "-\xe9"}) {
    EXPECT_EQ(MatchOption(token), nullptr) << token;
  }
}

TEST(OptionsDecimal, ReadsLikeStrtolWithinTheLength) {
  long v = -7;
  EXPECT_TRUE(ReadLimitedDecimal("12ab", 4, &v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(ReadLimitedDecimal(" +7", 4, &v));
  EXPECT_EQ(v, 7);
  EXPECT_TRUE(ReadLimitedDecimal("-0", 4, &v));
  EXPECT_EQ(v, 0);
  EXPECT_FALSE(ReadLimitedDecimal("05000", 4, &v));
  EXPECT_FALSE(ReadLimitedDecimal("abc", 4, &v));
  EXPECT_FALSE(ReadLimitedDecimal("", 4, &v));
  EXPECT_FALSE(ReadLimitedDecimal("-", 4, &v));
  EXPECT_FALSE(ReadLimitedDecimal("  ", 4, &v));
}

TEST(OptionsProfileArgument, ReadsIndexAndOptionalVoltage) {
  struct Case {
    const char* text;
    int numbers;
    long index;
    long voltage;
    bool tooLarge;
  };
  const Case cases[] = {
      {"3,6000,9", 2, 3, 6000, false},
      {"3;6000", 1, 3, 0, false},
      {" 4 7000", 2, 4, 7000, false},
      {"3,,6000", 1, 3, 0, false},
      {"abc", 0, 0, 0, false},
      {"", 0, 0, 0, false},
      {"2147483648", 0, 0, 0, true},
      {"2,99999999999", 1, 2, 0, true},
      {"2,-2147483648", 2, 2, INT32_MIN, false},
      {"1,2,99999999999", 2, 1, 2, false},
  };
  for (const Case& c : cases) {
    const ProfileArgument read = ReadProfileArgument(c.text);
    EXPECT_EQ(read.numbers, c.numbers) << c.text;
    if (read.numbers > 0) {
      EXPECT_EQ(read.index, c.index) << c.text;
    }
    if (read.numbers > 1) {
      EXPECT_EQ(read.voltage, c.voltage) << c.text;
    }
    EXPECT_EQ(read.tooLarge, c.tooLarge) << c.text;
  }
}

TEST(OptionsScan, LastActionWinsAndValuesOfEarlierOnesAreKept) {
  Scan s = ScanOf({"-c", "-s"});
  EXPECT_EQ(s.result.outcome, SCAN_RUN);
  EXPECT_EQ(s.options.action, &ReportStats);

  s = ScanOf({"-l", "100", "-c"});
  EXPECT_EQ(s.options.action, &ReportConnection);
  EXPECT_EQ(s.options.load, 100);

  s = ScanOf({"--LOAD", "1", "-l", "2"});
  EXPECT_EQ(s.options.load, 2);
  EXPECT_EQ(s.err, "");

  s = ScanOf({});
  EXPECT_EQ(s.result.outcome, SCAN_RUN);
  EXPECT_EQ(s.options.action, nullptr);
  EXPECT_EQ(s.options.selectedIndex, 0);
}

TEST(OptionsScan, TokensAreTakenStrictlyLeftToRight) {
  Scan s = ScanOf({"-x", "-h"});
  EXPECT_EQ(s.result.outcome, SCAN_FAILED);
  EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE);
  EXPECT_EQ(FirstLine(s.err), "Error: unrecognized or incomplete command line (-x)");
  EXPECT_TRUE(HasUsage(s.err));

  s = ScanOf({"-h", "-x"});
  EXPECT_EQ(s.result.outcome, SCAN_HELP);
  EXPECT_EQ(s.err, "");

  s = ScanOf({"-l", "9999", "-f"});
  EXPECT_EQ(s.result.outcome, SCAN_FAILED);
  s = ScanOf({"-F", "-l", "9999"});
  EXPECT_EQ(s.result.outcome, SCAN_FIND);

  s = ScanOf({"-Cp"});
  EXPECT_EQ(FirstLine(s.err), "Error: unrecognized or incomplete command line (-Cp)");
}

TEST(OptionsScan, MissingArgumentNamesTheOption) {
  const std::pair<const char*, const char*> cases[] = {
      {"-d", "-d/--device"},  {"--INDEX", "-i/--index"}, {"-V", "-v/--setprofile"},
      {"-l", "-l/--load"},    {"-n", "-n/--defvolt"},    {"-m", "-m/--defload"},
      {"-o", "-o/--maxload"},
  };
  for (const auto& [token, name] : cases) {
    Scan s = ScanOf({"-c", token});
    EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE) << token;
    EXPECT_EQ(FirstLine(s.err), std::string(name) + " option requires one argument.");
    EXPECT_TRUE(HasUsage(s.err));
  }
}

TEST(OptionsScan, NumericLimitsAndLengths) {
  struct Case {
    const char* option;
    const char* text;
    bool ok;
    uint16_t value;
  };
  const Case cases[] = {
      {"-l", "5000", true, 5000}, {"-l", "5001", false, 0},  {"-l", "05000", false, 0},
      {"-l", "-0", true, 0},      {"-l", "12ab", true, 12},  {"-l", "abc", false, 0},
      {"-l", "-1", false, 0},     {"-l", "", false, 0},      {"-n", "21000", true, 21000},
      {"-n", "21001", false, 0},  {"-n", "-9999", false, 0}, {"-m", "0", true, 0},
      {"-n", "70000", false, 0},  {"-n", "65536", false, 0}, {"-n", "86536", false, 0},
      {"-m", "5001", false, 0},   {"-o", "0", true, 0},      {"-o", "4999", true, 4999},
  };
  for (const Case& c : cases) {
    Scan s = ScanOf({c.option, c.text});
    if (c.ok) {
      EXPECT_EQ(s.result.outcome, SCAN_RUN) << c.option << " " << c.text;
      const uint16_t value = c.option[1] == 'l'   ? s.options.load
                             : c.option[1] == 'n' ? s.options.defaultVoltage
                             : c.option[1] == 'm' ? s.options.defaultLoad
                                                  : s.options.maxLoad;
      EXPECT_EQ(value, c.value) << c.option << " " << c.text;
    } else {
      EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE) << c.option << " " << c.text;
      EXPECT_EQ(FirstLine(s.err), std::string("Error: invalid argument ") + c.text);
      EXPECT_TRUE(HasUsage(s.err));
    }
  }
}

TEST(OptionsScan, IndexKeepsItsWholeValue) {
  EXPECT_EQ(ScanOf({"-i", "1"}).options.selectedIndex, 1);
  EXPECT_EQ(ScanOf({"-i", "256"}).options.selectedIndex, 256);  // no wrap to the first tester
  EXPECT_EQ(ScanOf({"-i", "-1"}).options.selectedIndex, -1);
  Scan s = ScanOf({"-i", "1000"});
  EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE);
  EXPECT_EQ(FirstLine(s.err), "Error: invalid argument 1000");
  EXPECT_EQ(ScanOf({"-i", "1", "-d", "any"}).options.selectedIndex, 0);  // the later one wins
  EXPECT_EQ(ScanOf({"-d", "kora91c2zp", "-i", "0"}).options.selectedIndex, 0);
}

TEST(OptionsScan, DeviceArgument) {
  for (const char* any : {"any", "Any", "ANY"}) {
    Scan s = ScanOf({"-i", "1", "-d", any});
    EXPECT_EQ(s.result.outcome, SCAN_RUN);
    EXPECT_EQ(s.options.selectedIndex, 0);
  }
  EXPECT_EQ(ScanOf({"--device", "kora91C2zp"}).options.selectedIndex, 1);

  Scan s = ScanOf({"-d", "xyzKORA1", "-h"});
  EXPECT_EQ(s.result.exitCode, RUN_EXIT_FAILED_TO_CONNECT);
  EXPECT_EQ(s.err, "Error: Device not found.\n");

  s = ScanOf({"-d", "-c"});
  EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE);
  EXPECT_EQ(FirstLine(s.err), "Error: invalid argument -C");
  EXPECT_TRUE(HasUsage(s.err));

  s = ScanOf({"-d", ""});
  EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE);
  EXPECT_EQ(FirstLine(s.err), "Error: invalid argument ");
}

TEST(OptionsScan, ProfileArgument) {
  Scan s = ScanOf({"-v", "3"});
  EXPECT_EQ(s.options.action, &SetChosenProfile);
  EXPECT_EQ(s.options.profileIndex, 3);
  EXPECT_EQ(s.options.profileVoltage, 5000);

  s = ScanOf({"-v", "3,6000,9"});
  EXPECT_EQ(s.options.profileVoltage, 6000);
  EXPECT_EQ(s.options.profileArgument, "3,6000,9");

  s = ScanOf({"-v", "5,65535"});  // any voltage the request can carry; the tester judges it
  EXPECT_EQ(s.options.profileVoltage, 65535);

  s = ScanOf({"-v", "5,6000", "-v", "2"});
  EXPECT_EQ(s.options.profileIndex, 2);
  EXPECT_EQ(s.options.profileVoltage, 5000);
}

TEST(OptionsScan, ProfileVoltageThatTheRequestCannotCarryIsAnInvalidArgument) {
  for (const char* text : {"5,70000", "5,65536", "5,99999999999", "5,-1", "5 -5000"}) {
    Scan s = ScanOf({"-v", text, "-h"});
    EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_COMMAND_LINE) << text;
    EXPECT_EQ(FirstLine(s.err), std::string("Error: invalid argument ") + text);
    EXPECT_TRUE(HasUsage(s.err)) << text;
  }
}

TEST(OptionsScan, ProfileIndexThatNamesNoProfileIsRefusedWithUsage) {
  for (const char* text :
       {"0,5000", "256", "257", "-1", "abc", "", ",3", "0,70000", "99999999999,5000"}) {
    Scan s = ScanOf({"-v", text, "-h"});
    EXPECT_EQ(s.result.exitCode, RUN_EXIT_INVALID_PROFILE) << text;
    EXPECT_EQ(FirstLine(s.err), std::string("Error: invalid profile ") + text);
    EXPECT_TRUE(HasUsage(s.err)) << text;
  }
}

}  // namespace
}  // namespace ralvex::cli
