#include "lab/verify_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace ralvex::lab {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char TABLE_HEAD[] =
    "Profile  Type       Nominal   Load    Mean     Min     Max     Low    High  Margin  Verdict  "
    "Reason\n"
    "                       (mV)   (mA)    (mV)    (mV)    (mV)    (mV)    (mV)    (mV)\n";

long Rounded(double value) {
  return std::lround(value);
}

template <class T, class Field>
std::optional<double> Of(const std::optional<T>& holder, Field field) {
  if (!holder) return std::nullopt;
  return static_cast<double>((*holder).*field);
}

std::string Text(const std::optional<double>& value) {
  return value ? std::to_string(Rounded(*value)) : "-";
}

Json Number(const std::optional<double>& value) {
  return value ? Json(static_cast<double>(Rounded(*value))) : Json(nullptr);
}

Json CheckJson(const CheckRow& row) {
  return {{"profile", row.profile},
          {"type", row.type},
          {"nominal_mv", row.nominalMv},
          {"load_ma", row.loadMa},
          {"samples", row.readings ? row.readings->count : 0},
          {"mean_mv", Number(Of(row.readings, &StepReadings::meanMv))},
          {"min_mv", Number(Of(row.readings, &StepReadings::minMv))},
          {"max_mv", Number(Of(row.readings, &StepReadings::maxMv))},
          {"current_ma", Number(Of(row.readings, &StepReadings::meanMa))},
          {"low_mv", Number(Of(row.limits, &VoltageLimits::lowMv))},
          {"high_mv", Number(Of(row.limits, &VoltageLimits::highMv))},
          {"margin_mv", Number(row.marginMv)},
          {"verdict", VerdictName(row.verdict)},
          {"reason", row.verdict == CHECK_PASS ? Json(nullptr) : Json(row.reason)}};
}

Json ProfileJson(const ProfilePlan& plan) {
  Json profile = {{"index", plan.index}, {"type", plan.type}, {"voltage_mv", plan.voltageMv}};
  if (plan.kind == PROFILE_RANGED) profile["min_voltage_mv"] = plan.minVoltageMv;
  profile["current_ma"] = plan.currentMa;
  profile["verified"] = plan.kind != PROFILE_NOT_VERIFIED;
  if (!plan.note.empty()) profile["note"] = plan.note;
  return profile;
}

}  // namespace

CheckVerdict ReportVerdict(const VerifyReport& report) {
  const CheckVerdict verdict = OverallVerdict(CountVerdicts(report.checks));
  return verdict == CHECK_PASS && !report.ended.empty() ? CHECK_ERROR : verdict;
}

std::string CountsText(const VerifyReport& report) {
  const VerdictCounts n = CountVerdicts(report.checks);
  char text[160];
  std::snprintf(text, sizeof text, "%zu of %zu checks passed, %zu failed, %zu errors", n.passed,
                n.passed + n.failed + n.errors, n.failed, n.errors);
  std::string line = text;
  if (n.notVerified > 0) line += "; " + std::to_string(n.notVerified) + " profiles not verified";
  if (!report.ended.empty()) line += "; " + report.ended;
  return line;
}

std::string VerdictLine(const VerifyReport& report) {
  return std::string("Verdict: ") + VerdictName(ReportVerdict(report)) + " (" + CountsText(report) +
         ")";
}

std::array<std::string, 6> NumberCells(const CheckRow& row) {
  return {
      Text(Of(row.readings, &StepReadings::meanMv)), Text(Of(row.readings, &StepReadings::minMv)),
      Text(Of(row.readings, &StepReadings::maxMv)),  Text(Of(row.limits, &VoltageLimits::lowMv)),
      Text(Of(row.limits, &VoltageLimits::highMv)),  Text(row.marginMv)};
}

std::string LimitsNote(const VerifyReport& report) {
  return "Limits at the tester: nominal ±5 % (5 V: 4.75-5.50 V; a PD-APDO step: its request "
         "±5 %), less the drop of a " +
         std::to_string(report.settings.cableMilliohm) + " mΩ cable at the current drawn.";
}

void PrintTableHead(std::FILE* out) {
  std::fputs(TABLE_HEAD, out);
  std::fflush(out);
}

void PrintTableRow(std::FILE* out, const CheckRow& row) {
  std::fprintf(out, "%7u  %-9s %8u %6u", row.profile, row.type.c_str(),
               static_cast<unsigned>(row.nominalMv), static_cast<unsigned>(row.loadMa));
  for (const std::string& cell : NumberCells(row)) std::fprintf(out, " %7s", cell.c_str());
  if (row.reason.empty()) {
    std::fprintf(out, "  %s\n", VerdictName(row.verdict));
  } else {
    std::fprintf(out, "  %-7s  %s\n", VerdictName(row.verdict), row.reason.c_str());
  }
  std::fflush(out);
}

void PrintTableEnd(std::FILE* out, const VerifyReport& report) {
  std::fprintf(out, "%s\n%s\n", LimitsNote(report).c_str(), VerdictLine(report).c_str());
  std::fflush(out);
}

std::string VerifyJson(const VerifyReport& report) {
  const VerdictCounts n = CountVerdicts(report.checks);
  const VerifyOptions& s = report.settings;
  Json json = {{"schema", VERIFY_SCHEMA},
               {"tester",
                {{"serial", report.serial},
                 {"index", report.index},
                 {"version_level", report.versionLevel}}},
               {"started", report.started},
               {"duration_s", std::round(report.durationS * 10) / 10},
               {"settings",
                {{"cable_milliohm", s.cableMilliohm},
                 {"pps_step_mv", s.ppsStepMv},
                 {"settle_ms", s.settleMs},
                 {"hold_ms", s.holdMs},
                 {"contract_timeout_ms", s.contractTimeoutMs},
                 {"recover_timeout_ms", s.recoverTimeoutMs}}},
               {"profiles", Json::array()},
               {"checks", Json::array()}};
  for (const ProfilePlan& plan : report.profiles) json["profiles"].push_back(ProfileJson(plan));
  for (const CheckRow& row : report.checks) json["checks"].push_back(CheckJson(row));
  json["verdict"] = VerdictName(ReportVerdict(report));
  json["counts"] = {{"passed", n.passed},
                    {"failed", n.failed},
                    {"errors", n.errors},
                    {"not_verified", n.notVerified}};
  json["ended"] = report.ended.empty() ? Json(nullptr) : Json(report.ended);
  return json.dump(2);
}

}  // namespace ralvex::lab
