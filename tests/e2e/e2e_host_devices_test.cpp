// The program against real-device plumbing: RALVEX_BENCH unset, a fake sysfs tree whose tty is a
// pseudo-terminal served by ralvex-tester. It must behave as it does on the built-in bench, and
// ralvex-lab's log must ride out the tester going away and coming back.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "host_support.h"

namespace ralvex::e2e {
namespace {

namespace fs = std::filesystem;

constexpr unsigned NOBODY = 65534;

class HostDevices : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    sysfs_ = Dir() + "/sys";
    dev_ = Dir() + "/dev";
    fs::create_directories(dev_);
  }
  void TearDown() override {
    for (const int fd : keptTerminals_) close(fd);
    E2eTest::TearDown();
  }

  // Kills the tester, its pseudo-terminal's number kept taken by the test while it runs: freed,
  // the number could go to a terminal a test beside this one opens, and the program, opening
  // ttyUSB0 again, would find that test's tester answering in place of the dead one.
  void KillTester() {
    keptTerminals_.push_back(open(tester_.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    tester_.Kill();
  }

  // Serves a tester with the built-in bench's profiles and `extraLines`, wired to ttyUSB0.
  void Plug(const std::string& extraLines = "") {
    const std::string config = Dir() + "/tester.toml";
    std::ofstream(config) << extraLines << BENCH_FIVE_PROFILES;
    ASSERT_TRUE(tester_.Start({"--config", config, "--state", Dir() + "/tester.state.toml"}));
    hostdev_test::AddFakeUsbPort(sysfs_, port_);
    fs::create_symlink(tester_.PtyPath(), dev_ + "/" + port_.tty);
  }

  // The same tester served again after it was killed, on a new pseudo-terminal behind the same
  // tty name (as a replugged adapter comes back as the same ttyUSB0).
  void Restart() {
    const std::string config = Dir() + "/tester.toml";
    ASSERT_TRUE(tester_.Start({"--config", config, "--state", Dir() + "/tester.state.toml"}));
    fs::remove(dev_ + "/" + port_.tty);
    fs::create_symlink(tester_.PtyPath(), dev_ + "/" + port_.tty);
  }

  RunResult HostRun(const std::vector<std::string>& args, unsigned asUser = 0) const {
    return Run(args, "", {"RALVEX_SYSFS=" + sysfs_, "RALVEX_DEV=" + dev_}, asUser);
  }

  std::string sysfs_;
  std::string dev_;
  hostdev_test::FakeUsbPort port_;
  TesterProcess tester_;
  std::vector<int> keptTerminals_;
};

void ExpectSame(const RunResult& host, const RunResult& bench, const std::string& what) {
  EXPECT_EQ(host.code, bench.code) << what;
  EXPECT_EQ(host.out, bench.out) << what;
  EXPECT_EQ(host.err, bench.err) << what;
}

TEST_F(HostDevices, EveryActionAnswersAsOnTheBuiltinBench) {
  Plug();
  // One session of runs, each side keeping its own tester state from run to run.
  const std::vector<std::vector<std::string>> session = {
      {"-f"},
      {"-d", "KORA4VLH7Y", "-c"},
      {"-i", "0", "-p"},
      {"-s"},
      {"-v", "3"},
      {"-c"},
      {"-v", "5,6000"},
      {"-c"},
      {"-v", "5,12000"},
      {"-v", "8"},
      {"-l", "500"},
      {"-s"},
      {"-n", "9000"},
      {"-m", "1000"},
      {"-o", "3000"},
      {"-o", "0"},
      {"-d", "KORA0000000", "-c"},
      {"-i", "1", "-s"},
  };
  for (const auto& args : session) {
    std::string what;
    for (const auto& a : args) what += a + " ";
    const RunResult host = HostRun(args);
    const RunResult bench = Run(args, "builtin");
    ExpectSame(host, bench, what);
  }
}

TEST_F(HostDevices, TtyHeldByAnotherProgramIsLeftOutAfterTheOpenAttempts) {
  Plug();
  const int held = open(tester_.PtyPath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  const std::string bench =
      WriteBench("[[device]]\nserial = \"KORA4VLH7Y\"\npeer = \"tester\"\nheld_open = true\n");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"-f"}, {"-d", "KORA4VLH7Y", "-c"}, {"-s"}}) {
    const RunResult host = HostRun(args);
    EXPECT_EQ(host.code, 3) << args[0];
    ExpectSame(host, Run(args, bench), args[0]);
  }
  close(held);
  EXPECT_EQ(HostRun({"-f"}).out, "0=KORA4VLH7Y\n");
}

TEST_F(HostDevices, TtyTheUserMayNotOpenIsNamedOnceAndLeftOut) {
  hostdev_test::AddFakeUsbPort(sysfs_, port_);
  // A node only its owner may open; the program runs as somebody else.
  const std::string node = dev_ + "/" + port_.tty;
  std::ofstream(node) << "";
  fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(Dir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  const unsigned user = geteuid() == 0 ? NOBODY : 0;
  const RunResult r = HostRun({"-f"}, user);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  const std::string first = "ralvex: no permission to open " + node + " (KORA4VLH7Y): ";
  EXPECT_EQ(r.err.rfind(first, 0), 0u) << r.err;
  EXPECT_NE(r.err.find("packaging/udev/"), std::string::npos) << r.err;
  // One line for the tty however often the run enumerates, then the run's own outcome.
  EXPECT_EQ(r.err.substr(r.err.find('\n') + 1), "Error: Device not found.0\n");
}

TEST_F(HostDevices, TesterThatNeverAnswersFailsItsOpens) {
  Plug("silent = true\n");
  const RunResult r = HostRun({"-s"});
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Device not found.1\n");
}

TEST_F(HostDevices, PseudoTerminalClosedMidRunEndsTheRunWithoutAHang) {
  // Every answer takes a while: the far end goes away while the greeting is awaited.
  Plug("reply_delay_ms = 3000\n");
  std::thread cut([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    KillTester();
  });
  const RunResult r = HostRun({"-s"});
  cut.join();
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Error: Device not found.1\n");
}

TEST_F(HostDevices, UnplugAndReplugBetweenRunsAreSeen) {
  Plug();
  EXPECT_EQ(HostRun({"-f"}).out, "0=KORA4VLH7Y\n");
  hostdev_test::RemoveFakeUsbPort(sysfs_, port_);
  RunResult r = HostRun({"-c"});
  EXPECT_EQ(r.code, 3);
  EXPECT_EQ(r.err, "Error: Device not found.0\n");
  hostdev_test::AddFakeUsbPort(sysfs_, port_);
  r = HostRun({"-c"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out.rfind("STATUS:CONNECTED\n", 0), 0u);
}

// The elapsed_s column of each CSV row of `text` (the header left out).
std::vector<double> ElapsedColumn(const std::string& text) {
  std::vector<double> elapsed;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    const std::size_t comma = line.find(',');
    elapsed.push_back(std::stod(line.substr(comma + 1)));
  }
  return elapsed;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST_F(HostDevices, LabLogRidesOutATesterKilledAndServedAgain) {
  Plug();
  // After the header and five rows the tester dies; 1.5 s later it is served again.
  const auto gap = std::chrono::milliseconds(1500);
  ChildSignals outage{6, {}, [&](pid_t) {
                        KillTester();
                        std::this_thread::sleep_for(gap);
                        Restart();
                      }};
  const std::string summaryPath = Dir() + "/summary.json";
  const RunResult r =
      RunCommand({RALVEX_LAB_BINARY, "log", "--interval", "50", "--duration", "5", "--load", "500",
                  "--reconnect", "10", "--summary-json", summaryPath},
                 "", {"RALVEX_SYSFS=" + sysfs_, "RALVEX_DEV=" + dev_}, outage);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Occurrences(r.err, "The tester is gone"), 1u) << r.err;
  EXPECT_EQ(Occurrences(r.err, "The tester is back after"), 1u) << r.err;
  EXPECT_NE(r.err.find("Log done"), std::string::npos) << r.err;

  // One hole in the rows, at least as long as the tester was away; rows on both sides.
  const std::vector<double> elapsed = ElapsedColumn(r.out);
  std::size_t holes = 0;
  double hole = 0;
  for (std::size_t i = 1; i < elapsed.size(); ++i) {
    const double step = elapsed[i] - elapsed[i - 1];
    if (step > 1.0) ++holes;  // rows come every 50 ms; the tester is away 1.5 s
    hole = std::max(hole, step);
  }
  EXPECT_EQ(holes, 1u) << r.out;
  EXPECT_GE(hole, std::chrono::duration<double>(gap).count()) << r.out;
  ASSERT_GE(elapsed.size(), 10u) << r.out;
  // The load is set again on the returned tester: every row holds it.
  EXPECT_EQ(Occurrences(r.out, ",500,"), elapsed.size()) << r.out;

  std::ifstream summaryFile(summaryPath);
  const nlohmann::json summary = nlohmann::json::parse(summaryFile);
  EXPECT_EQ(summary["reconnects"], 1);
  EXPECT_EQ(summary["samples"], elapsed.size());
  EXPECT_GT(summary["seconds_without_tester"].get<double>(), 0.5);
  EXPECT_LE(summary["seconds_without_tester"].get<double>(), hole);
  // And the tester that came back has its load off again.
  const RunResult stats = HostRun({"-s"});
  EXPECT_NE(stats.out.find("SET CURRENT:0mA"), std::string::npos) << stats.out;
}

TEST_F(HostDevices, TesterRefusesABadConfigFileWithOneLine) {
  struct Case {
    const char* text;
    const char* complaint;  // after "FILE:"
  };
  const Case cases[] = {
      {"version_level = 21\nambient = 300\n",
       "2: 'ambient' of the tester must be from 0 to 125, not 300\n"},
      {"notify = true\nserail = 1\n", "2: unknown key 'serail' in the tester table\n"},
      {"profiles = [ { type = \"PD-FIX\"\n", "1: "},
  };
  const std::string config = Dir() + "/bad.toml";
  for (const Case& c : cases) {
    std::ofstream(config, std::ios::trunc) << c.text;
    const TesterOutcome outcome = RunTesterToEnd({"--config", config});
    EXPECT_EQ(outcome.code, 1) << c.text;
    EXPECT_EQ(outcome.err.rfind(config + ":" + c.complaint, 0), 0u) << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
  }
  const TesterOutcome missing = RunTesterToEnd({"--config", Dir() + "/none.toml"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err.rfind(Dir() + "/none.toml: ", 0), 0u) << missing.err;
}

}  // namespace
}  // namespace ralvex::e2e
