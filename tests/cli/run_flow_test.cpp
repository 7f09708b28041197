#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "cli/actions.h"
#include "cli/run_flow.h"
#include "tests/cli/capture.h"
#include "tests/testers/discovery_fake_devices.h"

namespace ralvex::cli {
namespace {

using testers::test_support::Fake;
using testers::test_support::FakeListDevices;
using testers::test_support::ResetFake;

struct RunResult {
  int code;
  std::string out;
  std::string err;
};

// The whole run against the scripted device list; no bench is attached, so no tester opens.
RunResult RunOf(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"ralvex"};
  argv.insert(argv.end(), args.begin(), args.end());
  RunEnvironment environment;
  environment.out = std::tmpfile();
  environment.err = std::tmpfile();
  environment.listDevices = FakeListDevices;
  RunResult run;
  run.code = RunProgram(static_cast<int>(argv.size()), argv.data(), environment);
  run.out = test_support::ReadAndClose(environment.out);
  run.err = test_support::ReadAndClose(environment.err);
  return run;
}

TEST(RunFlow, NoTesterEndsBeforeAnyOptionIsLookedAt) {
  ResetFake({{"FT2H0001", "kora1234"}});
  const RunResult run = RunOf({"-h"});
  EXPECT_EQ(run.code, RUN_EXIT_FAILED_TO_CONNECT);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error: Device not found.0\n");
  EXPECT_EQ(Fake().countQueries, STARTUP_SCAN_PASSES);
}

TEST(RunFlow, HelpAndListingEndTheRunWithoutAnOpen) {
  ResetFake({{"KORA4VLH7Y"}});
  RunResult run = RunOf({"--Help", "-x"});
  EXPECT_EQ(run.code, RUN_EXIT_SUCCEEDED);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("Usage: ralvex [-f]", 0), 0u);

  // The listing comes from its own pass, which sees a second tester plugged in meanwhile.
  ResetFake({{"KORA4VLH7Y"}, {"KORA4VLH7Y", "KORA91C2ZP"}});
  run = RunOf({"-f", "-x"});
  EXPECT_EQ(run.code, RUN_EXIT_SUCCEEDED);
  EXPECT_EQ(run.out, "0=KORA4VLH7Y\n1=KORA91C2ZP\n");
  EXPECT_EQ(run.err, "");
}

TEST(RunFlow, IndexBeyondTheListFailsLikeAnOpenWithoutRetrying) {
  ResetFake({{"KORA4VLH7Y", "KORA91C2ZP"}});
  for (const char* index : {"2", "31", "32", "256", "-1"}) {
    const RunResult run = RunOf({"-i", index, "-c"});
    EXPECT_EQ(run.code, RUN_EXIT_FAILED_TO_CONNECT) << index;
    EXPECT_EQ(run.err, "Error: Device not found.2\n") << index;
    EXPECT_EQ(run.out, "");
  }
}

TEST(RunFlow, TenFailedOpensReportTheStartupCount) {
  ResetFake({{"KORA4VLH7Y"}});  // listed, but no such device can be opened
  const RunResult run = RunOf({"-s"});
  EXPECT_EQ(run.code, RUN_EXIT_FAILED_TO_CONNECT);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error: Device not found.1\n");
}

link::ProfileList ListOf(uint8_t count, std::initializer_list<link::ProfileEntry> entries) {
  link::ProfileList list = {};
  list.count = count;
  std::size_t i = 0;
  for (const auto& e : entries) list.entries[i++] = e;
  return list;
}

TEST(RunProfileRequest, FixedProfilesSendTheirOwnVoltageRangedOnesTheUsers) {
  const link::ProfileList list = ListOf(4, {
                                               {0x0051, 0, 5000, 3000},
                                               {0x0352, 3300, 11000, 3000},  // PD-APDO
                                               {0x0033, 3600, 12000, 2000},  // QC1
                                               {0x0154, 0, 9000, 2000},      // PD-BAT
                                           });
  struct Case {
    uint8_t index;
    uint16_t voltage;
    uint8_t versionLevel;
    bool valid;
    uint8_t profileId;
    uint16_t sent;
  };
  const Case cases[] = {
      {1, 6000, 21, true, 1, 5000},    // fixed: its own voltage, whatever was asked
      {1, 60000, 21, true, 1, 5000},   // a fixed profile has no range to leave
      {2, 6000, 21, true, 2, 6000},    // ranged: the user's
      {3, 60000, 21, false, 0, 0},     // outside the listed range
      {3, 60000, 19, true, 3, 60000},  // below version 20 the range is not compared
      {4, 6000, 21, true, 4, 9000},    //
      {5, 6000, 21, false, 0, 0},      // above the count
      {0, 6000, 21, false, 0, 0},      //
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.index));
    const ProfileRequest r = PlanProfileRequest(list, c.index, c.voltage, c.versionLevel);
    EXPECT_EQ(r.valid, c.valid);
    EXPECT_EQ(r.profileId, c.profileId);
    EXPECT_EQ(r.voltage, c.sent);
  }
}

TEST(RunProfileRequest, CountAboveSevenNeverReadsPastTheRecord) {
  link::ProfileList list = ListOf(200, {});
  for (auto& e : list.entries) e = {0x0051, 0, 5000, 3000};
  EXPECT_TRUE(PlanProfileRequest(list, 7, 0, 21).valid);
  EXPECT_FALSE(PlanProfileRequest(list, 8, 0, 21).valid);
  EXPECT_FALSE(PlanProfileRequest(list, 200, 0, 21).valid);
  EXPECT_FALSE(
      PlanProfileRequest(ListOf(0, {}), 1, 0, 21).valid);  // no profiles: every index fails
}

}  // namespace
}  // namespace ralvex::cli
