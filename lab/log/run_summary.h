// The run's summary, gathered row by row, as the JSON object that ends the run (Finish, and the
// `runs` table's summary): how many rows, over what time, the totals, the extremes of the
// readings and how often the tester was lost.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lab/log/log_row.h"

namespace ralvex::lab {

class RunSummary {
 public:
  void Add(const LogRow& row);
  void Gap() { ++gaps_; }
  // {"rows":..,"first_time":..,"last_time":..,"duration_s":..,"charge_mah":..,"energy_mwh":..,
  //  "min_voltage_mv":..,"max_voltage_mv":..,"max_current_ma":..,"max_temperature_c":..,
  //  "gaps":..}; a run without rows has only "rows" and "gaps".
  std::string Json() const;

 private:
  uint64_t rows_ = 0;
  uint64_t gaps_ = 0;
  std::optional<LogRow> first_;
  LogRow last_;
  uint16_t minVoltageMv_ = 0;
  uint16_t maxVoltageMv_ = 0;
  uint16_t maxCurrentMa_ = 0;
  int maxTemperatureC_ = 0;
};

}  // namespace ralvex::lab
