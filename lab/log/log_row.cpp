// The running totals and the log's time stamps.
#include "lab/log/log_row.h"

#include <cmath>
#include <cstdio>

namespace ralvex::lab {
namespace {

using namespace std::chrono;

double PowerMw(const Sample& sample) {
  return sample.voltageMv * double(sample.currentMa) / 1000;
}

// The text's digits at [at, at + count), all known to be ASCII digits.
int Digits(std::string_view text, size_t at, size_t count) {
  int value = 0;
  for (char c : text.substr(at, count)) value = value * 10 + (c - '0');
  return value;
}

// 'd' stands for one ASCII digit; every other character must be itself.
constexpr std::string_view UTC_SHAPE = "dddd-dd-ddTdd:dd:dd.dddZ";

bool HasUtcShape(std::string_view text) {
  if (text.size() != UTC_SHAPE.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (UTC_SHAPE[i] == 'd' ? !digit : text[i] != UTC_SHAPE[i]) return false;
  }
  return true;
}

}  // namespace

LogRow Integrator::Add(const Sample& sample) {
  LogRow row{sample, PowerMw(sample), 0, 0};
  if (last_) {
    double dt = sample.elapsedS - last_->sample.elapsedS;
    if (std::isfinite(dt) && dt > 0) {  // a clock that stood still or went back adds nothing
      chargeMah_ += (last_->sample.currentMa + double(sample.currentMa)) / 2 * dt / 3600;
      energyMwh_ += (last_->powerMw + row.powerMw) / 2 * dt / 3600;
    }
  }
  row.chargeMah = chargeMah_;
  row.energyMwh = energyMwh_;
  last_ = row;
  return row;
}

void Integrator::Gap() {
  last_.reset();
}

std::string FormatUtc(system_clock::time_point time) {
  auto ms = floor<milliseconds>(time);
  auto day = floor<days>(ms);
  year_month_day date{day};
  hh_mm_ss clock{ms - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

std::optional<system_clock::time_point> ParseUtc(std::string_view text) {
  if (!HasUtcShape(text)) return std::nullopt;
  year_month_day date{year{Digits(text, 0, 4)}, month{unsigned(Digits(text, 5, 2))},
                      day{unsigned(Digits(text, 8, 2))}};
  int hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  sys_time<milliseconds> when = sys_days{date} + hours{hour} + minutes{minute} + seconds{second} +
                                milliseconds{Digits(text, 20, 3)};
  // The clock's own tick may cover fewer years than four digits do.
  if (when < ceil<milliseconds>(system_clock::time_point::min()) ||
      when > floor<milliseconds>(system_clock::time_point::max()))
    return std::nullopt;
  return time_point_cast<system_clock::duration>(when);
}

}  // namespace ralvex::lab
