// The summary's figures and their JSON.
#include "lab/log/run_summary.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "lab/log/row_fields.h"

namespace ralvex::lab {

void RunSummary::Add(const LogRow& row) {
  const Sample& s = row.sample;
  if (!first_) {
    first_ = row;
    minVoltageMv_ = maxVoltageMv_ = s.voltageMv;
    maxCurrentMa_ = s.currentMa;
    maxTemperatureC_ = s.temperatureC;
  }
  ++rows_;
  last_ = row;
  minVoltageMv_ = std::min(minVoltageMv_, s.voltageMv);
  maxVoltageMv_ = std::max(maxVoltageMv_, s.voltageMv);
  maxCurrentMa_ = std::max(maxCurrentMa_, s.currentMa);
  maxTemperatureC_ = std::max(maxTemperatureC_, s.temperatureC);
}

std::string RunSummary::Json() const {
  nlohmann::ordered_json summary = {{"rows", rows_}};
  if (first_) {
    summary["first_time"] = FormatUtc(first_->sample.time);
    summary["last_time"] = FormatUtc(last_.sample.time);
    summary["duration_s"] = Rounded({last_.sample.elapsedS - first_->sample.elapsedS, 3});
    summary["charge_mah"] = Rounded({last_.chargeMah, 3});
    summary["energy_mwh"] = Rounded({last_.energyMwh, 3});
    summary["min_voltage_mv"] = minVoltageMv_;
    summary["max_voltage_mv"] = maxVoltageMv_;
    summary["max_current_ma"] = maxCurrentMa_;
    summary["max_temperature_c"] = maxTemperatureC_;
  }
  summary["gaps"] = gaps_;
  return summary.dump();
}

}  // namespace ralvex::lab
