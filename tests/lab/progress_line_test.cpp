#include "lab/progress_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/capture.h"

namespace ralvex::lab {
namespace {

LogRow RowAt(double elapsedS) {
  LogRow row;
  row.sample.elapsedS = elapsedS;
  row.sample.voltageMv = 5000;
  row.sample.currentMa = 1000;
  row.powerMw = 5000;
  return row;
}

struct ProgressCase {
  const char* name;
  bool enabled;
  std::vector<double> rowsAt;  // elapsed_s of each row shown
  int draws;                   // lines drawn
};

TEST(ProgressLine, DrawsOnlyWhenEnabledAndAFewTimesASecond) {
  const ProgressCase cases[] = {
      {"not a terminal, or --quiet", false, {0, 1, 2}, 0},
      {"every row a second apart", true, {0, 1, 2}, 3},
      {"rows 10 ms apart", true, {0, 0.01, 0.02, 0.03, 0.3}, 2},
  };
  for (const ProgressCase& c : cases) {
    const std::string text = cli::test_support::Capture([&](std::FILE* f) {
      ProgressLine line(f, c.enabled);
      LogSummary summary;
      for (double at : c.rowsAt) {
        const LogRow row = RowAt(at);
        summary.Add(row);
        line.Show(row, summary);
      }
      line.Clear();
    });
    int draws = 0;
    for (std::size_t at = text.find("mW"); at != std::string::npos; at = text.find("mW", at + 1)) {
      ++draws;
    }
    EXPECT_EQ(draws, c.draws) << c.name;
    EXPECT_EQ(text.find('\n'), std::string::npos) << c.name;  // redrawn in place, never scrolled
    if (c.enabled) {
      EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K") << c.name;  // cleared
    }
  }
}

}  // namespace
}  // namespace ralvex::lab
