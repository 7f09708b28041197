#include "lab/status_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/capture.h"
#include "tests/lab/lab_fakes.h"

namespace ralvex::lab {
namespace {

using nlohmann::json;
using test_support::FakeClock;
using test_support::FakeTester;

// Fixed 9 V (class 5, subtype 0, id 1) and a ranged 3.3-11 V (class 5, subtype 3, id 2).
link::ProfileList TwoProfiles() {
  link::ProfileList list{};
  list.count = 2;
  list.entries[0] = {0x0051, 0, 9000, 3000};
  list.entries[1] = {0x0352, 3300, 11000, 2000};
  return list;
}

StatusSnapshot Snapshot(uint8_t versionLevel) {
  FakeClock clock;
  FakeTester tester(clock);
  tester.profiles = TwoProfiles();
  tester.versionLevel = versionLevel;
  tester.stats = {0, 31, 9000, 0, 1500, 20};
  StatusSnapshot snapshot;
  snapshot.serial = "KORA4VLH7Y";
  snapshot.index = 1;
  EXPECT_TRUE(TakeSnapshot(tester, snapshot));
  return snapshot;
}

struct KeyCase {
  const char* pointer;
  json::value_t type;
};

TEST(StatusJson, EveryKeyWithItsType) {
  const json status = json::parse(StatusJson(Snapshot(21)));
  const KeyCase cases[] = {
      {"/schema", json::value_t::string},
      {"/tester/serial", json::value_t::string},
      {"/tester/index", json::value_t::number_unsigned},
      {"/tester/version_level", json::value_t::number_unsigned},
      {"/contract/connected", json::value_t::boolean},
      {"/contract/profile", json::value_t::number_unsigned},
      {"/contract/type", json::value_t::string},
      {"/contract/voltage_mv", json::value_t::number_unsigned},
      {"/contract/max_current_ma", json::value_t::number_unsigned},
      {"/contract/max_power_mw", json::value_t::number_unsigned},
      {"/profiles", json::value_t::array},
      {"/profiles/0/index", json::value_t::number_unsigned},
      {"/profiles/0/type", json::value_t::string},
      {"/profiles/0/voltage_mv", json::value_t::number_unsigned},
      {"/profiles/0/current_ma", json::value_t::number_unsigned},
      {"/profiles/1/min_voltage_mv", json::value_t::number_unsigned},
      {"/measurements/temperature_c", json::value_t::number_unsigned},
      {"/measurements/voltage_mv", json::value_t::number_unsigned},
      {"/measurements/set_current_ma", json::value_t::number_unsigned},
      {"/measurements/current_ma", json::value_t::number_unsigned},
      {"/measurements/loopback_ma", json::value_t::number_unsigned},
      {"/measurements/power_mw", json::value_t::number_float},
  };
  for (const KeyCase& c : cases) {
    const json::json_pointer pointer(c.pointer);
    ASSERT_TRUE(status.contains(pointer)) << c.pointer;
    EXPECT_EQ(status.at(pointer).type(), c.type) << c.pointer;
  }
}

TEST(StatusJson, Values) {
  const json status = json::parse(StatusJson(Snapshot(21)));
  EXPECT_EQ(status["schema"], "ralvex.status/1");
  EXPECT_EQ(status["tester"]["index"], 1);
  EXPECT_EQ(status["contract"]["connected"], true);
  EXPECT_EQ(status["contract"]["type"], "PD-FIX");
  EXPECT_EQ(status["profiles"][0]["type"], "PD-FIX");
  EXPECT_EQ(status["profiles"][1]["type"], "PD-APDO");
  EXPECT_EQ(status["profiles"][1]["min_voltage_mv"], 3300);
  EXPECT_FALSE(status["profiles"][0].contains("min_voltage_mv"));  // fixed: no range
  EXPECT_DOUBLE_EQ(status["measurements"]["power_mw"].get<double>(), 13500.0);
}

TEST(StatusJson, RangedProfilesOfOldFirmwareHaveNoRange) {
  const json status = json::parse(StatusJson(Snapshot(19)));
  EXPECT_EQ(status["profiles"][1]["type"], "UNKNOWN");
  EXPECT_FALSE(status["profiles"][1].contains("min_voltage_mv"));
}

TEST(StatusReport, ASilentTesterGivesNoSnapshot) {
  FakeClock clock;
  FakeTester tester(clock);
  tester.answers = false;
  StatusSnapshot snapshot;
  EXPECT_FALSE(TakeSnapshot(tester, snapshot));
}

TEST(StatusReport, TextNamesTheTesterContractAndProfiles) {
  const StatusSnapshot snapshot = Snapshot(21);
  const std::string text =
      cli::test_support::Capture([&](std::FILE* f) { PrintStatusText(f, snapshot); });
  for (const char* part :
       {"KORA4VLH7Y", "firmware level 21", "PD-FIX", "3300-11000 mV", "9000 mV"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
}

}  // namespace
}  // namespace ralvex::lab
