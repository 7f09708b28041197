// Each format written by its sink and read back by Python's own modules: the names, their order,
// the types, the decimals, the values and the number of rows.
#include <gtest/gtest.h>

#include <fstream>

#include "lab/log/row_sink.h"
#include "tests/lablog/log_reader.h"

namespace ralvex::lab {
namespace {

using namespace std::chrono;
using test::ReadLog;

const char* const HEADER =
    "columns time,elapsed_s,voltage_mv,current_ma,set_current_ma,loopback_ma,power_mw,"
    "temperature_c,charge_mah,energy_mwh";

// Three samples and the rows they make, worked out by hand.
struct KnownRow {
  Sample sample;
  const char* line;
};

Sample MakeSample(microseconds after, double elapsedS, uint16_t mv, uint16_t ma, uint16_t setMa,
                  uint16_t loopbackMa, int temperatureC) {
  Sample s;
  s.time = sys_days{2026y / 12 / 8} + 23h + 44min + 3s + 123ms + after;
  s.elapsedS = elapsedS;
  s.voltageMv = mv;
  s.currentMa = ma;
  s.setCurrentMa = setMa;
  s.loopbackMa = loopbackMa;
  s.temperatureC = temperatureC;
  return s;
}

const KnownRow KNOWN_ROWS[] = {
    {MakeSample(0us, 0, 5000, 1000, 1000, 998, 25),
     "row 2026-12-08T23:44:03.123Z|0|5000|1000|1000|998|5000|25|0|0"},
    {MakeSample(1500ms, 1.5, 5000, 2000, 2000, 1999, 26),
     "row 2026-12-08T23:44:04.623Z|1.5|5000|2000|2000|1999|10000|26|0.625|3.125"},
    // 23.247 mW, 1.0432365 mAh, 5.2137333 mWh; the time a hair short of .125
    {MakeSample(3001999us, 3.0004, 3321, 7, 0, 5, -5),
     "row 2026-12-08T23:44:06.124Z|3|3321|7|0|5|23.2|-5|1.043|5.214"},
};

const RunInfo RUN{"2026-12-08T23:44:03.000Z", "KORA1234", "--format sqlite --interval 1"};
const char* const SUMMARY = R"({"rows":3,"charge_mah":1.043})";

void WriteKnownRows(LogFormat format, const std::string& path) {
  std::string error;
  auto sink = OpenRowSink(format, path, RUN, &error);
  ASSERT_NE(sink, nullptr) << error;
  Integrator integrator;
  for (const KnownRow& known : KNOWN_ROWS) ASSERT_TRUE(sink->Write(integrator.Add(known.sample)));
  ASSERT_TRUE(sink->Flush()) << sink->Error();
  ASSERT_TRUE(sink->Finish(SUMMARY)) << sink->Error();
}

// What the reader sees after `runs` runs into one path: a text file holds the last run's rows, a
// database every run's rows and a `runs` row each.
std::vector<std::string> ExpectedLines(LogFormat format, int runs) {
  int kept = format == LOG_SQLITE ? runs : 1;
  std::vector<std::string> lines{HEADER};
  for (int run = 0; run < kept; ++run)
    for (const KnownRow& known : KNOWN_ROWS) lines.push_back(known.line);
  for (int run = 0; run < kept && format == LOG_SQLITE; ++run)
    lines.push_back(std::string("run ") + RUN.startTime + "|" + RUN.serial + "|" + RUN.options +
                    "|" + SUMMARY);
  return lines;
}

TEST(SinkReadBack, EveryFormatHoldsTheRowsItWasGiven) {
  for (int runs : {1, 2}) {
    for (LogFormat format : {LOG_CSV, LOG_JSONL, LOG_SQLITE}) {
      SCOPED_TRACE(std::string(test::FormatName(format)) + ", runs: " + std::to_string(runs));
      test::ScratchDir dir;
      std::string path = dir.File("log");
      for (int run = 0; run < runs; ++run) WriteKnownRows(format, path);
      test::ReadBack back = ReadLog(format, path);
      ASSERT_EQ(back.status, 0) << testing::PrintToString(back.lines);
      EXPECT_EQ(back.lines, ExpectedLines(format, runs));
    }
  }
}

// The reader itself refuses what a kill must never leave behind.
TEST(SinkReadBack, ReaderRefusesDamagedLogs) {
  struct {
    LogFormat format;
    const char* content;
  } const damaged[] = {
      {LOG_CSV,
       "time,elapsed_s,voltage_mv,current_ma,set_current_ma,loopback_ma,power_mw,temperature_c,"
       "charge_mah,energy_mwh\n2026-12-08T23:44:03.123Z,0.000,5000,1000,1000,998,5000.0,2"},
      {LOG_CSV, "time,elapsed_s\n"},
      {LOG_JSONL, "{\"time\":\"2026-12-08T23:44:03.123Z\",\"elapsed_s\":0.0"},
      {LOG_SQLITE, "SQLite format 3"},
  };
  for (const auto& d : damaged) {
    test::ScratchDir dir;
    std::ofstream(dir.File("log")) << d.content;
    EXPECT_NE(ReadLog(d.format, dir.File("log")).status, 0) << d.content;
  }
}

}  // namespace
}  // namespace ralvex::lab
