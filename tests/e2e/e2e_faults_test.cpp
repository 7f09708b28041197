// Testers that misbehave: silent, dropping or garbling replies, sending notifications mid-exchange.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class Faults : public E2eTest {};

constexpr const char* NO_ANSWER = "Error: the tester did not answer.\n";

TEST_F(Faults, SilentTesterFailsTenOpensAndReportsTheStartupCount) {
  const std::string bench =
      WriteBench(TesterDevice("KORAMUTE01", "silent = true\n") + TesterDevice("KORAHALF02"));
  const RunResult r = Run({"-s"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Device not found.2\n");
}

TEST_F(Faults, DroppedAndWrongRepliesAreNoAnswer) {
  const std::string bench = WriteBench(
      TesterDevice("KORAHALF02", "unanswered = [0x0B, 0x10]\nwrong_reply = [0x0C, 0x0A]\n"));
  // No report is made up from an empty record: no zero readings, no "not connected", and -v
  // without a profile list is no invalid profile. The load acts in the tester but is never
  // acknowledged.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-p"}, {"-s"}, {"-c"}, {"-v", "1"}, {"-l", "700"}}) {
    const RunResult r = Run(args, bench);
    EXPECT_EQ(r.code, 3) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_EQ(r.err, NO_ANSWER) << args[0];
  }
}

// Each action on a tester that leaves its exchange unanswered, answers it too late, or answers
// something else: no report, the one line, exit 3.
TEST_F(Faults, EveryActionWithoutAnAnswerEndsWithThree) {
  struct Case {
    const char* testerLines;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"reply_delay_ms = 700\n", {"-s"}},  // every reply misses its wait
      {"unanswered = [0x0A]\n", {"--connection"}},
      {"wrong_reply = [0x0B]\n", {"-p"}},      // a reply to another command
      {"bad_end_byte = [0x0C]\n", {"-s"}},     // a broken frame
      {"unanswered = [0x0B]\n", {"-v", "1"}},  // no profile list
      {"unanswered = [0x0D]\n", {"-v", "2"}},  // the request goes unacknowledged
      {"wrong_reply = [0x0D]\n", {"-v", "5,9000"}},
      {"unanswered = [0x10]\n", {"-l", "100"}},
      {"unanswered = [0x0E]\n", {"-n", "9000"}},
      {"bad_end_byte = [0x0F]\n", {"-m", "1500"}},
      {"unanswered = [0xE0]\n", {"-o", "1000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.testerLines) + c.args[0]);
    const RunResult r = Run(c.args, WriteBench(TesterDevice("KORA4VLH7Y", c.testerLines)));
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, NO_ANSWER);
  }
}

// What did arrive is still the answer: any reply frame to a set command, a tester without a
// source, and settings the tester leaves unanswered at the open.
TEST_F(Faults, AnswersThatSayLittleAreStillAnswers) {
  struct Case {
    const char* testerLines;
    std::vector<std::string> args;
    int code;
    const char* out;
    const char* err;
  };
  // The testers share the test's state file: the settings row runs before any load is set.
  const Case cases[] = {
      {"unanswered = [0xE1]\n",
       {"-s"},
       0,
       "TEMP:25C\nVOLTAGE:5000mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\nLOOPBACK CURRENT:0mA\n",
       ""},
      {"wrong_reply = [0x10]\n", {"-l", "100"}, 0, "", ""},
      {"wrong_reply = [0x0E]\n", {"-n", "9000"}, 0, "", ""},
      {"wrong_reply = [0x0F]\n", {"-m", "1500"}, 0, "", ""},
      {"wrong_reply = [0xE0]\n", {"-o", "0"}, 0, "", ""},
      {"source = false\n", {"-c"}, 0, "STATUS:NOT CONNECTED\n", ""},
      {"source = false\n", {"-p"}, 0, "NUM PROFILES:0\n", ""},
      {"source = false\n", {"-v", "1"}, 4, "", "Error: invalid profile 1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.testerLines) + c.args[0]);
    const RunResult r = Run(c.args, WriteBench(TesterDevice("KORA4VLH7Y", c.testerLines)));
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST_F(Faults, NoSourceAttached) {
  const std::string bench = WriteBench(TesterDevice("KORA4VLH7Y", "source = false\n"));
  RunResult r = Run({"-c"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "STATUS:NOT CONNECTED\n");
  r = Run({"-p"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "NUM PROFILES:0\n");
}

TEST_F(Faults, NotificationDuringTheExchangeDoesNotStandInForTheReply) {
  const std::string bench = WriteBench(TesterDevice(
      "KORA4VLH7Y",
      std::string("notify = true\nnoise_before_reply = true\n") + BENCH_FIVE_PROFILES));
  RunResult r = Run({"-v", "5,9000"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  r = Run({"-v", "5,7000"}, bench);  // same profile, new voltage: the other notification
  EXPECT_EQ(r.code, 0);
  r = Run({"-c"}, bench);
  EXPECT_EQ(r.out,
            "STATUS:CONNECTED\nPROFILE INDEX:5\nPROFILE TYPE:PD-APDO\nSET VOLTAGE:7000mV\n"
            "MAX CURRENT:3000mA\nMAX POWER:21000mW\n");
}

TEST_F(Faults, LateRepliesWithinTheWaitsAreAccepted) {
  const std::string bench = WriteBench(TesterDevice("KORA4VLH7Y", "reply_delay_ms = 200\n"));
  const RunResult r = Run({"-s"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("TEMP:25C\n", 0), 0u);
}

// Bridge and line faults under the one tester, run with -s: what the user sees for each.
TEST_F(Faults, BridgeAndLineFaultsUnderTheTester) {
  constexpr const char* LIVE_STATS =
      "TEMP:25C\nVOLTAGE:5000mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\nLOOPBACK CURRENT:0mA\n";
  struct Case {
    const char* lines;  // after serial and description
    int code;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      // Every read fails: no greeting is ever heard, ten opens fail.
      {"peer = \"tester\"\nread_failures = true\n", 3, "", "Error: Device not found.1\n"},
      // Two failing reads cost the first open; the second one works.
      {"peer = \"tester\"\nread_failures = 2\n", 0, LIVE_STATS, ""},
      // Not on the bus: no tester is found.
      {"peer = \"tester\"\nunplugged = true\n", 3, "", "Error: Device not found.0\n"},
      // Gone at the first transfer: listed, never opened.
      {"peer = \"tester\"\nunplug_after_bytes = 0\n", 3, "", "Error: Device not found.1\n"},
      // Gone mid-session: the open worked, the request goes unanswered.
      {"peer = \"tester\"\nunplug_after_bytes = 16\n", 3, "", NO_ANSWER},
      // A line that takes bytes and never answers, or nothing on the serial side: as a silent
      // tester.
      {"peer = \"silent\"\n", 3, "", "Error: Device not found.1\n"},
      {"peer = \"none\"\n", 3, "", "Error: Device not found.1\n"},
      // The serial number cannot be read: no tester is found.
      {"peer = \"tester\"\nrefuse = [39]\n", 3, "", "Error: Device not found.0\n"},
      // The line cannot be set: every open fails.
      {"peer = \"tester\"\nrefuse = [65]\n", 3, "", "Error: Device not found.1\n"},
      // Only the alternate request table: no difference to the user.
      {"peer = \"tester\"\nalternate_requests = true\n", 0, LIVE_STATS, ""},
      // A broken reply frame is no reply.
      {"[device.tester]\nbad_end_byte = [0x0C]\n", 3, "", NO_ANSWER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    const std::string bench = WriteBench(
        std::string("[[device]]\nserial = \"KORA4VLH7Y\"\ndescription = \"PD Tester\"\n") +
        c.lines);
    const RunResult r = Run({"-s"}, bench);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST_F(Faults, WireModelBench) {
  const std::string bench =
      WriteBench("[[device]]\nserial = \"KORA4VLH7Y\"\nwire_model = true\npeer = \"tester\"\n");
  const RunResult r = Run({"-c"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("STATUS:CONNECTED\n", 0), 0u);
}

}  // namespace
}  // namespace ralvex::e2e
