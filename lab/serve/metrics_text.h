// GET /metrics: every tester as Prometheus series in the text exposition format 0.0.4, one series
// per tester and family, labelled serial="...", in base units (volts, amperes, watts, coulombs,
// joules). A tester that is down keeps ralvex_up (0) and its counters; its readings are left out
// rather than shown stale.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lab/serve/tester_sampler.h"

namespace ralvex::lab {

inline constexpr const char METRICS_CONTENT_TYPE[] = "text/plain; version=0.0.4; charset=utf-8";

std::string MetricsText(const std::vector<TesterView>& testers);
// A label value with backslash, double quote and line feed escaped.
std::string EscapeLabelValue(std::string_view value);

}  // namespace ralvex::lab
