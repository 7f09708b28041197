// Each action carried out on a scripted tester session: what it asks the tester, what it prints
// and how the run ends.
#include "cli/actions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

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
// A failed exchange whose record holds something anyway: the action must not show it.
void ConnectionUnanswered(FakeSession& s) {
  EXPECT_CALL(s, GetConnection(_)).WillOnce(DoAll(SetArgReferee<0>(CONTRACT), Return(false)));
}
void StatsAnswer(FakeSession& s) {
  EXPECT_CALL(s, GetStats(_)).WillOnce(DoAll(SetArgReferee<0>(READINGS), Return(true)));
}
void StatsUnanswered(FakeSession& s) {
  EXPECT_CALL(s, GetStats(_)).WillOnce(DoAll(SetArgReferee<0>(READINGS), Return(false)));
}
void ProfilesAnswer(FakeSession& s) {
  EXPECT_CALL(s, GetProfiles(_)).WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(true)));
  EXPECT_CALL(s, VersionLevel()).WillRepeatedly(Return(20));
}
void ProfilesUnanswered(FakeSession& s) {
  EXPECT_CALL(s, GetProfiles(_)).WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(false)));
  EXPECT_CALL(s, VersionLevel()).WillRepeatedly(Return(20));
}

constexpr const char* NO_ANSWER = "Error: the tester did not answer.\n";

TEST(Actions, ReportsShowWhatTheTesterAnsweredAndNothingWithoutAnAnswer) {
  struct Case {
    const char* option;
    void (*script)(FakeSession&);
    const char* out;  // "" : no report, the no-answer line and exit 3 instead
  };
  const Case cases[] = {
      {"-c", ConnectionAnswers,
       "STATUS:CONNECTED\nPROFILE INDEX:2\nPROFILE TYPE:PD-FIX\nSET VOLTAGE:9000mV\n"
       "MAX CURRENT:3000mA\nMAX POWER:27000mW\n"},
      {"-c", ConnectionUnanswered, ""},
      {"-s", StatsAnswer,
       "TEMP:31C\nVOLTAGE:8850mV\nSET CURRENT:1500mA\nMEASURED CURRENT:1497mA\n"
       "LOOPBACK CURRENT:0mA\n"},
      {"-s", StatsUnanswered, ""},
      {"-p", ProfilesAnswer,
       "NUM PROFILES:2\nINDEX:1,TYPE:PD-FIX,V:5000mV,I:3000mA\n"
       "INDEX:2,TYPE:PD-APDO,V:3300-11000mV,I:3000mA\n"},
      {"-p", ProfilesUnanswered, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    StrictMock<FakeSession> session;
    c.script(session);
    const ActionRun run = RunAction(session, {c.option});
    const bool answered = *c.out != '\0';
    EXPECT_EQ(run.code, answered ? RUN_EXIT_SUCCEEDED : RUN_EXIT_NO_ANSWER);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, answered ? "" : NO_ANSWER);
  }
}

// Each set operation, expected once with `value`, giving `reply`.
using SetExpectation = void (*)(FakeSession& s, uint16_t value, link::SetResult reply);
void ExpectLoad(FakeSession& s, uint16_t value, link::SetResult reply) {
  EXPECT_CALL(s, SetLoad(value)).WillOnce(Return(reply));
}
void ExpectDefaultVoltage(FakeSession& s, uint16_t value, link::SetResult reply) {
  EXPECT_CALL(s, StoreDefaultVoltage(value)).WillOnce(Return(reply));
}
void ExpectDefaultLoad(FakeSession& s, uint16_t value, link::SetResult reply) {
  EXPECT_CALL(s, StoreDefaultLoad(value)).WillOnce(Return(reply));
}
void ExpectMaxLoad(FakeSession& s, uint16_t value, link::SetResult reply) {
  EXPECT_CALL(s, StoreMaxLoad(value)).WillOnce(Return(reply));
}

TEST(Actions, ValueOptionsSendTheirValueOnceAndEndWithThreeWithoutAReply) {
  // An answered request ends the run with 0 whatever the tester's verdict: the actions act on the
  // answer alone.
  constexpr link::SetResult ACCEPTED{true, link::SET_ACCEPTED};
  constexpr link::SetResult REFUSED{true, link::SET_REFUSED};
  constexpr link::SetResult NO_VERDICT{true, std::nullopt};
  constexpr link::SetResult UNANSWERED{false, std::nullopt};
  struct Case {
    const char* option;
    const char* value;
    uint16_t sent;
    link::SetResult reply;
    SetExpectation expect;
  };
  const Case cases[] = {
      {"-l", "2000", 2000, ACCEPTED, ExpectLoad},
      {"--defvolt", "9000", 9000, REFUSED, ExpectDefaultVoltage},
      {"-m", "1500", 1500, NO_VERDICT, ExpectDefaultLoad},
      {"-O", "0", 0, REFUSED, ExpectMaxLoad},
      {"-l", "0", 0, UNANSWERED, ExpectLoad},
      {"-n", "21000", 21000, UNANSWERED, ExpectDefaultVoltage},
      {"--DEFLOAD", "5000", 5000, UNANSWERED, ExpectDefaultLoad},
      {"-o", "1000", 1000, UNANSWERED, ExpectMaxLoad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    StrictMock<FakeSession> session;
    c.expect(session, c.sent, c.reply);
    const ActionRun run = RunAction(session, {c.option, c.value});
    EXPECT_EQ(run.code, c.reply.answered ? RUN_EXIT_SUCCEEDED : RUN_EXIT_NO_ANSWER);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.reply.answered ? "" : NO_ANSWER);
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
    uint8_t versionLevel;
    uint8_t profileId;
    uint16_t voltage;
    bool acknowledged;
    link::SetVerdict verdict = link::SET_ACCEPTED;
  };
  const Case cases[] = {
      {"1,6000", 21, 1, 5000, true},                     // fixed: its own voltage
      {"1,60000", 21, 1, 5000, true},                    // a fixed profile has no range to leave
      {"2,6000", 21, 2, 6000, true},                     // ranged: the user's
      {"2,3300", 20, 2, 3300, true},                     // the ends of the range belong to it
      {"2", 21, 2, 5000, true},                          // ranged without a voltage: the default
      {"2,2000", 19, 2, 2000, true},                     // below version 20 the range is not judged
      {"2,2000", 19, 2, 2000, true, link::SET_REFUSED},  // acknowledged: the verdict is not read
      {"2,6000", 21, 2, 6000, false,
       std::nullopt},  // no acknowledgement: the tester did not answer
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    StrictMock<FakeSession> session;
    EXPECT_CALL(session, GetProfiles(_))
        .WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(true)));
    EXPECT_CALL(session, VersionLevel()).WillRepeatedly(Return(c.versionLevel));
    EXPECT_CALL(session, SetProfile(c.profileId, c.voltage))
        .WillOnce(Return(link::SetResult{c.acknowledged, c.verdict}));
    const ActionRun run = RunAction(session, {"-v", c.argument});
    EXPECT_EQ(run.code, c.acknowledged ? RUN_EXIT_SUCCEEDED : RUN_EXIT_NO_ANSWER);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.acknowledged ? "" : NO_ANSWER);
  }
}

TEST(SetProfileAction, RequestsTheListRulesOutAreRefusedAndNothingIsSent) {
  for (const char* argument : {"3,6000", "3", "2,2000", "2,11001", "2, 3299"}) {
    SCOPED_TRACE(argument);
    StrictMock<FakeSession> session;  // any SetProfile fails the test
    EXPECT_CALL(session, GetProfiles(_))
        .WillOnce(DoAll(SetArgReferee<0>(TwoProfiles()), Return(true)));
    EXPECT_CALL(session, VersionLevel()).WillRepeatedly(Return(21));
    const ActionRun run = RunAction(session, {"-v", argument});
    EXPECT_EQ(run.code, RUN_EXIT_INVALID_PROFILE);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, std::string("Error: invalid profile ") + argument + "\n");
  }
}

TEST(SetProfileAction, NoProfileListMeansNoAnswerNotAnInvalidProfile) {
  StrictMock<FakeSession> session;
  ProfilesUnanswered(session);
  const ActionRun run = RunAction(session, {"-v", "1"});
  EXPECT_EQ(run.code, RUN_EXIT_NO_ANSWER);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, NO_ANSWER);
}

}  // namespace
}  // namespace ralvex::cli
