// ralvex-lab's sweeps and capacity run as child processes on the benches: the rows of a load and
// a voltage sweep on the good charger, the voltage sweeps it refuses, the power bank's energy.
// Every run leaves the tester's load at 0 mA, which the bench's state file shows.
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

using nlohmann::json;

class LabSweepE2e : public E2eTest {
 protected:
  // A value the tester keeps in the bench's state file; -1 when it is not there.
  long StateValue(const std::string& key) const {
    std::smatch match;
    const std::string state = ReadState();
    if (!std::regex_search(state, match, std::regex("\n" + key + " = (\\d+)"))) return -1;
    return std::stol(match[1]);
  }
  void ExpectNoLoadLeft() const {
    const long load = StateValue("load");
    EXPECT_TRUE(load == 0 || load == -1) << ReadState();
  }
};

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST_F(LabSweepE2e, ALoadSweepWritesOneRowPerStepAndEndsWithoutLoad) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const std::string plot = Dir() + "/load.svg";
  const RunResult r = Lab({"sweep", "load", "--from", "0", "--to", "3000", "--step", "1300",
                           "--settle", "50", "--hold", "100", "--plot", plot},
                          bench);
  ASSERT_EQ(r.code, 0) << r.err;
  const auto rows = CsvRows(r.out);
  ASSERT_EQ(rows.size(), 5u) << r.out;
  EXPECT_EQ(rows[0][0], "set_ma");
  EXPECT_EQ(rows[0][3], "voltage_mv_mean");
  double lastVoltage = 1e9;
  for (size_t i = 1; i < rows.size(); ++i) {
    const double set = std::stod(rows[i][0]), current = std::stod(rows[i][6]);
    EXPECT_EQ(set, (std::vector<double>{0, 1300, 2600, 3000})[i - 1]);
    EXPECT_GT(std::stoi(rows[i][1]), 0);                  // samples
    EXPECT_NEAR(current, set, set * 0.02 + 10) << r.out;  // the current drawn is the one set
    EXPECT_LT(std::stod(rows[i][3]), lastVoltage);        // the voltage sags under load
    lastVoltage = std::stod(rows[i][3]);
  }
  EXPECT_NE(FileText(plot).find("<svg"), std::string::npos);
  ExpectNoLoadLeft();
}

TEST_F(LabSweepE2e, AnInterruptedSweepEndsWithoutLoad) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const RunResult r = Lab({"sweep", "load", "--from", "1000", "--to", "3000", "--step", "100",
                           "--settle", "50", "--hold", "100"},
                          bench, {2, {SIGINT}, {}});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("Interrupted"), std::string::npos) << r.err;
  ExpectNoLoadLeft();
}

TEST_F(LabSweepE2e, AVoltageSweepFollowsTheRequestsAndEndsOnProfileOne) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const RunResult r =
      Lab({"sweep", "voltage", "--profile", "5", "--from", "5000", "--to", "9000", "--step", "2000",
           "--load", "1000", "--settle", "50", "--hold", "100", "--format", "jsonl"},
          bench);
  ASSERT_EQ(r.code, 0) << r.err;
  std::istringstream lines(r.out);
  std::vector<json> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(json::parse(line));
  ASSERT_EQ(rows.size(), 3u) << r.out;
  for (const json& row : rows) {
    const double set = row["set_mv"].get<double>();
    EXPECT_NEAR(row["voltage_mv_mean"].get<double>(), set, set * 0.05) << row.dump();
    EXPECT_NEAR(row["current_ma_mean"].get<double>(), 1000, 30) << row.dump();
    EXPECT_TRUE(row["lost_at_ma"].is_null());
  }
  EXPECT_EQ(StateValue("profile"), 1) << ReadState();
  ExpectNoLoadLeft();
}

TEST_F(LabSweepE2e, VoltageSweepsItCannotRunAreRefusedWithTheirExitCode) {
  struct Case {
    std::vector<std::string> args;  // after "sweep voltage"
    int code;
    const char* says;
  };
  const std::string bench = ReadyMade("good-charger-65w.toml");
  for (const Case& c : {
           Case{{"--profile", "5", "--from", "5010", "--to", "6000", "--step", "100"},
                1,
                "multiples of 20 mV"},
           Case{{"--profile", "5", "--from", "3000", "--to", "6000", "--step", "100"},
                1,
                "Error: 3000-6000 mV leaves profile 5's range 3300-21000 mV."},
           Case{{"--profile", "5", "--from", "20000", "--to", "22000", "--step", "1000"},
                1,
                "leaves profile 5's range"},
           Case{{"--profile", "2", "--from", "5000", "--to", "6000", "--step", "100"},
                4,
                "Error: profile 2 is PD-FIX, not a ranged (PD-APDO) profile."},
           Case{{"--profile", "6", "--from", "5000", "--to", "6000", "--step", "100"},
                4,
                "Error: profile 6 does not exist (the source offers 5)."},
       }) {
    std::vector<std::string> args = {"sweep", "voltage", "--load", "1000"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = Lab(args, bench);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    ExpectNoLoadLeft();
  }
}

TEST_F(LabSweepE2e, ThePowerBanksEnergyIsWhatItsBatteryHeld) {
  // The bench's own power bank with a small battery, so that it runs out in a few seconds.
  const std::string bench = ReadyMade("power-bank.toml");
  std::string text = FileText(bench);
  const std::string full = "battery_mwh = 37000";
  ASSERT_NE(text.find(full), std::string::npos);
  text.replace(text.find(full), full.size(), "battery_mwh = 40");
  std::ofstream(bench, std::ios::trunc) << text;
  const std::string report = Dir() + "/capacity.json", rows = Dir() + "/capacity.csv";
  const RunResult r = Lab({"capacity", "--load", "2000", "--profile", "2", "--recover-timeout",
                           "500", "--max-duration", "60", "-o", rows, "--json", report},
                          bench);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Stopped:        the source gave out"), std::string::npos) << r.out;
  const json result = json::parse(FileText(report));
  EXPECT_EQ(result["schema"], "ralvex.capacity/1");
  EXPECT_EQ(result["stopped"], "source_lost");
  EXPECT_NEAR(result["energy_mwh"].get<double>(), 40, 40 * 0.02) << result.dump();
  EXPECT_NEAR(result["average_power_w"].get<double>(), 9 * 2 * 0.97, 1) << result.dump();
  const auto logged = CsvRows(FileText(rows));
  ASSERT_GT(logged.size(), 10u);
  EXPECT_EQ(logged[0][9], "energy_mwh");
  // The rows' running total is the report's energy.
  EXPECT_NEAR(std::stod(logged.back()[9]), result["energy_mwh"].get<double>(), 0.001);
  ExpectNoLoadLeft();
}

}  // namespace
}  // namespace ralvex::e2e
