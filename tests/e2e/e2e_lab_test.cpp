// ralvex-lab run as a child process against bench files: the status snapshot, the log with a
// known load read back, the load back at 0 mA after SIGINT and SIGTERM, a log file that survives
// SIGKILL, a lost tester, and the exit codes.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "tests/lablog/log_reader.h"

namespace ralvex::e2e {
namespace {

using nlohmann::json;

class LabE2e : public E2eTest {
 protected:
  // The tester's load as ralvex reads it afterwards on the same bench.
  std::string SetCurrentAfterwards(const std::string& bench) const {
    const RunResult stats = Run({"-s"}, bench);
    const std::size_t at = stats.out.find("SET CURRENT:");
    return at == std::string::npos ? stats.out
                                   : stats.out.substr(at, stats.out.find('\n', at) - at);
  }
};

std::vector<json> JsonLines(const std::string& text) {
  std::vector<json> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) rows.push_back(json::parse(line));
  return rows;
}

TEST_F(LabE2e, StatusJsonDescribesTheTester) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const RunResult r = Lab({"status", "--json"}, bench);
  ASSERT_EQ(r.code, 0) << r.err;
  const json status = json::parse(r.out);
  EXPECT_EQ(status["schema"], "ralvex.status/1");
  EXPECT_EQ(status["tester"]["serial"], "KORA4VLH7Y");
  EXPECT_EQ(status["tester"]["version_level"], 21);
  EXPECT_TRUE(status["contract"]["connected"].is_boolean());
  ASSERT_EQ(status["profiles"].size(), 5u);
  EXPECT_EQ(status["profiles"][4]["type"], "PD-APDO");
  EXPECT_EQ(status["profiles"][4]["min_voltage_mv"], 3300);
  EXPECT_TRUE(status["measurements"]["voltage_mv"].is_number());
}

TEST_F(LabE2e, LogWritesTheAskedSamplesWithTheLoadAndResetsIt) {
  const std::string bench = ReadyMade("good-charger-65w.toml");
  const RunResult r = Lab({"log", "--samples", "5", "--interval", "20", "--load", "1000",
                           "--format", "jsonl", "--summary-json", Dir() + "/summary.json"},
                          bench);
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<json> rows = JsonLines(r.out);
  ASSERT_EQ(rows.size(), 5u);
  for (const json& row : rows) {
    EXPECT_EQ(row["set_current_ma"], 1000);
    EXPECT_NEAR(row["current_ma"].get<double>(), 1000, 50);
  }
  EXPECT_NE(r.err.find("5 samples"), std::string::npos) << r.err;
  EXPECT_EQ(SetCurrentAfterwards(bench), "SET CURRENT:0mA");
  std::ifstream summaryFile(Dir() + "/summary.json");
  const json summary = json::parse(summaryFile);
  EXPECT_EQ(summary["schema"], "ralvex.log-summary/1");
  EXPECT_EQ(summary["samples"], 5);
  EXPECT_GT(summary["charge_mah"].get<double>(), 0);
}

struct SignalCase {
  const char* name;
  std::vector<int> signals;
};

TEST_F(LabE2e, AStopSignalPutsTheLoadBackToZero) {
  const SignalCase cases[] = {{"SIGINT", {SIGINT}}, {"SIGTERM", {SIGTERM}}};
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bench = ReadyMade("good-charger-65w.toml");
    // The header and two rows are out: the load is on.
    const RunResult r =
        Lab({"log", "--load", "1000", "--interval", "50"}, bench, {3, c.signals, {}});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("Log interrupted"), std::string::npos) << r.err;
    EXPECT_EQ(SetCurrentAfterwards(bench), "SET CURRENT:0mA");
  }
}

TEST_F(LabE2e, ATesterThatLeavesForGoodEndsWithThree) {
  const std::string bench = WriteBench(TesterDevice("KORA4VLH7Y") + "unplug_after_bytes = 400\n");
  const RunResult r = Lab({"log", "--interval", "10", "--reconnect", "1", "-q"}, bench);
  EXPECT_EQ(r.code, 3) << r.err;
  EXPECT_NE(r.err.find("The tester is gone"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("did not come back within 1 s"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Log tester lost"), std::string::npos) << r.err;
}

// The seconds since the epoch of a row's time stamp ("2026-12-09T03:20:01.123Z"), or -1.
double RowTime(const std::string& row) {
  std::tm tm{};
  int millis = 0;
  if (std::sscanf(row.c_str(), "row %4d-%2d-%2dT%2d:%2d:%2d.%3dZ", &tm.tm_year, &tm.tm_mon,
                  &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &millis) != 7) {
    return -1;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return double(timegm(&tm)) + millis / 1000.0;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Lines in a file so far (its rows plus the header, for CSV).
std::size_t LinesIn(const std::string& path) {
  std::ifstream in(path);
  std::size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

std::uintmax_t SizeOf(const std::string& path) {
  std::error_code none;
  const std::uintmax_t size = std::filesystem::file_size(path, none);
  return none ? 0 : size;
}

struct KillCase {
  const char* format;
  lab::LogFormat readAs;
};

TEST_F(LabE2e, ALogKilledOutrightParsesAndHoldsAllButItsLastSecond) {
  const KillCase cases[] = {{"csv", lab::LOG_CSV}, {"sqlite", lab::LOG_SQLITE}};
  const std::string bench = ReadyMade("good-charger-65w.toml");
  for (const KillCase& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string path = Dir() + "/killed." + c.format;
    const bool csv = std::string(c.format) == "csv";
    double killedAt = 0;
    std::size_t rowsBeforeKill = 0;
    // Once the file is there (SQLite: its write-ahead log), the run is killed after a flush or
    // so.
    const std::string watched = csv ? path : path + "-wal";
    ChildSignals kill9{0, {}, [&](pid_t pid) {
                         const auto limit =
                             std::chrono::steady_clock::now() + std::chrono::seconds(20);
                         while (SizeOf(watched) == 0 && std::chrono::steady_clock::now() < limit) {
                           std::this_thread::sleep_for(std::chrono::milliseconds(50));
                         }
                         std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                         rowsBeforeKill = csv ? LinesIn(path) - 1 : 0;
                         killedAt = WallSeconds();
                         kill(pid, SIGKILL);
                       }};
    const RunResult r =
        Lab({"log", "--interval", "10", "--format", c.format, "-o", path}, bench, kill9);
    EXPECT_EQ(r.code, -1) << "the run ended by itself: " << r.err;

    const lab::test::ReadBack back = lab::test::ReadLog(c.readAs, path);
    ASSERT_EQ(back.status, 0) << testing::PrintToString(back.lines);
    std::vector<std::string> rows;
    for (const std::string& line : back.lines) {
      if (line.rfind("row ", 0) == 0) rows.push_back(line);
    }
    ASSERT_FALSE(rows.empty());
    // What had reached the file stays, and a flush a second at most leaves the last second out
    // at worst (the kill may land just before one is due; a little more for a shared machine).
    EXPECT_GE(rows.size(), rowsBeforeKill);
    EXPECT_GE(RowTime(rows.back()), killedAt - 1.5) << rows.back();
  }
}

struct ExitCase {
  std::vector<std::string> args;
  const char* bench;  // "good": the 65 W charger; "none": no tester on the bench
  int code;
  const char* err;
};

TEST_F(LabE2e, ExitCodes) {
  const ExitCase cases[] = {
      {{"log", "--interval", "fast"}, "good", 1, "'fast' for --interval"},
      {{"log", "--format", "sqlite"}, "good", 1, "needs a file"},
      {{"log", "--samples", "1", "-o", "/nonexistent-folder/run.csv"}, "good", 1, "run.csv"},
      {{"log", "--samples", "1", "-o", "/dev/full"}, "good", 6, "/dev/full"},
      {{"--device", "nonsense", "status"}, "good", 1, "'nonsense' for --device"},
      {{"--device", "KORA0000", "status"}, "good", 3, "Device not found"},
      {{"--index", "4", "status"}, "good", 3, "Device not found"},
      {{"status"}, "none", 3, "Device not found"},
  };
  const std::string good = ReadyMade("good-charger-65w.toml");
  const std::string none = WriteBench("", "none.toml");
  for (const ExitCase& c : cases) {
    const std::string name = c.bench;
    const RunResult r = Lab(c.args, name == "good" ? good : none);
    EXPECT_EQ(r.code, c.code) << c.args.back() << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST_F(LabE2e, ASilentStatusExchangeSaysTheTesterDidNotAnswer) {
  const std::string bench = WriteBench(TesterDevice("KORA4VLH7Y") + "unplug_after_bytes = 40\n");
  const RunResult r = Lab({"status"}, bench);
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("Error: the tester did not answer."), std::string::npos) << r.err;
}

}  // namespace
}  // namespace ralvex::e2e
