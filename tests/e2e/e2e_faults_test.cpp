// Testers that misbehave: silent, dropping or garbling replies, sending notifications mid-exchange.
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class Faults : public E2eTest {};

TEST_F(Faults, SilentTesterFailsTenOpensAndReportsTheStartupCount) {
  const std::string bench =
      WriteBench(TesterDevice("KORAMUTE01", "silent = true\n") + TesterDevice("KORAHALF02"));
  const RunResult r = Run({"-s"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Device not found.2\n");
}

TEST_F(Faults, DroppedAndWrongRepliesStillEndWithZero) {
  const std::string bench = WriteBench(
      TesterDevice("KORAHALF02", "unanswered = [0x0B, 0x10]\nwrong_reply = [0x0C, 0x0A]\n"));
  RunResult r = Run({"-p"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "NUM PROFILES:0\n");

  // Without an answer nothing is shown from an earlier frame: the records stay zero.
  r = Run({"-s"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "TEMP:0C\nVOLTAGE:0mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\nLOOPBACK CURRENT:0mA\n");
  r = Run({"-c"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "STATUS:NOT CONNECTED\n");

  // Without a profile list every index is refused.
  r = Run({"-v", "1"}, bench);
  EXPECT_EQ(r.code, 4);
  EXPECT_EQ(r.err, "Error: invalid profile 1\n");

  // The load command acts in the tester but is never acknowledged: still silent success.
  r = Run({"-l", "700"}, bench);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

TEST_F(Faults, NoSourceAttached) {
  const std::string bench = WriteBench(TesterDevice("KORA4VLH7Y", "source = false\n"));
  EXPECT_EQ(Run({"-c"}, bench).out, "STATUS:NOT CONNECTED\n");
  EXPECT_EQ(Run({"-p"}, bench).out, "NUM PROFILES:0\n");
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
  constexpr const char* ZERO_STATS =
      "TEMP:0C\nVOLTAGE:0mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\nLOOPBACK CURRENT:0mA\n";
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
      {"peer = \"tester\"\nunplug_after_bytes = 16\n", 0, ZERO_STATS, ""},
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
      {"[device.tester]\nbad_end_byte = [0x0C]\n", 0, ZERO_STATS, ""},
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
