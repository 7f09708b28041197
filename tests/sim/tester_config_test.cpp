// The tester's bench table: accepted values and one-line refusals.
#include <string>

#include <gtest/gtest.h>
#include <toml++/toml.h>

#include "sim/tester/tester_config.h"
#include "sim/tester/tester_peer.h"

namespace ralvex::sim {
namespace {

// Parses `text` as the tester table; returns "<line>: <error>" ("" when accepted).
std::string Refusal(const std::string& text, TesterConfig* out = nullptr) {
  toml::table table = toml::parse(text);
  TesterConfig config;
  std::string error;
  uint32_t line = 0;
  const bool ok = ParseTesterConfig(&table, &config, &error, &line);
  if (ok && out != nullptr) *out = config;
  return ok ? "" : std::to_string(line) + ": " + error;
}

TEST(TesterConfigParse, DefaultsWithoutATable) {
  TesterConfig config;
  std::string error;
  ASSERT_TRUE(ParseTesterConfig(nullptr, &config, &error));
  EXPECT_TRUE(config.source);
  EXPECT_EQ(config.versionLevel, 21);
  EXPECT_EQ(config.profiles.size(), 5u);
  EXPECT_TRUE(config.unanswered.none());
  EXPECT_TRUE(config.noiseBeforeReply.empty());
}

TEST(TesterConfigParse, EveryKeyAccepted) {
  TesterConfig c;
  ASSERT_EQ(Refusal(R"(
version_level = 19
version_byte2 = 4
source = true
ambient = 40
cable_milliohm = 0
loopback_current = 12
notify = true
silent = false
unanswered = [0x0B]
wrong_reply = [0x01, 0xE1]
bad_end_byte = [12]
noise_before_reply = [1, 2, 3]
reply_delay_ms = 60000
profiles = [
  { type = "PD-FIX",  voltage = 5000,  current = 3000 },
  { type = "PD-APDO", min_voltage = 3300, voltage = 11000, current = 3000 },
  { type = "QC1", min_voltage = 11000, voltage = 11000, current = 0 },
]
settings = { 0 = 1, 2 = 500, 3 = 0, 4 = 1000 }
)",
                    &c),
            "");
  EXPECT_EQ(c.versionLevel, 19);
  EXPECT_EQ(c.ambient, 40);
  EXPECT_TRUE(c.unanswered.test(0x0B));
  EXPECT_EQ(c.unanswered.count(), 1u);
  EXPECT_TRUE(c.wrongReply.test(0xE1));
  EXPECT_TRUE(c.badEndByte.test(0x0C));
  EXPECT_EQ(c.noiseBeforeReply, (std::vector<uint8_t>{1, 2, 3}));
  ASSERT_EQ(c.profiles.size(), 3u);
  EXPECT_EQ(c.profiles[1].profileClass, 5);
  EXPECT_EQ(c.profiles[1].subtype, 3);
  EXPECT_EQ(c.profiles[1].minVoltage, 3300);
  EXPECT_EQ(c.profiles[2].profileClass, 3);
}

TEST(TesterConfigParse, NoSourceNeedsNoProfiles) {
  EXPECT_EQ(Refusal("source = false\nprofiles = []"), "");
  EXPECT_EQ(Refusal("noise_before_reply = false"), "");
}

TEST(TesterConfigParse, RefusalsNameKeyProblemAndLine) {
  EXPECT_EQ(Refusal("\nbogus = 1"), "2: unknown key 'bogus' in the tester table");
  EXPECT_EQ(Refusal("cable_milliohm = -1"),
            "1: 'cable_milliohm' of the tester must be from 0 to 10000, not -1");
  EXPECT_EQ(Refusal("version_level = 256"),
            "1: 'version_level' of the tester must be from 0 to 255, not 256");
  EXPECT_EQ(Refusal("source = 1"),
            "1: 'source' of the tester must be true or false, not an integer");
  EXPECT_EQ(Refusal("unanswered = [1, 300]"),
            "1: 'unanswered[1]' of the tester must be from 0 to 255, not 300");
  EXPECT_EQ(Refusal("\n\nprofiles = [{ type = \"PD-FOO\", voltage = 1, current = 1 }]"),
            "3: 'profiles[0].type' of the tester must be a profile type name such as \"PD-FIX\"");
  EXPECT_EQ(Refusal("settings = { 1 = 5 }"),
            "1: unknown setting id 'settings.1' (0, 2, 3 and 4 can be set)");
}

TEST(TesterConfigParse, BadValuesRefused) {
  for (const char* text : {
           "ambient = 126",
           "ambient = 2.5",
           "loopback_current = 65536",
           "reply_delay_ms = 60001",
           "notify = \"yes\"",
           "wrong_reply = 5",
           "bad_end_byte = [\"x\"]",
           "noise_before_reply = 3",
           "noise_before_reply = [-1]",
           "profiles = 3",
           "profiles = []",
           "profiles = [1]",
           "profiles = [{ type = \"UNKNOWN\", voltage = 5000, current = 1 }]",
           "profiles = [{ type = 5, voltage = 5000, current = 1 }]",
           "profiles = [{ voltage = 5000, current = 1 }]",
           "profiles = [{ type = \"PD-FIX\", current = 1 }]",
           "profiles = [{ type = \"PD-FIX\", voltage = 5000 }]",
           "profiles = [{ type = \"PD-FIX\", voltage = 70000, current = 1 }]",
           "profiles = [{ type = \"PD-FIX\", voltage = 5000, current = 1, extra = 1 }]",
           "profiles = [{ type = \"PD-FIX\", min_voltage = 1, voltage = 5000, current = 1 }]",
           "profiles = [{ type = \"PD-APDO\", voltage = 5000, current = 1 }]",
           "profiles = [{ type = \"QC2\", min_voltage = 6000, voltage = 5000, current = 1 }]",
           "settings = 5",
           "settings = { 0 = 256 }",
           "settings = { 2 = 65536 }",
           "settings = { 4 = true }",
       }) {
    const std::string error = Refusal(text);
    EXPECT_NE(error, "") << text;
    EXPECT_EQ(error.rfind("1: ", 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

TEST(TesterConfigParse, EightProfilesAreTooMany) {
  std::string text = "profiles = [";
  for (int i = 0; i < 8; ++i) text += "{ type = \"PD-FIX\", voltage = 5000, current = 1 },";
  text += "]";
  EXPECT_EQ(Refusal(text), "1: 'profiles' of the tester holds more than 7");
}

TEST(TesterConfigParse, FactoryReportsTheSameLine) {
  toml::table table = toml::parse("ambient = -3");
  std::string error;
  uint32_t line = 0;
  EXPECT_EQ(MakeTesterPeer(&table, "KORA0001", "", &error, &line), nullptr);
  EXPECT_EQ(error, "'ambient' of the tester must be from 0 to 125, not -3");
  EXPECT_EQ(line, 1u);
  // A null error pointer is allowed.
  EXPECT_EQ(MakeTesterPeer(&table, "KORA0001", "", nullptr), nullptr);
  EXPECT_NE(MakeTesterPeer(nullptr, "KORA0001", "", nullptr), nullptr);
}

}  // namespace
}  // namespace ralvex::sim
