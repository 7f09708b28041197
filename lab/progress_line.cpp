#include "lab/progress_line.h"

namespace ralvex::lab {

namespace {

constexpr double REDRAW_PERIOD_S = 0.25;

}  // namespace

void ProgressLine::Show(const LogRow& row, const LogSummary& summary) {
  if (!enabled_) return;
  const double elapsed = row.sample.elapsedS;
  if (drawn_ && elapsed - lastDrawnS_ < REDRAW_PERIOD_S) return;
  std::fprintf(err_, "\r\033[K%8.1f s  %llu samples  %.1f/s  %u mV  %u mA  %.0f mW", elapsed,
               static_cast<unsigned long long>(summary.samples), summary.AchievedRateHz(),
               static_cast<unsigned>(row.sample.voltageMv),
               static_cast<unsigned>(row.sample.currentMa), row.powerMw);
  std::fflush(err_);
  drawn_ = true;
  lastDrawnS_ = elapsed;
}

void ProgressLine::ShowText(const std::string& text) {
  if (!enabled_) return;
  std::fprintf(err_, "\r\033[K%s", text.c_str());
  std::fflush(err_);
  drawn_ = true;
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  std::fprintf(err_, "\r\033[K");
  std::fflush(err_);
  drawn_ = false;
}

}  // namespace ralvex::lab
