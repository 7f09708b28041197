// /metrics as Prometheus reads it (one HELP and TYPE per family before its series, base units,
// escaped labels, a down tester without stale readings) and the history behind /api/samples (its
// span, and "after T" as the rows' own time column shows T).
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "lab/serve/metrics_text.h"
#include "lab/serve/sample_history.h"

namespace ralvex::lab {
namespace {

using std::chrono::milliseconds;

TesterView Measured(const std::string& serial, bool up) {
  TesterView t;
  t.serial = serial;
  t.up = up;
  t.measured = true;
  t.lastRow.sample.voltageMv = 20000;
  t.lastRow.sample.currentMa = 1500;
  t.lastRow.sample.setCurrentMa = 1600;
  t.lastRow.sample.temperatureC = 31;
  t.lastRow.powerMw = 30000;
  t.lastRow.chargeMah = 10;
  t.lastRow.energyMwh = 200;
  t.snapshot.contract.status = 1;
  t.snapshot.contract.profileIndex = 4;
  t.exchanges = 12;
  t.failures = 2;
  t.samples = 9;
  return t;
}

// The value of the series of `family` for `serial`, or "absent".
std::string Series(const std::string& text, const std::string& family, const std::string& serial) {
  std::smatch m;
  const std::regex line("(^|\n)" + family + "\\{serial=\"" + serial + "\"\\} ([^\n]+)");
  return std::regex_search(text, m, line) ? m[2].str() : "absent";
}

TEST(MetricsText, EveryFamilyHasOneHelpAndOneTypeBeforeItsSeries) {
  const std::string text = MetricsText({Measured("KORA1", true), Measured("KORA2", true)});
  std::istringstream lines(text);
  std::map<std::string, int> help, type;
  std::string line, current;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (std::regex_match(line, m, std::regex("# HELP (\\w+) .+"))) {
      ++help[m[1]];
      current = m[1];
    } else if (std::regex_match(line, m, std::regex("# TYPE (\\w+) (gauge|counter)"))) {
      ++type[m[1]];
      EXPECT_EQ(m[1], current) << "TYPE without its HELP: " << line;
      EXPECT_EQ(m[2] == "counter", current.size() > 6 && current.ends_with("_total")) << line;
    } else {
      ASSERT_TRUE(std::regex_match(line, m, std::regex("(\\w+)\\{serial=\"KORA[12]\"\\} \\S+")))
          << line;
      EXPECT_EQ(m[1], current) << "a series outside its family: " << line;
    }
  }
  EXPECT_EQ(help.size(), 13u);
  for (const auto& [name, count] : help) EXPECT_EQ(count, 1) << name;
  for (const auto& [name, count] : type) EXPECT_EQ(count, 1) << name;
}

TEST(MetricsText, ReadingsAreInBaseUnitsAndADownTesterKeepsOnlyUpAndCounters) {
  const std::string text = MetricsText({Measured("KORA1", true), Measured("KORA2", false)});
  const struct {
    const char* family;
    const char* up;    // KORA1's value
    const char* down;  // KORA2's
  } cases[] = {
      {"ralvex_up", "1", "0"},
      {"ralvex_voltage_volts", "20", "absent"},
      {"ralvex_current_amperes", "1.5", "absent"},
      {"ralvex_set_current_amperes", "1.6", "absent"},
      {"ralvex_power_watts", "30", "absent"},
      {"ralvex_temperature_celsius", "31", "absent"},
      {"ralvex_contract_connected", "1", "absent"},
      {"ralvex_contract_profile", "4", "absent"},
      {"ralvex_exchanges_total", "12", "12"},
      {"ralvex_exchange_failures_total", "2", "2"},
      {"ralvex_samples_total", "9", "9"},
      {"ralvex_charge_coulombs_total", "36", "36"},  // 10 mAh
      {"ralvex_energy_joules_total", "720", "720"},  // 200 mWh
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Series(text, c.family, "KORA1"), c.up) << c.family;
    EXPECT_EQ(Series(text, c.family, "KORA2"), c.down) << c.family;
  }
}

TEST(MetricsText, AnUnmeasuredTesterShowsNoReading) {
  TesterView t;
  t.serial = "KORA3";
  t.up = true;
  const std::string text = MetricsText({t});
  EXPECT_EQ(Series(text, "ralvex_up", "KORA3"), "1");
  EXPECT_EQ(Series(text, "ralvex_voltage_volts", "KORA3"), "absent");
}

TEST(MetricsText, LabelValuesAreEscaped) {
  const struct {
    const char* raw;
    const char* escaped;
  } cases[] = {
      {"KORA1", "KORA1"}, {"a\"b", "a\\\"b"},        {"a\\b", "a\\\\b"},
      {"a\nb", "a\\nb"},  {"\\\"\n", "\\\\\\\"\\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeLabelValue(c.raw), c.escaped) << c.raw;
  const std::string text = MetricsText({Measured("x\"y", true)});
  EXPECT_NE(text.find("ralvex_up{serial=\"x\\\"y\"} 1\n"), std::string::npos);
}

LogRow RowAt(WallTime time) {
  LogRow row;
  row.sample.time = time;
  return row;
}

TEST(SampleHistory, KeepsTheSpanBehindTheNewestRow) {
  SampleHistory history(std::chrono::seconds(2));
  const WallTime t0 = WallTime{} + std::chrono::hours(1000);
  for (int i = 0; i <= 10; ++i) history.Add(RowAt(t0 + milliseconds(500 * i)));
  const std::vector<LogRow> all = history.After(std::nullopt);
  ASSERT_EQ(all.size(), 5u);  // 3.0 s to 5.0 s
  EXPECT_EQ(all.front().sample.time, t0 + milliseconds(3000));
  EXPECT_EQ(all.back().sample.time, t0 + milliseconds(5000));
}

TEST(SampleHistory, KeepsNoMoreThanItsRowLimit) {
  SampleHistory history(std::chrono::hours(24 * 7));
  const WallTime t0 = WallTime{} + std::chrono::hours(1000);
  for (std::size_t i = 0; i < HISTORY_ROW_LIMIT + 10; ++i) {
    history.Add(RowAt(t0 + milliseconds(i)));
  }
  EXPECT_EQ(history.Size(), HISTORY_ROW_LIMIT);
  EXPECT_EQ(history.After(std::nullopt).front().sample.time, t0 + milliseconds(10));
}

TEST(SampleHistory, AfterATimeLeavesOutTheRowsThatShowIt) {
  SampleHistory history(std::chrono::seconds(60));
  const WallTime t0 = WallTime{} + std::chrono::hours(1000);
  // Rows at 1.0004 s, 1.0009 s (both shown as 1.000) and 1.5 s.
  for (auto us : {1000400, 1000900, 1500000})
    history.Add(RowAt(t0 + std::chrono::microseconds(us)));
  const struct {
    std::optional<WallTime> since;
    std::size_t rows;
  } cases[] = {
      {std::nullopt, 3},
      {t0, 3},
      {t0 + milliseconds(999), 3},
      {t0 + milliseconds(1000), 1},  // the first two rows' own time stamp
      {t0 + std::chrono::microseconds(1000700), 1},
      {t0 + milliseconds(1499), 1},
      {t0 + milliseconds(1500), 0},
      {t0 + std::chrono::hours(1), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(history.After(c.since).size(), c.rows)
        << (c.since ? FormatUtc(*c.since) : std::string("none"));
  }
}

}  // namespace
}  // namespace ralvex::lab
