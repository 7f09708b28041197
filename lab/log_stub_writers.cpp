// A stand-in for lab/log/ while its writers are not in the tree: CSV and JSON Lines to a file or
// standard output, the totals and the time format. Built only when lab/log/ has no CMakeLists.txt.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "lab/log/row_sink.h"

namespace ralvex::lab {

LogRow Integrator::Add(const Sample& sample) {
  LogRow row{sample, static_cast<double>(sample.voltageMv) * sample.currentMa / 1000.0, 0, 0};
  if (last_) {
    const double hours = (sample.elapsedS - last_->sample.elapsedS) / 3600.0;
    chargeMah_ += hours * (sample.currentMa + last_->sample.currentMa) / 2.0;
    energyMwh_ += hours * (row.powerMw + last_->powerMw) / 2.0;
  }
  row.chargeMah = chargeMah_;
  row.energyMwh = energyMwh_;
  last_ = row;
  return row;
}

void Integrator::Gap() {
  last_.reset();
}

std::string FormatUtc(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char out[48];
  std::snprintf(out, sizeof out, "%s.%03dZ", text, static_cast<int>(ms.count() % 1000));
  return out;
}

std::optional<std::chrono::system_clock::time_point> ParseUtc(std::string_view) {
  return std::nullopt;
}

namespace {

class StubSink final : public RowSink {
 public:
  StubSink(std::FILE* file, bool owned, LogFormat format)
      : file_(file), owned_(owned), format_(format) {
    if (format_ == LOG_CSV) {
      for (std::size_t i = 0; i < LOG_COLUMNS.size(); ++i) {
        std::fprintf(file_, "%s%s", i ? "," : "", LOG_COLUMNS[i]);
      }
      std::fprintf(file_, "\n");
    }
  }
  ~StubSink() override {
    if (owned_) std::fclose(file_);
  }
  bool Write(const LogRow& r) override {
    const Sample& s = r.sample;
    const char* form = format_ == LOG_CSV
                           ? "%s,%.3f,%u,%u,%u,%u,%.1f,%d,%.6f,%.6f\n"
                           : "{\"time\":\"%s\",\"elapsed_s\":%.3f,\"voltage_mv\":%u,\"current_ma\":"
                             "%u,\"set_current_ma\":%u,\"loopback_ma\":%u,\"power_mw\":%.1f,"
                             "\"temperature_c\":%d,\"charge_mah\":%.6f,\"energy_mwh\":%.6f}\n";
    std::fprintf(file_, form, FormatUtc(s.time).c_str(), s.elapsedS, s.voltageMv, s.currentMa,
                 s.setCurrentMa, s.loopbackMa, r.powerMw, s.temperatureC, r.chargeMah, r.energyMwh);
    return std::fflush(file_) == 0;
  }
  bool Flush() override { return std::fflush(file_) == 0; }
  bool Finish(const std::string&) override { return Flush(); }
  std::string Error() const override { return "write failed"; }

 private:
  std::FILE* file_;
  bool owned_;
  LogFormat format_;
};

}  // namespace

std::unique_ptr<RowSink> OpenRowSink(LogFormat format, const std::string& path, const RunInfo&,
                                     std::string* error) {
  if (format == LOG_SQLITE) {
    *error = "this stand-in has no SQLite";
    return nullptr;
  }
  if (path.empty()) return std::make_unique<StubSink>(stdout, false, format);
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    *error = "cannot open " + path;
    return nullptr;
  }
  return std::make_unique<StubSink>(file, true, format);
}

}  // namespace ralvex::lab
