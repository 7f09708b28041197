#include "lab/lab_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/lab/lab_parse.h"

namespace ralvex::lab {
namespace {

using test_support::Parse;
using test_support::Parsed;

struct BadCase {
  std::vector<std::string> args;
  const char* named;  // the option and the value the line must name
};

TEST(LabOptions, BadValuesEndWithOneLineNamingOptionAndValueAndAHint) {
  const BadCase cases[] = {
      {{"log", "--interval", "abc"}, "'abc' for --interval"},
      {{"log", "--interval", "-5"}, "'-5' for --interval"},
      {{"log", "--interval", "1.5"}, "'1.5' for --interval"},
      {{"log", "--duration", "0"}, "'0' for --duration"},
      {{"log", "--duration", "soon"}, "'soon' for --duration"},
      {{"log", "--samples", "0"}, "'0' for --samples"},
      {{"log", "--load", "70000"}, "'70000' for --load"},
      {{"log", "--load", ""}, "for --load"},
      {{"log", "--reconnect", "x"}, "'x' for --reconnect"},
      {{"log", "--format", "xml"}, "'xml' for --format"},
      {{"--index", "-1", "status"}, "'-1' for --index"},
      {{"log", "--format", "sqlite"}, "--format sqlite needs a file"},
      {{"log", "--bogus"}, "--bogus"},
      {{"status", "--interval", "5"}, "--interval"},
      {{}, "ubcommand is required"},
      {{"dance"}, "dance"},
  };
  for (const BadCase& c : cases) {
    const Parsed parsed = Parse(c.args);
    SCOPED_TRACE(parsed.err);
    EXPECT_FALSE(parsed.result.options.has_value());
    EXPECT_EQ(parsed.result.exitCode, LAB_EXIT_INVALID_COMMAND_LINE);
    EXPECT_NE(parsed.err.find(c.named), std::string::npos);
    EXPECT_NE(parsed.err.find("--help"), std::string::npos);
    EXPECT_EQ(parsed.err.find('\n'), parsed.err.size() - 1);  // one line
  }
}

TEST(LabOptions, GoodLinesFillTheOptions) {
  const Parsed parsed =
      Parse({"--device", "Any",         "-i",    "2",         "log",     "--interval",
             "0",        "--duration",  "2.5",   "--samples", "7",       "--load",
             "1000",     "--format",    "jsonl", "-o",        "x.jsonl", "--summary-json",
             "s.json",   "--reconnect", "5",     "--quiet"});
  ASSERT_TRUE(parsed.result.options.has_value()) << parsed.err;
  const LabOptions& o = *parsed.result.options;
  EXPECT_EQ(o.command, LAB_LOG);
  EXPECT_EQ(o.device, "Any");
  EXPECT_EQ(o.index, 2);
  EXPECT_EQ(o.log.intervalMs, 0u);
  EXPECT_DOUBLE_EQ(o.log.durationS.value_or(0), 2.5);
  EXPECT_EQ(o.log.samples, 7u);
  EXPECT_EQ(o.log.loadMa, 1000);
  EXPECT_EQ(o.log.format, LOG_JSONL);
  EXPECT_EQ(o.log.output, "x.jsonl");
  EXPECT_EQ(o.log.summaryJson, "s.json");
  EXPECT_EQ(o.log.reconnectS, 5u);
  EXPECT_TRUE(o.log.quiet);
}

TEST(LabOptions, DefaultsOfTheLog) {
  const Parsed parsed = Parse({"log"});
  ASSERT_TRUE(parsed.result.options.has_value()) << parsed.err;
  const LogOptions& o = parsed.result.options->log;
  EXPECT_EQ(o.intervalMs, 100u);
  EXPECT_FALSE(o.durationS || o.samples || o.loadMa);
  EXPECT_EQ(o.format, LOG_CSV);
  EXPECT_EQ(o.reconnectS, 30u);
}

TEST(LabOptions, HelpOnEachCommandAndVersionGoToStandardOutput) {
  const std::vector<std::string> cases[] = {{"--help"}, {"status", "--help"}, {"log", "--help"}};
  for (const auto& args : cases) {
    const Parsed parsed = Parse(args);
    EXPECT_EQ(parsed.result.exitCode, 0);
    EXPECT_FALSE(parsed.result.options.has_value());
    EXPECT_NE(parsed.out.find("Usage: ralvex-lab"), std::string::npos) << args.back();
  }
  EXPECT_NE(Parse({"log", "--help"}).out.find("--interval"), std::string::npos);
  EXPECT_EQ(Parse({"--version"}).out, std::string(RALVEX_VERSION) + "\n");
}

}  // namespace
}  // namespace ralvex::lab
