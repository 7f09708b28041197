// Runs the built ralvex program as a child process against a bench and collects its standard
// output, standard error and exit code. Each test gets its own folder for bench and state files.
#pragma once

#include <gtest/gtest.h>

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#ifndef RALVEX_BINARY
#error "RALVEX_BINARY must name the program under test"
#endif
#ifndef RALVEX_LAB_BINARY
#error "RALVEX_LAB_BINARY must name the lab program under test"
#endif

namespace ralvex::e2e {

struct RunResult {
  int code = -1;  // exit code; -1 when the program did not end normally
  std::string out;
  std::string err;
  bool timedOut = false;
};

// The exact usage text for program name `name`.
std::string UsageText(const std::string& name = RALVEX_BINARY);

// Once a child's standard output holds `afterLines` lines, each of `send` is sent to it in turn,
// then `then` (when set) is called with its process ID; the output is read on when it returns.
struct ChildSignals {
  std::size_t afterLines = 0;
  std::vector<int> send;
  std::function<void(pid_t)> then;
};

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a bench file into the test's folder; `state = "state.toml"` is prepended, so the
  // emulated testers keep their state in the test's folder only.
  std::string WriteBench(const std::string& body, const std::string& name = "bench.toml");
  // A ready-made bench of sim/benches copied into the test's folder, its state kept there.
  std::string ReadyMade(const std::string& name);
  std::string StatePath() const { return dir_ + "/state.toml"; }
  std::string ReadState() const;
  const std::string& Dir() const { return dir_; }

  // Runs the program with `args` and RALVEX_BENCH = `bench` (empty: unset). The built-in
  // bench's state goes to the test's folder too. Without a bench the machine's real devices
  // would be used: RALVEX_SYSFS then points at an empty folder unless `env` sets it.
  RunResult Run(const std::vector<std::string>& args, const std::string& bench) const {
    return Run(args, bench, {});
  }
  // The same with further NAME=VALUE entries in the environment; `asUser` (when not 0) is the
  // user ID the program runs as.
  RunResult Run(const std::vector<std::string>& args, const std::string& bench,
                const std::vector<std::string>& env, unsigned asUser = 0) const;

  // ralvex-lab with `args` on `bench`.
  RunResult Lab(std::vector<std::string> args, const std::string& bench,
                const ChildSignals& signals = {}) const {
    args.insert(args.begin(), RALVEX_LAB_BINARY);
    return RunCommand(args, bench, {}, signals);
  }

  // Any built program: `command` is its path and its arguments.
  RunResult RunCommand(const std::vector<std::string>& command, const std::string& bench,
                       const std::vector<std::string>& env = {}, const ChildSignals& signals = {},
                       unsigned asUser = 0) const;

 private:
  std::string dir_;
};

// A tester [[device]] table with the default tester, or with the given [device.tester] lines.
std::string TesterDevice(const std::string& serial, const std::string& testerLines = "");

// The built-in bench's profiles: PD-FIX 5000, 9000, 15000 and 20000 mV, PD-APDO 3300-11000 mV.
inline constexpr const char* BENCH_FIVE_PROFILES =
    "profiles = [\n"
    "  { type = \"PD-FIX\", voltage = 5000, current = 3000 },\n"
    "  { type = \"PD-FIX\", voltage = 9000, current = 3000 },\n"
    "  { type = \"PD-FIX\", voltage = 15000, current = 3000 },\n"
    "  { type = \"PD-FIX\", voltage = 20000, current = 2250 },\n"
    "  { type = \"PD-APDO\", min_voltage = 3300, voltage = 11000, current = 3000 },\n"
    "]\n";

}  // namespace ralvex::e2e
