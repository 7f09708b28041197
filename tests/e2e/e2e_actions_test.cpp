// One action per run on a working tester, and what the tester keeps from one run to the next.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class Actions : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    bench_ = WriteBench(TesterDevice("KORA4VLH7Y", BENCH_FIVE_PROFILES));
  }
  RunResult RunArgs(const std::vector<std::string>& args) { return Run(args, bench_); }
  // Runs a set action that must succeed silently.
  void Set(const std::vector<std::string>& args) {
    const RunResult r = RunArgs(args);
    EXPECT_EQ(r.code, 0) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_EQ(r.err, "") << args[0];
  }
  std::string bench_;
};

constexpr const char* EXPECTED_PROFILE_REPORT =
    "NUM PROFILES:5\n"
    "INDEX:1,TYPE:PD-FIX,V:5000mV,I:3000mA\n"
    "INDEX:2,TYPE:PD-FIX,V:9000mV,I:3000mA\n"
    "INDEX:3,TYPE:PD-FIX,V:15000mV,I:3000mA\n"
    "INDEX:4,TYPE:PD-FIX,V:20000mV,I:2250mA\n"
    "INDEX:5,TYPE:PD-APDO,V:3300-11000mV,I:3000mA\n";

std::string Connection(int index, const char* type, int mv, int ma) {
  return "STATUS:CONNECTED\nPROFILE INDEX:" + std::to_string(index) + "\nPROFILE TYPE:" + type +
         "\nSET VOLTAGE:" + std::to_string(mv) + "mV\nMAX CURRENT:" + std::to_string(ma) +
         "mA\nMAX POWER:" + std::to_string(mv * ma / 1000) + "mW\n";
}

TEST_F(Actions, NoActionPrintsTheUsageAfterTheOpen) {
  const RunResult r = RunArgs({});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, UsageText());
}

TEST_F(Actions, Reports) {
  RunResult r = RunArgs({"-p"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, EXPECTED_PROFILE_REPORT);
  EXPECT_EQ(r.err, "");

  r = RunArgs({"--connection"});
  EXPECT_EQ(r.out, Connection(1, "PD-FIX", 5000, 3000));

  r = RunArgs({"-s"});
  EXPECT_EQ(r.out,
            "TEMP:25C\nVOLTAGE:5000mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\n"
            "LOOPBACK CURRENT:0mA\n");
}

TEST_F(Actions, OnlyTheLastActionRuns) {
  RunResult r = RunArgs({"-c", "-s"});
  EXPECT_EQ(r.out.rfind("TEMP:", 0), 0u);
  EXPECT_EQ(r.out.find("STATUS:"), std::string::npos);

  r = RunArgs({"-l", "100", "-c"});  // validated, then not used
  EXPECT_EQ(r.out, Connection(1, "PD-FIX", 5000, 3000));
  r = RunArgs({"-s"});
  EXPECT_NE(r.out.find("SET CURRENT:0mA\n"), std::string::npos);
}

TEST_F(Actions, SetProfileFixedUsesItsOwnVoltageRangedTheUsers) {
  Set({"-v", "3,6000"});
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(3, "PD-FIX", 15000, 3000));

  Set({"--setprofile", "5,6000,9"});
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(5, "PD-APDO", 6000, 3000));

  Set({"-v", "2"});
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(2, "PD-FIX", 9000, 3000));
}

TEST_F(Actions, SetProfileAboveTheCountIsRefusedWithoutUsage) {
  RunResult r = RunArgs({"-v", "9"});
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: invalid profile 9\n");

  r = RunArgs({"-v", "6,6000", "-d", "KORA4VLH7Y"});
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(r.err, "Error: invalid profile 6,6000\n");
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(1, "PD-FIX", 5000, 3000));  // nothing was sent
}

TEST_F(Actions, SetProfileOutsideTheListedRangeIsRefusedAndNothingIsSent) {
  // Profile 5 is a PD-APDO of 3300-11000 mV.
  for (const char* argument : {"5,2000", "5,11001", "5, 3299"}) {
    const RunResult r = RunArgs({"-v", argument});
    EXPECT_EQ(r.code, 4) << argument;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string("Error: invalid profile ") + argument + "\n");
  }
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(1, "PD-FIX", 5000, 3000));  // nothing was sent

  Set({"-v", "5,3300"});  // the ends belong to the range
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(5, "PD-APDO", 3300, 3000));
  Set({"-v", "5,11000"});
  EXPECT_EQ(RunArgs({"-c"}).out, Connection(5, "PD-APDO", 11000, 3000));
}

TEST_F(Actions, LoadAndMaximumLoadCarryOverToTheNextRun) {
  Set({"-l", "2000"});
  EXPECT_NE(RunArgs({"-s"}).out.find("SET CURRENT:2000mA\n"), std::string::npos);

  Set({"-o", "1000"});
  EXPECT_NE(RunArgs({"-s"}).out.find("SET CURRENT:1000mA\n"), std::string::npos);

  Set({"--MAXLOAD", "0"});  // back to the automatic limits
  EXPECT_NE(RunArgs({"-s"}).out.find("SET CURRENT:2000mA\n"), std::string::npos);
  EXPECT_EQ(ReadState().find("max_load"), std::string::npos) << ReadState();
}

TEST_F(Actions, DefaultsAreStoredInTheTester) {
  Set({"-n", "9000"});
  Set({"-m", "1500"});
  const std::string state = ReadState();
  EXPECT_NE(state.find("default_voltage = 9000"), std::string::npos) << state;
  EXPECT_NE(state.find("default_load = 1500"), std::string::npos) << state;
}

TEST_F(Actions, BuiltinBench) {
  const RunResult r = Run({"-p"}, "builtin");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, EXPECTED_PROFILE_REPORT);
}

TEST_F(Actions, RangedProfilesBelowVersionTwentyShowNoRange) {
  const std::string bench = WriteBench(
      TesterDevice("KORA8QZ2M4",
                   "version_level = 19\n"
                   "profiles = [\n"
                   "  { type = \"PD-FIX\", voltage = 5000, current = 2000 },\n"
                   "  { type = \"QC3\", min_voltage = 3600, voltage = 12000, current = 1500 },\n"
                   "]\n"),
      "v19.toml");
  const RunResult r = Run({"-p"}, bench);
  EXPECT_EQ(r.out, "NUM PROFILES:2\nINDEX:1,TYPE:PD-FIX,V:5000mV,I:2000mA\nUnknown profile\n");
}

}  // namespace
}  // namespace ralvex::e2e
