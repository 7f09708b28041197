#include "lab/verify_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lab/lab_options.h"
#include "tests/lab/lab_parse.h"

namespace ralvex::lab {
namespace {

using test_support::Parsed;

Parsed ParseVerify(std::vector<std::string> args) {
  args.insert(args.begin(), "verify");
  return test_support::Parse(args);
}

struct BadCase {
  std::vector<std::string> args;
  const char* named;
};

TEST(VerifyOptions, BadValuesEndWithOneLineNamingOptionAndValue) {
  const BadCase cases[] = {
      {{"--pps-step", "30"}, "'30' for --pps-step (expected a multiple of 20 mV)"},
      {{"--pps-step", "0"}, "'0' for --pps-step"},
      {{"--pps-step", "500.5"}, "'500.5' for --pps-step"},
      {{"--cable-milliohm", "-1"}, "'-1' for --cable-milliohm"},
      {{"--cable-milliohm", "ten"}, "'ten' for --cable-milliohm"},
      {{"--settle", "x"}, "'x' for --settle"},
      {{"--hold", "0"}, "'0' for --hold"},
      {{"--contract-timeout", "0"}, "'0' for --contract-timeout"},
      {{"--recover-timeout", "1e9"}, "'1e9' for --recover-timeout"},
      {{"--interval", "5"}, "--interval"},
      {{"--json"}, "--json"},
  };
  for (const BadCase& c : cases) {
    const Parsed parsed = ParseVerify(c.args);
    SCOPED_TRACE(parsed.err);
    EXPECT_FALSE(parsed.result.options.has_value());
    EXPECT_EQ(parsed.result.exitCode, LAB_EXIT_INVALID_COMMAND_LINE);
    EXPECT_NE(parsed.err.find(c.named), std::string::npos);
    EXPECT_EQ(parsed.err.find('\n'), parsed.err.size() - 1);
  }
}

TEST(VerifyOptions, GoodValuesAndTheDefaults) {
  const Parsed given =
      ParseVerify({"--cable-milliohm", "0", "--pps-step", "20", "--settle", "0", "--hold", "50",
                   "--contract-timeout", "300", "--recover-timeout", "0", "--json", "v.json",
                   "--html", "v.html"});
  ASSERT_TRUE(given.result.options.has_value()) << given.err;
  EXPECT_EQ(given.result.options->command, LAB_VERIFY);
  const VerifyOptions& o = given.result.options->verify;
  EXPECT_EQ(o.cableMilliohm, 0u);
  EXPECT_EQ(o.ppsStepMv, 20u);
  EXPECT_EQ(o.settleMs, 0u);
  EXPECT_EQ(o.holdMs, 50u);
  EXPECT_EQ(o.contractTimeoutMs, 300u);
  EXPECT_EQ(o.recoverTimeoutMs, 0u);
  EXPECT_EQ(o.jsonPath, "v.json");
  EXPECT_EQ(o.htmlPath, "v.html");

  const Parsed plain = ParseVerify({});
  ASSERT_TRUE(plain.result.options.has_value()) << plain.err;
  const VerifyOptions& d = plain.result.options->verify;
  EXPECT_EQ(d.cableMilliohm, 100u);
  EXPECT_EQ(d.ppsStepMv, 500u);
  EXPECT_EQ(d.settleMs, 500u);
  EXPECT_EQ(d.holdMs, 1000u);
  EXPECT_EQ(d.contractTimeoutMs, 1000u);
  EXPECT_EQ(d.recoverTimeoutMs, 5000u);
  EXPECT_TRUE(d.jsonPath.empty() && d.htmlPath.empty());
}

}  // namespace
}  // namespace ralvex::lab
