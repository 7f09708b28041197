#include "lab/log_summary.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace ralvex::lab {

namespace {

nlohmann::json SpreadJson(const Spread& spread) {
  if (spread.count == 0) return nullptr;
  return {{"min", spread.min}, {"mean", spread.Mean()}, {"max", spread.max}};
}

void PrintSpread(std::FILE* err, const char* name, const char* unit, const Spread& spread) {
  if (spread.count == 0) return;
  std::fprintf(err, "  %-8s min %.1f  mean %.1f  max %.1f %s\n", name, spread.min, spread.Mean(),
               spread.max, unit);
}

}  // namespace

void Spread::Add(double value) {
  min = std::min(min, value);
  max = std::max(max, value);
  sum += value;
  ++count;
}

void LogSummary::Add(const LogRow& row) {
  ++samples;
  voltageMv.Add(row.sample.voltageMv);
  currentMa.Add(row.sample.currentMa);
  powerMw.Add(row.powerMw);
  chargeMah = row.chargeMah;
  energyMwh = row.energyMwh;
  firstToLastS = row.sample.elapsedS;
}

double LogSummary::AchievedRateHz() const {
  if (samples < 2 || firstToLastS <= 0) return 0;
  return static_cast<double>(samples - 1) / firstToLastS;
}

std::string SummaryJson(const LogSummary& s) {
  const nlohmann::json json = {
      {"schema", LOG_SUMMARY_SCHEMA},
      {"samples", s.samples},
      {"requested_rate_hz", s.requestedRateHz},
      {"achieved_rate_hz", s.AchievedRateHz()},
      {"missed_slots", s.missedSlots},
      {"failed_exchanges", s.failedExchanges},
      {"reconnects", s.reconnects},
      {"seconds_without_tester", s.secondsWithoutTester},
      {"run_seconds", s.runSeconds},
      {"voltage_mv", SpreadJson(s.voltageMv)},
      {"current_ma", SpreadJson(s.currentMa)},
      {"power_mw", SpreadJson(s.powerMw)},
      {"charge_mah", s.chargeMah},
      {"energy_mwh", s.energyMwh},
      {"ended", s.ended},
  };
  return json.dump();
}

void PrintSummary(std::FILE* err, const LogSummary& s) {
  std::fprintf(err, "Log %s: %llu samples in %.1f s", s.ended.c_str(),
               static_cast<unsigned long long>(s.samples), s.runSeconds);
  if (s.requestedRateHz > 0) {
    std::fprintf(err, ", %.2f/s of %.2f/s requested", s.AchievedRateHz(), s.requestedRateHz);
  } else {
    std::fprintf(err, ", %.2f/s (as fast as the line allows)", s.AchievedRateHz());
  }
  std::fprintf(err,
               "\n  missed slots %llu, failed exchanges %llu, reconnects %llu (%.1f s without "
               "the tester)\n",
               static_cast<unsigned long long>(s.missedSlots),
               static_cast<unsigned long long>(s.failedExchanges),
               static_cast<unsigned long long>(s.reconnects), s.secondsWithoutTester);
  PrintSpread(err, "voltage", "mV", s.voltageMv);
  PrintSpread(err, "current", "mA", s.currentMa);
  PrintSpread(err, "power", "mW", s.powerMw);
  std::fprintf(err, "  charge %.3f mAh, energy %.3f mWh\n", s.chargeMah, s.energyMwh);
  std::fflush(err);
}

}  // namespace ralvex::lab
