#include "lab/verify_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "lab/verify_html.h"
#include "tests/cli/capture.h"

namespace ralvex::lab {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

ProfilePlan Fixed(unsigned index, uint16_t mv) {
  ProfilePlan plan;
  plan.index = index;
  plan.profileId = static_cast<uint8_t>(index);
  plan.type = "PD-FIX";
  plan.kind = PROFILE_FIXED;
  plan.voltageMv = mv;
  plan.currentMa = 3000;
  plan.steps = {{mv, 0}, {mv, 1500}, {mv, 3000}};
  return plan;
}

StepReadings Read(double meanMv, double meanMa) {
  return {
      20,    meanMv, static_cast<uint16_t>(meanMv - 5), static_cast<uint16_t>(meanMv + 5), meanMa,
      false, 0};
}

// Profile 1 passes, profile 2 delivers 9.9 V, trips at full load, and its reason carries markup;
// profile 3 is a ranged sweep of two steps; profile 4 is of a type not checked.
VerifyReport Sample() {
  VerifyReport report;
  report.serial = "KORA4VLH7Y";
  report.versionLevel = 21;
  report.started = "2026-12-09T05:00:00.000Z";
  report.durationS = 12.34;
  ProfilePlan apdo;
  apdo.index = 3;
  apdo.type = "PD-APDO";
  apdo.kind = PROFILE_RANGED;
  apdo.minVoltageMv = 3300;
  apdo.voltageMv = 3800;
  apdo.currentMa = 2000;
  apdo.steps = {{3300, 1000}, {3800, 1000}};
  ProfilePlan other;
  other.index = 4;
  other.type = "PD-BAT";
  other.note = "not verified: PD-BAT profiles are not checked";
  report.profiles = {Fixed(1, 5000), Fixed(2, 9000), apdo, other};
  const ProfilePlan& p2 = report.profiles[1];
  report.checks = {
      JudgeStep(report.profiles[0], {5000, 0}, Read(5040, 0), 100, {}),
      JudgeStep(p2, {9000, 1500}, Read(9900, 1500), 100, {}),
      UnmeasuredRow(p2, {9000, 3000}, CHECK_FAIL, "contract lost at 3000 mA <trip & more>"),
      JudgeStep(apdo, {3300, 1000}, Read(3280, 1000), 100, {}),
      JudgeStep(apdo, {3800, 1000}, Read(3780, 1000), 100, 3280.0),
      UnmeasuredRow(other, {9000, 0}, CHECK_NOT_VERIFIED, other.note),
  };
  return report;
}

TEST(VerifyReport, TheTableHasARowPerCheckDashesWhereNothingWasMeasuredAndTheVerdictLine) {
  VerifyReport report = Sample();
  const std::string text = cli::test_support::Capture([&](std::FILE* out) {
    PrintTableHead(out);
    for (const CheckRow& row : report.checks) PrintTableRow(out, row);
    PrintTableEnd(out, report);
  });
  EXPECT_NE(text.find("      1  PD-FIX        5000      0    5040    5035    5045    4750    5500"
                      "     290  pass"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("      2  PD-FIX        9000   3000       -       -       -       -       -"
                      "       -  fail     contract lost at 3000 mA"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("9900 mV is above the high limit 9300 mV"), std::string::npos);
  EXPECT_NE(text.find("100 mΩ cable"), std::string::npos);
  EXPECT_NE(text.find("Verdict: fail (3 of 5 checks passed, 2 failed, 0 errors; 1 profiles not "
                      "verified)\n"),
            std::string::npos)
      << text;

  report.checks.erase(report.checks.begin() + 1, report.checks.begin() + 3);
  EXPECT_EQ(VerdictLine(report),
            "Verdict: pass (3 of 3 checks passed, 0 failed, 0 errors; 1 profiles not verified)");
  report.ended = "interrupted";
  EXPECT_EQ(ReportVerdict(report), CHECK_ERROR);
  EXPECT_NE(VerdictLine(report).find("Verdict: error (3 of 3"), std::string::npos);
  EXPECT_NE(VerdictLine(report).find("; interrupted)"), std::string::npos);
}

TEST(VerifyReport, JsonNamesItsSchemaFirstAndEveryCheckWithItsFields) {
  const nlohmann::json json = nlohmann::json::parse(VerifyJson(Sample()));
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(VerifyJson(Sample()));
  EXPECT_EQ(ordered.begin().key(), "schema");
  EXPECT_EQ(json["schema"], "ralvex.verify/1");
  EXPECT_EQ(json["tester"]["serial"], "KORA4VLH7Y");
  EXPECT_EQ(json["settings"]["cable_milliohm"], 100);
  EXPECT_EQ(json["verdict"], "fail");
  EXPECT_EQ(json["counts"]["failed"], 2);
  EXPECT_EQ(json["counts"]["not_verified"], 1);
  EXPECT_TRUE(json["ended"].is_null());
  ASSERT_EQ(json["profiles"].size(), 4u);
  EXPECT_EQ(json["profiles"][2]["min_voltage_mv"], 3300);
  EXPECT_FALSE(json["profiles"][0].contains("min_voltage_mv"));
  EXPECT_FALSE(json["profiles"][3]["verified"].get<bool>());
  ASSERT_EQ(json["checks"].size(), 6u);
  const nlohmann::json& pass = json["checks"][0];
  EXPECT_EQ(pass["mean_mv"], 5040);
  EXPECT_EQ(pass["low_mv"], 4750);
  EXPECT_EQ(pass["high_mv"], 5500);
  EXPECT_EQ(pass["margin_mv"], 290);
  EXPECT_EQ(pass["verdict"], "pass");
  EXPECT_TRUE(pass["reason"].is_null());
  const nlohmann::json& trip = json["checks"][2];
  EXPECT_EQ(trip["load_ma"], 3000);
  EXPECT_EQ(trip["samples"], 0);
  for (const char* field : {"mean_mv", "min_mv", "max_mv", "low_mv", "high_mv", "margin_mv"}) {
    EXPECT_TRUE(trip[field].is_null()) << field;
  }
  EXPECT_EQ(trip["reason"], "contract lost at 3000 mA <trip & more>");
  EXPECT_EQ(json["checks"][5]["verdict"], "not verified");
}

TEST(VerifyReport, ThePageStandsAloneWithTheVerdictFirstAndAPlotPerCheckedProfile) {
  const std::string html = VerifyHtml(Sample());
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_LT(html.find("<header class=\"fail\">"), html.find("<table>"));
  for (const char* outside : {"<script", "<link", "src=", "href=", "url(", "@import"}) {
    EXPECT_EQ(html.find(outside), std::string::npos) << outside;
  }
  EXPECT_EQ(Count(html, "<svg "), 3u);  // profiles 1, 2 and the sweep; not the PD-BAT one
  EXPECT_EQ(Count(html, "<tr class="), 6u);
  EXPECT_NE(html.find("Profile 3 · PD-APDO 3.3 V–3.8 V 2 A sweep"), std::string::npos);
  EXPECT_NE(html.find("Contract lost at 3000 mA"), std::string::npos);  // marked on the plot
  EXPECT_NE(html.find("&lt;trip &amp; more&gt;"), std::string::npos);
  EXPECT_EQ(html.find("<trip"), std::string::npos);
  EXPECT_NE(html.find("not verified: PD-BAT profiles are not checked"), std::string::npos);
}

}  // namespace
}  // namespace ralvex::lab
