// The emulated source as a real charger, seen through the program: what arrives against what was
// agreed, trips, settling between runs, the ready-made chargers' faults and a power bank.
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class Source : public E2eTest {
 protected:
  std::string Out(const std::vector<std::string>& args, const std::string& bench) {
    const RunResult r = Run(args, bench);
    EXPECT_EQ(r.code, 0) << args[0] << ": " << r.err;
    return r.out;
  }
  // Moves the state file's record of when it was written `ms` into the past, as if the tester
  // had stayed powered that long since the last run.
  void PassTime(int64_t ms) {
    std::string text = ReadState();
    std::smatch written;
    ASSERT_TRUE(std::regex_search(text, written, std::regex("written_ms = (-?[0-9]+)"))) << text;
    const int64_t then = std::stoll(written[1].str()) - ms;
    text.replace(static_cast<size_t>(written.position(1)), written.length(1), std::to_string(then));
    std::ofstream(StatePath(), std::ios::trunc) << text;
  }
};

std::string Reading(const std::string& stats, const std::string& label) {
  std::smatch m;
  if (!std::regex_search(stats, m, std::regex(label + ":([0-9]+)"))) return "none";
  return m[1].str();
}
int Number(const std::string& stats, const std::string& label) {
  return std::stoi(Reading(stats, label));
}

constexpr const char* STATS_DOWN =
    "TEMP:25C\nVOLTAGE:0mV\nSET CURRENT:0mA\nMEASURED CURRENT:0mA\nLOOPBACK CURRENT:0mA\n";

TEST_F(Source, ConnectionShowsTheContractStatsWhatArrives) {
  const std::string bench = WriteBench(TesterDevice(
      "KORA4VLH7Y",
      "cable_milliohm = 100\nprofiles = [\n"
      "  { type = \"PD-FIX\", voltage = 5000, current = 3000, voltage_offset = -150 },\n"
      "  { type = \"PD-FIX\", voltage = 9000, current = 3000, voltage_offset = 90, "
      "source_milliohm = 400 },\n]\n"));
  struct Case {
    std::vector<std::string> set;
    const char* contract;
    int voltage;
  };
  for (const Case& c : {Case{{"-v", "1"}, "SET VOLTAGE:5000mV", 4850},
                        Case{{"-v", "2"}, "SET VOLTAGE:9000mV", 9090},
                        Case{{"-l", "2000"}, "SET VOLTAGE:9000mV", 9090 - 998}}) {
    EXPECT_EQ(Out(c.set, bench), "");
    EXPECT_NE(Out({"-c"}, bench).find(c.contract), std::string::npos) << c.set[0];
    EXPECT_EQ(Number(Out({"-s"}, bench), "VOLTAGE"), c.voltage) << c.set[0];
  }
}

TEST_F(Source, SettlingContinuesBetweenRuns) {
  const std::string bench = WriteBench(
      TesterDevice("KORA4VLH7Y",
                   "cable_milliohm = 0\nprofiles = [\n"
                   "  { type = \"PD-FIX\", voltage = 5000, current = 3000 },\n"
                   "  { type = \"PD-FIX\", voltage = 9000, current = 3000, settle_ms = 1000 },\n"
                   "]\n"));
  EXPECT_EQ(Out({"-v", "2"}, bench), "");
  const int onTheWay = Number(Out({"-s"}, bench), "VOLTAGE");
  EXPECT_GT(onTheWay, 5000);
  EXPECT_LT(onTheWay, 9000);
  PassTime(2000);
  EXPECT_EQ(Number(Out({"-s"}, bench), "VOLTAGE"), 9000);
}

TEST_F(Source, OverCurrentTripAndRecovery) {
  const std::string bench = WriteBench(
      TesterDevice("KORA4VLH7Y",
                   "notify = true\nprofiles = [\n"
                   "  { type = \"PD-FIX\", voltage = 5000, current = 3000, trip_current = 3300, "
                   "recover_ms = 1500 },\n"
                   "  { type = \"PD-FIX\", voltage = 9000, current = 3000 },\n]\n"));
  EXPECT_EQ(Out({"-v", "2"}, bench), "");
  EXPECT_EQ(Out({"-o", "4000"}, bench), "");
  EXPECT_EQ(Out({"-l", "3500"}, bench), "");  // 9 V has no protection: it holds
  EXPECT_EQ(Reading(Out({"-s"}, bench), "SET CURRENT"), "3500");
  EXPECT_EQ(Out({"-v", "1"}, bench), "");  // 5 V trips at 3300 mA
  EXPECT_EQ(Out({"-c"}, bench), "STATUS:NOT CONNECTED\n");
  EXPECT_EQ(Out({"-s"}, bench), STATS_DOWN);
  EXPECT_EQ(Out({"-p"}, bench), "NUM PROFILES:0\n");
  PassTime(2000);  // back on profile 1, where the same load trips it again
  EXPECT_EQ(Out({"-c"}, bench), "STATUS:NOT CONNECTED\n");
  EXPECT_EQ(Out({"-l", "3000"}, bench), "");
  PassTime(2000);
  EXPECT_EQ(Out({"-c"}, bench).rfind("STATUS:CONNECTED\nPROFILE INDEX:1\n", 0), 0u);
  EXPECT_EQ(Reading(Out({"-s"}, bench), "SET CURRENT"), "3000");
}

TEST_F(Source, NoisyReadingsRepeatForTheSameSeed) {
  const std::string lines = "noise_voltage = 40\nnoise_current = 10\nseed = 99\n";
  const std::string a = WriteBench(TesterDevice("KORA4VLH7Y", lines), "a.toml");
  EXPECT_EQ(Out({"-l", "1000"}, a), "");
  std::vector<std::string> first;
  for (int i = 0; i < 4; ++i) first.push_back(Out({"-s"}, a));
  EXPECT_NE(first[0], first[1]);
  for (const std::string& stats : first) {
    EXPECT_NEAR(Number(stats, "VOLTAGE"), 5000 - 100, 40) << stats;
    EXPECT_NEAR(Number(stats, "MEASURED CURRENT"), 998, 10) << stats;
    EXPECT_EQ(Reading(stats, "SET CURRENT"), "1000");
  }
  std::filesystem::remove(StatePath());
  EXPECT_EQ(Out({"-l", "1000"}, a), "");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Out({"-s"}, a), first[i]) << i;
}

// Each fault of the ready-made faulty charger, as a buyer finds it.
TEST_F(Source, FaultyChargerShowsItsFaults) {
  const std::string bench = ReadyMade("faulty-charger.toml");
  struct Step {
    std::vector<std::string> args;
    int passMs;  // time let pass after the step
  };
  struct Fault {
    const char* what;
    std::vector<Step> steps;
    const char* label;
    int low, high;  // where the reading lands
  };
  for (const Fault& f : {
           Fault{"9 V is 10 % high", {{{"-v", "2"}, 1000}}, "VOLTAGE", 9850, 9950},
           Fault{"15 V sags under its full 3 A",
                 {{{"-v", "3"}, 1000}, {{"-l", "3000"}, 0}},
                 "VOLTAGE",
                 12400,
                 12700},
           Fault{"the APDO is still on its way a second after the request",
                 {{{"-v", "5,9000"}, 1000}},
                 "VOLTAGE",
                 5600,
                 6400},
           Fault{"the APDO lands 400 mV low", {{{"-v", "5,9000"}, 6000}}, "VOLTAGE", 8550, 8650},
       }) {
    std::filesystem::remove(StatePath());
    for (const Step& step : f.steps) {
      EXPECT_EQ(Out(step.args, bench), "") << f.what;
      if (step.passMs > 0) PassTime(step.passMs);
    }
    const int reading = Number(Out({"-s"}, bench), f.label);
    EXPECT_GE(reading, f.low) << f.what;
    EXPECT_LE(reading, f.high) << f.what;
  }
  // 20 V advertises 3.25 A and trips at 2 A.
  std::filesystem::remove(StatePath());
  EXPECT_NE(Out({"-p"}, bench).find("INDEX:4,TYPE:PD-FIX,V:20000mV,I:3250mA\n"), std::string::npos);
  EXPECT_EQ(Out({"-v", "4"}, bench), "");
  EXPECT_EQ(Out({"-l", "1900"}, bench), "");
  EXPECT_EQ(Out({"-c"}, bench).rfind("STATUS:CONNECTED\nPROFILE INDEX:4\n", 0), 0u);
  EXPECT_EQ(Out({"-l", "2500"}, bench), "");
  EXPECT_EQ(Out({"-c"}, bench), "STATUS:NOT CONNECTED\n");
}

TEST_F(Source, GoodChargerStaysWithinOnePercent) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  for (const auto& [profile, mv] : std::vector<std::pair<std::string, int>>{
           {"1", 5000}, {"2", 9000}, {"3", 15000}, {"4", 20000}, {"5,12000", 12000}}) {
    EXPECT_EQ(Out({"-v", profile}, bench), "");
    EXPECT_EQ(Out({"-l", "3000"}, bench), "");
    PassTime(1000);
    const int reading = Number(Out({"-s"}, bench), "VOLTAGE");
    EXPECT_NEAR(reading, mv, mv / 100 + 300) << profile;  // 1 % plus the cable's drop
    EXPECT_EQ(Out({"-c"}, bench).rfind("STATUS:CONNECTED\n", 0), 0u) << profile;
    EXPECT_EQ(Out({"-l", "0"}, bench), "");
  }
}

TEST_F(Source, PowerBankRunsDownAcrossRunsUntilItsStateIsReset) {
  const std::string bench = ReadyMade("power-bank.toml");
  EXPECT_EQ(Out({"-l", "3000"}, bench), "");
  PassTime(3600 * 1000);  // an hour at 15 W leaves most of 37 Wh
  EXPECT_EQ(Out({"-c"}, bench).rfind("STATUS:CONNECTED\n", 0), 0u);
  PassTime(2 * 3600 * 1000);  // three hours empty it
  EXPECT_EQ(Out({"-c"}, bench), "STATUS:NOT CONNECTED\n");
  EXPECT_EQ(Out({"-p"}, bench), "NUM PROFILES:0\n");
  EXPECT_EQ(Out({"-l", "0"}, bench), "");
  PassTime(24 * 3600 * 1000);
  EXPECT_EQ(Out({"-c"}, bench), "STATUS:NOT CONNECTED\n");
  std::filesystem::remove(StatePath());  // recharged
  EXPECT_EQ(Out({"-p"}, bench).rfind("NUM PROFILES:3\n", 0), 0u);
}

}  // namespace
}  // namespace ralvex::e2e
