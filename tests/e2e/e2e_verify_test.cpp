// ralvex-lab verify run as a child process on copies of the ready-made chargers: the good one
// passes every check, the faulty one fails each of its faults with its reason, the JSON reads
// back in Python, and however the run ends the load is 0 mA and the contract on profile 1.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

using nlohmann::json;

// Short steps keep a run to seconds; the sweep's 2 V steps still end at the range's top.
const std::vector<std::string> QUICK = {"verify", "--settle",   "100", "--hold",
                                        "200",    "--pps-step", "2000"};

class VerifyE2e : public E2eTest {
 protected:
  RunResult Verify(std::vector<std::string> more, const std::string& bench,
                   const ChildSignals& signals = {}) const {
    std::vector<std::string> args = QUICK;
    args.insert(args.end(), more.begin(), more.end());
    return Lab(args, bench, signals);
  }
  json ReadJson(const std::string& path) const {
    std::ifstream in(path);
    return json::parse(in);
  }
  // The safety rule, read back on the same bench: no load, and the contract on profile 1.
  void ExpectLeftSafe(const std::string& bench) const {
    const RunResult r = Lab({"status", "--json"}, bench);
    ASSERT_EQ(r.code, 0) << r.err;
    const json status = json::parse(r.out);
    EXPECT_EQ(status["measurements"]["set_current_ma"], 0);
    EXPECT_EQ(status["contract"]["profile"], 1);
    EXPECT_EQ(status["contract"]["voltage_mv"], 5000);
  }
};

// The reasons of one profile's checks, keyed by load (fixed) or request (ranged).
std::vector<std::string> Reasons(const json& report, unsigned profile) {
  std::vector<std::string> reasons;
  for (const json& check : report["checks"]) {
    if (check["profile"] == profile) {
      reasons.push_back(check["reason"].is_null() ? "" : check["reason"].get<std::string>());
    }
  }
  return reasons;
}

TEST_F(VerifyE2e, TheGoodChargerPassesEveryCheck) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const std::string jsonPath = Dir() + "/verify.json";
  const RunResult r = Verify({"--json", jsonPath, "--html", Dir() + "/verify.html"}, bench);
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  // Four fixed profiles at three loads; 3.3 to 21 V in 2 V steps and the top: ten steps.
  EXPECT_NE(r.out.find("Verdict: pass (22 of 22 checks passed, 0 failed, 0 errors)"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("  fail  "), std::string::npos) << r.out;
  const json report = ReadJson(jsonPath);
  EXPECT_EQ(report["verdict"], "pass");
  for (const json& check : report["checks"]) {
    EXPECT_GT(check["margin_mv"].get<double>(), 0) << check.dump();
  }
  ExpectLeftSafe(bench);

  // What another program reads: Python's own JSON reader, and the schema.
  const RunResult python =
      RunCommand({"/usr/bin/python3", "-c",
                  "import json, sys; d = json.load(open(sys.argv[1])); "
                  "print(d['schema'], d['verdict'], len(d['checks']), d['tester']['serial'])",
                  jsonPath},
                 "");
  EXPECT_EQ(python.out, "ralvex.verify/1 pass 22 KORA4VLH7Y\n") << python.err;
}

TEST_F(VerifyE2e, TheFaultyChargerFailsEachFaultWithItsReason) {
  const std::string bench = ReadyMade("faulty-charger.toml");
  const std::string jsonPath = Dir() + "/verify.json";
  const RunResult r = Verify({"--json", jsonPath}, bench);
  ASSERT_EQ(r.code, 5) << r.out << r.err;
  EXPECT_NE(r.out.find("Verdict: fail"), std::string::npos) << r.out;
  const json report = ReadJson(jsonPath);
  EXPECT_EQ(report["schema"], "ralvex.verify/1");
  EXPECT_EQ(report["verdict"], "fail");

  // 5 V is good throughout.
  EXPECT_EQ(Reasons(report, 1), (std::vector<std::string>{"", "", ""}));
  // 9 V delivers 9.9 V at every load.
  for (const std::string& reason : Reasons(report, 2)) {
    EXPECT_NE(reason.find("above the high limit"), std::string::npos) << reason;
  }
  // 15 V holds without load and sags below its limit under it.
  const std::vector<std::string> sag = Reasons(report, 3);
  ASSERT_EQ(sag.size(), 3u);
  EXPECT_EQ(sag[0], "");
  EXPECT_NE(sag[2].find("below the low limit"), std::string::npos) << sag[2];
  EXPECT_LT(report["checks"][8]["mean_mv"].get<double>(), 13000);
  // 20 V is good up to half its 3.25 A and trips at full current; the run goes on.
  const std::vector<std::string> trip = Reasons(report, 4);
  ASSERT_EQ(trip.size(), 3u);
  EXPECT_EQ(trip[0], "");
  EXPECT_EQ(trip[1], "");
  EXPECT_EQ(trip[2].rfind("contract lost at 3250 mA (back ", 0), 0u) << trip[2];
  // The PD-APDO profile is slow and low: no step lands within its limits.
  const std::vector<std::string> sweep = Reasons(report, 5);
  ASSERT_EQ(sweep.size(), 5u);  // 3.3, 5.3, 7.3, 9.3 and 11 V
  for (const std::string& reason : sweep) EXPECT_NE(reason, "");
  EXPECT_NE(sweep.back().find("below the low limit"), std::string::npos) << sweep.back();
  EXPECT_NE(r.out.find("still moving"), std::string::npos) << r.out;
  ExpectLeftSafe(bench);
}

struct SignalCase {
  const char* name;
  int signal;
};

TEST_F(VerifyE2e, AStopSignalEndsTheRunUnloadedOnProfileOne) {
  for (const SignalCase& c : {SignalCase{"SIGINT", SIGINT}, SignalCase{"SIGTERM", SIGTERM}}) {
    SCOPED_TRACE(c.name);
    const std::string bench = ReadyMade("good-charger-65w.toml");
    // The head and two rows are out: profile 1 is under half its current.
    const RunResult r = Verify({}, bench, {4, {c.signal}, {}});
    EXPECT_EQ(r.code, 5) << r.out << r.err;
    EXPECT_NE(r.out.find("; interrupted)"), std::string::npos) << r.out;
    ExpectLeftSafe(bench);
  }
}

TEST_F(VerifyE2e, AReportThatCannotBeWrittenIsRefusedBeforeAnythingChanges) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const RunResult r = Verify({"--html", "/nonexistent-folder/verify.html"}, bench);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("cannot write /nonexistent-folder/verify.html"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace ralvex::e2e
