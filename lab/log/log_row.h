// A row of ralvex-lab's log: one real exchange with the tester (what arrived and when), the power
// it gives and the running totals. The columns are named here once, in their order, for every
// format that writes them (the CSV header, the JSON Lines keys, the SQLite columns).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ralvex::lab {

struct Sample {
  std::chrono::system_clock::time_point time;  // when the reply arrived (UTC)
  double elapsedS = 0;                         // monotonic seconds since the run's first sample
  uint16_t voltageMv = 0;
  uint16_t currentMa = 0;  // measured
  uint16_t setCurrentMa = 0;
  uint16_t loopbackMa = 0;
  int temperatureC = 0;
};

struct LogRow {
  Sample sample;
  double powerMw = 0;    // voltage × measured current
  double chargeMah = 0;  // running totals since the first sample
  double energyMwh = 0;
};

inline constexpr std::array<const char*, 10> LOG_COLUMNS = {
    "time",        "elapsed_s", "voltage_mv",    "current_ma", "set_current_ma",
    "loopback_ma", "power_mw",  "temperature_c", "charge_mah", "energy_mwh"};

// The running totals, integrated over elapsed_s by the trapezoid rule. Samples are added in order;
// after Gap() (the tester was lost) the next sample starts a new stretch, so the time without the
// tester adds nothing.
class Integrator {
 public:
  LogRow Add(const Sample& sample);
  void Gap();

 private:
  std::optional<LogRow> last_;
  double chargeMah_ = 0;
  double energyMwh_ = 0;
};

// UTC in ISO 8601 with milliseconds and Z: "2026-12-08T23:44:03.123Z".
std::string FormatUtc(std::chrono::system_clock::time_point time);
// The same form read back; nullopt for anything else.
std::optional<std::chrono::system_clock::time_point> ParseUtc(std::string_view text);

}  // namespace ralvex::lab
