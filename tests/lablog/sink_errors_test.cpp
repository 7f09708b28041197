// What the sinks say when the output fails or the input is bad, and when they put rows out.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>

#include "lab/log/row_sink.h"
#include "tests/lablog/log_reader.h"

namespace ralvex::lab {
namespace {

using testing::HasSubstr;

LogRow SomeRow(double elapsedS = 1) {
  Sample sample;
  sample.elapsedS = elapsedS;
  sample.voltageMv = 5000;
  sample.currentMa = 1000;
  return Integrator().Add(sample);
}

TEST(SinkErrors, OutputsThatCannotBeOpened) {
  test::ScratchDir dir;
  std::ofstream(dir.File("text")) << "not a database, just words of text filling a page\n";
  struct {
    LogFormat format;
    std::string path;
    const char* says;
  } const cases[] = {
      {LOG_CSV, dir.File("missing/log.csv"), "cannot create"},
      {LOG_JSONL, dir.File("missing/log.jsonl"), "missing/log.jsonl"},
      {LOG_SQLITE, dir.File("missing/log.db"), "missing/log.db"},
      {LOG_SQLITE, dir.File("text"), "not a database"},
      {LOG_SQLITE, "", "needs a file path"},
      {LogFormat(9), dir.File("log"), "unknown log format"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(OpenRowSink(c.format, c.path, RunInfo{}, &error), nullptr) << c.path;
    EXPECT_THAT(error, HasSubstr(c.says));
  }
}

TEST(SinkErrors, FullDiskFailsTheFlush) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
  for (LogFormat format : {LOG_CSV, LOG_JSONL}) {
    std::string error;
    auto sink = OpenRowSink(format, "/dev/full", RunInfo{}, &error);
    ASSERT_NE(sink, nullptr) << error;
    EXPECT_TRUE(sink->Write(SomeRow()));  // still gathering in memory
    EXPECT_FALSE(sink->Flush());
    EXPECT_THAT(sink->Error(), HasSubstr("No space left"));
    EXPECT_FALSE(sink->Write(SomeRow()));  // a failed output stays failed
    EXPECT_FALSE(sink->Finish("{}"));
  }
}

// A pipe gets every row as it is written, and a closed pipe is an error, not a crash.
TEST(SinkErrors, PipeGetsEachRowAndReportsItsClosing) {
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  for (LogFormat format : {LOG_CSV, LOG_JSONL}) {
    test::ScratchDir dir;
    std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::string error;
    auto sink = OpenRowSink(format, fifo, RunInfo{}, &error);
    ASSERT_NE(sink, nullptr) << error;
    ASSERT_TRUE(sink->Write(SomeRow()));
    char buffer[1024];
    ssize_t got = read(reader, buffer, sizeof buffer);
    ASSERT_GT(got, 0);
    std::string text(buffer, size_t(got));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), format == LOG_CSV ? 2 : 1) << text;
    close(reader);
    EXPECT_FALSE(sink->Write(SomeRow()));
    EXPECT_THAT(sink->Error(), HasSubstr("Broken pipe"));
  }
  std::signal(SIGPIPE, previous);
}

// A row whose numbers cannot be written is refused alone; the sink goes on.
TEST(SinkErrors, UnwritableRowIsRefusedAndTheSinkGoesOn) {
  for (LogFormat format : {LOG_CSV, LOG_JSONL, LOG_SQLITE}) {
    SCOPED_TRACE(test::FormatName(format));
    test::ScratchDir dir;
    std::string error;
    auto sink = OpenRowSink(format, dir.File("log"), RunInfo{}, &error);
    ASSERT_NE(sink, nullptr) << error;
    for (double bad : {std::nan(""), HUGE_VAL, -1e300}) {
      EXPECT_FALSE(sink->Write(SomeRow(bad)));
      EXPECT_THAT(sink->Error(), HasSubstr("elapsed_s"));
    }
    EXPECT_TRUE(sink->Write(SomeRow()));
    EXPECT_TRUE(sink->Finish("{}")) << sink->Error();
    test::ReadBack back = test::ReadLog(format, dir.File("log"));
    EXPECT_EQ(back.status, 0) << testing::PrintToString(back.lines);
    EXPECT_EQ(back.Rows(), 1u);
  }
}

TEST(SinkErrors, SummaryMustBeAJsonObject) {
  test::ScratchDir dir;
  std::string error;
  auto sink = OpenRowSink(LOG_SQLITE, dir.File("log.db"), RunInfo{}, &error);
  ASSERT_NE(sink, nullptr) << error;
  for (const char* summary : {"", "not json", "[1,2]", "{\"rows\":", "3"}) {
    EXPECT_FALSE(sink->Finish(summary)) << summary;
    EXPECT_THAT(sink->Error(), HasSubstr("not a JSON object"));
  }
  EXPECT_TRUE(sink->Finish(R"({"rows":0})")) << sink->Error();
}

}  // namespace
}  // namespace ralvex::lab
