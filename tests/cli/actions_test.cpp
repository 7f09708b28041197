// Each action carried out on a scripted tester session: what it asks the tester, what it prints
// and how the run ends.
#include "cli/actions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/expected_usage.h"
#include "tests/cli/fake_session.h"

namespace ralvex::cli {
namespace {

using test_support::ActionRun;
using test_support::FakeSession;
using test_support::RunAction;
using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::StrictMock;

constexpr link::ConnectionReply CONTRACT = {1, 2, 5, 0, 9000, 3000, 27000};
constexpr link::StatsReply READINGS = {0, 31, 8850, 1500, 1497, 0};

link::ProfileList TwoProfiles() {
  link::ProfileList list = {};
  list.count = 2;
  list.entries[0] = {0x0051, 0, 5000, 3000};      // PD-FIX
  list.entries[1] = {0x0352, 3300, 11000, 3000};  // PD-APDO
  return list;
}

void ConnectionAnswers(FakeSession& s) {
  EXPECT_CALL(s, GetConnection(_)).WillOnce(DoAll(SetArgReferee<0>(CONTRACT), Return(true)));
}
void ConnectionUnanswered(FakeSession& s) {
  EXPECT_CALL(s, GetConnection(_)).WillOnce(Return(false));
}
void StatsAnswer(FakeSession& s) {
  EXPECT_CALL(s, GetStats(_)).WillOnce(DoAll(SetArgReferee<0>(READINGS), Return(true)));
}
void StatsUnanswered(FakeSession& s) {
  EXPECT_CALL(s, GetStats(_)).WillOnce(Return(false));
}
void ProfilesAnswer(FakeSession& s) {
  EXPECT_CALL(s, GetProfiles(_)).WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(true)));
  EXPECT_CALL(s, VersionLevel()).WillRepeatedly(Return(20));
}
void ProfilesUnanswered(FakeSession& s) {
  EXPECT_CALL(s, GetProfiles(_)).WillOnce(Return(false));
  EXPECT_CALL(s, VersionLevel()).WillRepeatedly(Return(20));
}

TEST(Actions, ReportsShowWhatTheTesterAnswered) {
  struct Case {
    const char* option;
    void (*script)(FakeSession&);
    const char* out;
  };
  const Case cases[] = {
      {"-c", ConnectionAnswers,
       "STATUS:CONNECTED\nPROFILE INDEX:2\nPROFILE TYPE:PD-FIX\nSET VOLTAGE:9000mV\n"
       "MAX CURRENT:3000mA\nMAX POWER:27000mW\n"},
      {"-c", ConnectionUnanswered, "STATUS:NOT CONNECTED\n"},
      {"-s", StatsAnswer,
       "TEMP:31C\nVOLTAGE:8850mV\nSET CURRENT:1500mA\nMEASURED CURRENT:1497mA\n"
       "LOOPBACK CURRENT:0mA\n"},
      {"-s", StatsUnanswered,
       "TEMP:0C\nVOLTAGE:0mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\nLOOPBACK CURRENT:0mA\n"},
      {"-p", ProfilesAnswer,
       "NUM PROFILES:2\nINDEX:1,TYPE:PD-FIX,V:5000mV,I:3000mA\n"
       "INDEX:2,TYPE:PD-APDO,V:3300-11000mV,I:3000mA\n"},
      {"-p", ProfilesUnanswered, "NUM PROFILES:0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    StrictMock<FakeSession> session;
    c.script(session);
    const ActionRun run = RunAction(session, {c.option});
    EXPECT_EQ(run.code, RUN_EXIT_SUCCEEDED);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}

TEST(Actions, ValueOptionsSendTheirValueOnceAndPrintNothing) {
  struct Case {
    const char* option;
    const char* value;
    bool answered;
    void (*expect)(FakeSession&, bool answered);
  };
  const Case cases[] = {
      {"-l", "2000", true,
       [](FakeSession& s, bool a) { EXPECT_CALL(s, SetLoad(2000)).WillOnce(Return(a)); }},
      {"--defvolt", "9000", true,
       [](FakeSession& s, bool a) {
         EXPECT_CALL(s, StoreDefaultVoltage(9000)).WillOnce(Return(a));
       }},
      {"-m", "1500", true,
       [](FakeSession& s, bool a) { EXPECT_CALL(s, StoreDefaultLoad(1500)).WillOnce(Return(a)); }},
      {"-O", "0", true,
       [](FakeSession& s, bool a) { EXPECT_CALL(s, StoreMaxLoad(0)).WillOnce(Return(a)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    StrictMock<FakeSession> session;
    c.expect(session, c.answered);
    const ActionRun run = RunAction(session, {c.option, c.value});
    EXPECT_EQ(run.code, RUN_EXIT_SUCCEEDED);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
}

TEST(Actions, OnlyTheLastActionAsksTheTester) {
  StrictMock<FakeSession> session;
  ConnectionAnswers(session);  // the load is never sent
  EXPECT_EQ(RunAction(session, {"-l", "100", "-c"}).code, RUN_EXIT_SUCCEEDED);
}

TEST(Actions, NoActionPrintsTheUsageAndAsksNothing) {
  StrictMock<FakeSession> session;
  const ActionRun run = RunAction(session, {"-i", "0"});
  EXPECT_EQ(run.code, RUN_EXIT_SUCCEEDED);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, test_support::ExpectedUsage("ralvex"));
}

TEST(SetProfileAction, RequestsTheListedEntryAtItsVoltage) {
  struct Case {
    const char* argument;
    std::uint8_t profileId;
    std::uint16_t voltage;
  };
  const Case cases[] = {
      {"1,6000", 1, 5000},  // fixed: its own voltage
      {"2,6000", 2, 6000},  // ranged: the user's
      {"2", 2, 5000},       // ranged without a voltage: the default
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    StrictMock<FakeSession> session;
    EXPECT_CALL(session, GetProfiles(_))
        .WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(true)));
    EXPECT_CALL(session, SetProfile(c.profileId, c.voltage)).WillOnce(Return(true));
    const ActionRun run = RunAction(session, {"-v", c.argument});
    EXPECT_EQ(run.code, RUN_EXIT_SUCCEEDED);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
}

TEST(SetProfileAction, IndexAboveTheCountIsRefusedAndNothingIsSent) {
  StrictMock<FakeSession> session;
  EXPECT_CALL(session, GetProfiles(_))
      .WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(true)));
  const ActionRun run = RunAction(session, {"-v", "3,6000"});
  EXPECT_EQ(run.code, RUN_EXIT_INVALID_PROFILE);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error: invalid profile 3,6000\n");
}

}  // namespace
}  // namespace ralvex::cli
