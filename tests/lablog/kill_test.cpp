// A logger killed outright at a random moment: what it had flushed is all there, and the log
// parses to its end (no half line, no damaged database).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "lab/log/row_sink.h"
#include "tests/lablog/log_reader.h"

namespace ralvex::lab {
namespace {

constexpr int ROWS_PER_FLUSH = 5;
constexpr auto ROW_INTERVAL = std::chrono::milliseconds(4);
constexpr int MAX_ROWS = 100000;  // the child ends by itself should the kill never come

// The child: rows in a loop, a Flush every few, and after each Flush the count so far on `report`.
[[noreturn]] void LogUntilKilled(LogFormat format, const std::string& path, int report) {
  std::string error;
  auto sink = OpenRowSink(format, path, RunInfo{"2026-12-08T23:44:03.000Z", "KORA1", ""}, &error);
  if (!sink) _exit(2);
  Integrator integrator;
  for (int32_t rows = 1; rows <= MAX_ROWS; ++rows) {
    Sample sample;
    sample.time = std::chrono::system_clock::now();
    sample.elapsedS = rows * 0.004;
    sample.voltageMv = 5000;
    sample.currentMa = uint16_t(rows % 3000);
    if (!sink->Write(integrator.Add(sample))) _exit(3);
    if (rows % ROWS_PER_FLUSH == 0) {
      if (!sink->Flush() || write(report, &rows, sizeof rows) != sizeof rows) _exit(4);
    }
    std::this_thread::sleep_for(ROW_INTERVAL);
  }
  _exit(0);
}

// The last count the child reported before it died; `last` when it reported nothing more.
int32_t LastFlushed(int report, int32_t last = 0) {
  int32_t count = 0;
  while (read(report, &count, sizeof count) == sizeof count) last = count;
  return last;
}

TEST(KilledLogger, KeepsEveryFlushedRowAndParses) {
  std::random_device seedSource;
  unsigned seed = seedSource();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> killAfterMs(80, 400);
  for (LogFormat format : {LOG_CSV, LOG_JSONL, LOG_SQLITE}) {
    for (int round = 0; round < 3; ++round) {
      SCOPED_TRACE(std::string(test::FormatName(format)) + " round " + std::to_string(round));
      test::ScratchDir dir;
      std::string path = dir.File("log");
      int pipeFds[2];
      ASSERT_EQ(pipe(pipeFds), 0);
      pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        close(pipeFds[0]);
        LogUntilKilled(format, path, pipeFds[1]);
      }
      close(pipeFds[1]);
      // The random moment counts from the first flush: on a busy machine the child may take
      // longer than the shortest wait to get there.
      int32_t first = 0;
      ASSERT_EQ(read(pipeFds[0], &first, sizeof first), static_cast<ssize_t>(sizeof first));
      std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs(random)));
      kill(child, SIGKILL);
      int status = 0;
      waitpid(child, &status, 0);
      int32_t flushed = LastFlushed(pipeFds[0], first);
      close(pipeFds[0]);
      ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;

      test::ReadBack back = test::ReadLog(format, path);
      ASSERT_EQ(back.status, 0) << testing::PrintToString(back.lines);
      EXPECT_GE(back.Rows(), size_t(flushed));
      EXPECT_GT(flushed, 0);
    }
  }
}

}  // namespace
}  // namespace ralvex::lab
