#include "lab/verify_html.h"

#include <cstdio>

#include "lab/report/svg_plot.h"

namespace ralvex::lab {

namespace {

constexpr const char PAGE_STYLE[] = R"(
*{box-sizing:border-box}
body{margin:0;background:#f3f4f6;color:#1f2937;font:14px/1.45 system-ui,-apple-system,"Segoe UI",
Roboto,"Helvetica Neue",Arial,sans-serif}
main{max-width:1160px;margin:0 auto;padding:24px 20px 40px}
header{display:flex;align-items:center;gap:22px;padding:22px 26px;border-radius:14px;color:#fff;
box-shadow:0 2px 8px rgba(0,0,0,.12)}
header.pass{background:linear-gradient(120deg,#15803d,#16a34a)}
header.fail{background:linear-gradient(120deg,#b91c1c,#dc2626)}
header.error{background:linear-gradient(120deg,#b45309,#d97706)}
.badge{font-size:40px;font-weight:800;letter-spacing:.06em;padding:6px 20px;border:3px solid
rgba(255,255,255,.85);border-radius:12px}
header h1{margin:0 0 4px;font-size:24px}
header p{margin:0;font-size:15px;opacity:.95}
.meta{display:flex;flex-wrap:wrap;gap:8px 28px;margin:16px 4px 6px;color:#4b5563}
.meta b{color:#111827;font-weight:600}
h2{font-size:18px;margin:28px 4px 10px}
.cards{display:flex;flex-wrap:wrap;gap:10px}
.card{flex:1 1 190px;background:#fff;border-radius:10px;padding:10px 14px;border-left:6px solid;
box-shadow:0 1px 3px rgba(0,0,0,.08)}
.card b{display:block;font-size:15px}
.card span{color:#6b7280;font-size:13px}
.card.pass{border-color:#16a34a}.card.fail{border-color:#dc2626}.card.error{border-color:#d97706}
.card.skip{border-color:#9ca3af}
.panel{background:#fff;border-radius:10px;box-shadow:0 1px 3px rgba(0,0,0,.08);overflow:hidden}
table{border-collapse:collapse;width:100%;font-size:13px}
th{background:#f9fafb;color:#374151;text-align:right;font-weight:600;padding:7px 8px;
border-bottom:1px solid #e5e7eb;white-space:nowrap}
td{padding:5px 8px;border-bottom:1px solid #f1f5f9;text-align:right;
font-variant-numeric:tabular-nums;white-space:nowrap}
th.l,td.l{text-align:left}
td.reason{white-space:normal;color:#7f1d1d;text-align:left}
tr.fail td{background:#fef2f2}tr.error td{background:#fffbeb}tr.skip td{color:#6b7280}
td.neg{color:#b91c1c;font-weight:600}
.pill{display:inline-block;min-width:52px;text-align:center;padding:1px 8px;border-radius:999px;
font-size:12px;font-weight:700;color:#fff}
.pill.pass{background:#16a34a}.pill.fail{background:#dc2626}.pill.error{background:#d97706}
.pill.skip{background:#9ca3af}
.note{color:#6b7280;margin:8px 4px 0;font-size:13px}
.plots{display:grid;grid-template-columns:repeat(auto-fill,minmax(520px,1fr));gap:16px}
figure{margin:0;background:#fff;border-radius:10px;padding:10px 12px 12px;
box-shadow:0 1px 3px rgba(0,0,0,.08)}
figure svg{display:block;width:100%;height:auto}
figcaption{display:flex;align-items:center;gap:10px;font-weight:600;margin:2px 2px 6px}
figcaption small{font-weight:400;color:#6b7280}
footer{margin-top:28px;color:#9ca3af;font-size:12px;text-align:center}
)";

const char* ClassOf(CheckVerdict verdict) {
  return verdict == CHECK_NOT_VERIFIED ? "skip" : VerdictName(verdict);
}

std::string Escaped(const std::string& text) {
  return XmlEscaped(text);
}

std::string Volts(uint16_t mv) {
  char text[32];
  std::snprintf(text, sizeof text, "%g V", mv / 1000.0);
  return text;
}

std::string Amps(uint16_t ma) {
  char text[32];
  std::snprintf(text, sizeof text, "%g A", ma / 1000.0);
  return text;
}

std::string ProfileTitle(const ProfilePlan& plan) {
  const std::string volts = plan.kind == PROFILE_RANGED
                                ? Volts(plan.minVoltageMv) + "–" + Volts(plan.voltageMv)
                                : Volts(plan.voltageMv);
  return "Profile " + std::to_string(plan.index) + " · " + plan.type + " " + volts + " " +
         Amps(plan.currentMa);
}

std::vector<const CheckRow*> RowsOf(const VerifyReport& report, unsigned profile) {
  std::vector<const CheckRow*> rows;
  for (const CheckRow& row : report.checks) {
    if (row.profile == profile) rows.push_back(&row);
  }
  return rows;
}

// A profile's verdict: the worst of its checks; one not checked at all is an error.
CheckVerdict ProfileVerdict(const ProfilePlan& plan, const std::vector<const CheckRow*>& rows) {
  if (plan.kind == PROFILE_NOT_VERIFIED) return CHECK_NOT_VERIFIED;
  std::vector<CheckRow> copies;
  for (const CheckRow* row : rows) copies.push_back(*row);
  return OverallVerdict(CountVerdicts(copies));
}

std::string Pill(CheckVerdict verdict) {
  return std::string("<span class=\"pill ") + ClassOf(verdict) + "\">" + VerdictName(verdict) +
         "</span>";
}

std::string Header(const VerifyReport& report) {
  const CheckVerdict verdict = ReportVerdict(report);
  std::string verdictText = VerdictName(verdict);
  for (char& c : verdictText) c = static_cast<char>(c - ('a' - 'A'));
  const VerifyOptions& s = report.settings;
  char settings[200];
  std::snprintf(settings, sizeof settings,
                "settle %u ms, hold %u ms, cable %u mΩ, PD-APDO step %u mV",
                static_cast<unsigned>(s.settleMs), static_cast<unsigned>(s.holdMs),
                static_cast<unsigned>(s.cableMilliohm), static_cast<unsigned>(s.ppsStepMv));
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.1f s", report.durationS);
  return std::string("<header class=\"") + ClassOf(verdict) + "\"><div class=\"badge\">" +
         verdictText + "</div><div><h1>Charger verification</h1><p>" + Escaped(CountsText(report)) +
         "</p></div></header>\n" + "<div class=\"meta\"><span>Tester <b>" + Escaped(report.serial) +
         "</b> (firmware level " + std::to_string(report.versionLevel) +
         ")</span><span>Started <b>" + Escaped(report.started) + "</b></span><span>Took <b>" +
         duration + "</b></span><span>" + settings + "</span></div>\n";
}

std::string PassedText(const ProfilePlan& plan, const std::vector<const CheckRow*>& rows) {
  if (plan.kind == PROFILE_NOT_VERIFIED) return plan.note;
  std::size_t passed = 0;
  for (const CheckRow* row : rows) passed += row->verdict == CHECK_PASS ? 1 : 0;
  return std::to_string(passed) + " of " + std::to_string(rows.size()) + " checks passed";
}

std::string Cards(const VerifyReport& report) {
  std::string html = "<h2>Profiles</h2>\n<div class=\"cards\">\n";
  for (const ProfilePlan& plan : report.profiles) {
    const std::vector<const CheckRow*> rows = RowsOf(report, plan.index);
    html += std::string("<div class=\"card ") + ClassOf(ProfileVerdict(plan, rows)) + "\"><b>" +
            Escaped(ProfileTitle(plan)) + "</b><span>" + Escaped(PassedText(plan, rows)) +
            "</span></div>\n";
  }
  return html + "</div>\n";
}

std::string Table(const VerifyReport& report) {
  std::string html =
      "<h2>Checks</h2>\n<div class=\"panel\"><table>\n<tr><th>Profile</th><th "
      "class=\"l\">Type</th><th>Nominal mV</th><th>Load mA</th><th>Mean mV</th><th>Min "
      "mV</th><th>Max mV</th><th>Low mV</th><th>High mV</th><th>Margin mV</th><th "
      "class=\"l\">Verdict</th><th class=\"l\">Reason</th></tr>\n";
  for (const CheckRow& row : report.checks) {
    html += std::string("<tr class=\"") + ClassOf(row.verdict) + "\"><td>" +
            std::to_string(row.profile) + "</td><td class=\"l\">" + Escaped(row.type) +
            "</td><td>" + std::to_string(row.nominalMv) + "</td><td>" + std::to_string(row.loadMa) +
            "</td>";
    const std::array<std::string, 6> cells = NumberCells(row);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const bool negative = i + 1 == cells.size() && row.marginMv && *row.marginMv < 0;
      html += std::string(negative ? "<td class=\"neg\">" : "<td>") + cells[i] + "</td>";
    }
    html += "<td class=\"l\">" + Pill(row.verdict) + "</td><td class=\"reason\">" +
            Escaped(row.reason) + "</td></tr>\n";
  }
  return html + "</table></div>\n<p class=\"note\">" + Escaped(LimitsNote(report)) + "</p>\n";
}

// Voltage against load with the band of the limits at each planned load.
Plot FixedPlot(const ProfilePlan& plan, const std::vector<const CheckRow*>& rows,
               uint32_t cableMilliohm) {
  Plot plot;
  plot.title = ProfileTitle(plan);
  plot.x = {"Load", "mA"};
  plot.y = {"Voltage at the tester", "mV"};
  PlotSeries measured{"Measured (mean)", {}, false};
  for (const CheckRow* row : rows) {
    if (row->readings && !row->readings->contractLost) {
      measured.points.push_back({static_cast<double>(row->loadMa), row->readings->meanMv});
    }
  }
  plot.series.push_back(measured);
  for (const CheckRow* row : rows) {
    if (row->readings ? row->readings->contractLost : row->reason.rfind("contract lost", 0) == 0) {
      const std::string name = "Contract lost at " + std::to_string(row->loadMa) + " mA";
      plot.series.push_back({name, {{static_cast<double>(row->loadMa), 1.0 * plan.voltageMv}}});
    }
  }
  PlotBand band{"Limits", {}, {}};
  for (const PlannedStep& step : plan.steps) {
    const VoltageLimits l = FixedLimits(step.requestMv, step.loadMa, cableMilliohm);
    band.low.push_back({static_cast<double>(step.loadMa), l.lowMv});
    band.high.push_back({static_cast<double>(step.loadMa), l.highMv});
  }
  plot.band = band;
  return plot;
}

// Measured against requested voltage, the request itself and its ±5 % band.
Plot RangedPlot(const ProfilePlan& plan, const std::vector<const CheckRow*>& rows,
                uint32_t cableMilliohm) {
  Plot plot;
  plot.title = ProfileTitle(plan) + " sweep";
  plot.x = {"Requested", "mV"};
  plot.y = {"Voltage at the tester", "mV"};
  PlotSeries measured{"Measured (mean)", {}, false};
  PlotSeries requested{"Requested", {}, false};
  PlotBand band{"±5 % at the tester", {}, {}};
  for (const PlannedStep& step : plan.steps) {
    const double x = step.requestMv;
    const VoltageLimits l = RangedLimits(step.requestMv, step.loadMa, cableMilliohm);
    requested.points.push_back({x, x});
    band.low.push_back({x, l.lowMv});
    band.high.push_back({x, l.highMv});
  }
  for (const CheckRow* row : rows) {
    if (row->readings && !row->readings->contractLost) {
      measured.points.push_back({static_cast<double>(row->nominalMv), row->readings->meanMv});
    }
  }
  plot.series = {measured, requested};
  plot.band = band;
  return plot;
}

std::string LossNote(const std::vector<const CheckRow*>& rows) {
  for (const CheckRow* row : rows) {
    if (row->readings && row->readings->contractLost) return row->reason;
    if (!row->readings && row->verdict != CHECK_PASS) return row->reason;
  }
  return "";
}

std::string Figures(const VerifyReport& report) {
  std::string html = "<h2>Plots</h2>\n<div class=\"plots\">\n";
  for (const ProfilePlan& plan : report.profiles) {
    if (plan.kind == PROFILE_NOT_VERIFIED) continue;
    const std::vector<const CheckRow*> rows = RowsOf(report, plan.index);
    const uint32_t cable = report.settings.cableMilliohm;
    const Plot plot =
        plan.kind == PROFILE_RANGED ? RangedPlot(plan, rows, cable) : FixedPlot(plan, rows, cable);
    const std::string note = LossNote(rows);
    html += "<figure><figcaption>" + Pill(ProfileVerdict(plan, rows)) + " " +
            Escaped(PassedText(plan, rows)) +
            (note.empty() ? "" : " <small>" + Escaped(note) + "</small>") + "</figcaption>\n" +
            SvgPlot(plot) + "</figure>\n";
  }
  return html + "</div>\n";
}

}  // namespace

std::string VerifyHtml(const VerifyReport& report) {
  return std::string("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">") +
         "<meta name=\"viewport\" content=\"width=device-width\"><title>Charger verification: " +
         VerdictName(ReportVerdict(report)) + "</title>\n<style>" + PAGE_STYLE +
         "</style></head>\n<body><main>\n" + Header(report) + Cards(report) + Figures(report) +
         Table(report) + "<footer>ralvex-lab verify · " + Escaped(report.started) +
         "</footer>\n</main></body></html>";
}

}  // namespace ralvex::lab
