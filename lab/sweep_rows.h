// A sweep's rows: one per step, its set value first, then the count and the lowest, mean and
// highest voltage, measured current and power of the step's hold, its failed exchanges and, when
// the contract was lost during the step, the set current it went at. The columns are named here
// once for CSV and JSON Lines; a step without readings leaves its spreads empty (null in JSON).
// The plot draws the mean voltage and power (second axis) against the set value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lab/log/row_sink.h"
#include "lab/report/svg_plot.h"
#include "lab/step_measure.h"
#include "lab/sweep_options.h"

namespace ralvex::lab {

struct SweepRow {
  uint32_t set = 0;  // mA or mV, as the sweep's kind says
  StepResult step;
};

std::vector<std::string> SweepColumns(SweepKind kind);
// The CSV header line; nothing for JSON Lines.
std::string SweepHeader(SweepKind kind, LogFormat format);
std::string SweepLine(SweepKind kind, LogFormat format, const SweepRow& row);
Plot SweepPlot(SweepKind kind, const std::vector<SweepRow>& rows);

}  // namespace ralvex::lab
