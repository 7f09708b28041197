// One bench for every process on the machine: a tester one program has open is held open for the
// others, and programs changing the state file at once lose none of each other's changes.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace ralvex::e2e {
namespace {

class SharedBench : public E2eTest {};

TEST_F(SharedBench, TesterOpenInOneProgramIsHeldOpenForAnother) {
  // Six exchanges, each answered 400 ms late: the first program holds the tester for 2.4 s.
  const std::string bench = WriteBench(TesterDevice("KORA4VLH7Y", "reply_delay_ms = 400\n"));
  RunResult first;
  std::thread slow([&] { first = Run({"-s"}, bench); });
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const RunResult second = Run({"-s"}, bench);
  slow.join();
  EXPECT_EQ(first.code, 0) << first.err;
  EXPECT_EQ(first.out.rfind("TEMP:25C\n", 0), 0u);
  EXPECT_EQ(second.code, 3);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err, "Error: Device not found.0\n");
  // Once the first program has closed it, the tester is free again.
  EXPECT_EQ(Run({"-c"}, bench).code, 0);
}

TEST_F(SharedBench, ProgramsChangingTheStateAtOnceLoseNothing) {
  constexpr int TESTERS = 6;
  std::string body;
  for (int t = 0; t < TESTERS; ++t) body += TesterDevice("KORA000" + std::to_string(t));
  const std::string bench = WriteBench(body);
  for (int round = 1; round <= 4; ++round) {
    std::vector<std::thread> programs;
    std::vector<RunResult> results(TESTERS);
    for (int t = 0; t < TESTERS; ++t) {
      // Listing the bench opens every device for a moment, as with real ports: a program may
      // find its tester held by another's listing and tries again, as a user would.
      programs.emplace_back([&, t] {
        for (int attempt = 0; attempt < 20 && results[t].code != 0; ++attempt) {
          results[t] = Run(
              {"-d", "KORA000" + std::to_string(t), "-l", std::to_string(round * 100 + t)}, bench);
        }
      });
    }
    for (auto& program : programs) program.join();
    for (int t = 0; t < TESTERS; ++t) EXPECT_EQ(results[t].code, 0) << results[t].err;
    for (int t = 0; t < TESTERS; ++t) {
      const RunResult r = Run({"-d", "KORA000" + std::to_string(t), "-s"}, bench);
      EXPECT_NE(r.out.find("SET CURRENT:" + std::to_string(round * 100 + t) + "mA\n"),
                std::string::npos)
          << "round " << round << ", tester " << t << ": " << ReadState();
    }
  }
}

}  // namespace
}  // namespace ralvex::e2e
