// The log's status line on a terminal: elapsed time, samples, achieved rate and the last voltage,
// current and power, redrawn in place at most a few times a second and cleared at the end.
#pragma once

#include <cstdio>
#include <string>

#include "lab/log/log_row.h"
#include "lab/log_summary.h"

namespace ralvex::lab {

class ProgressLine {
 public:
  // Draws nothing unless `enabled` (stderr is a terminal and --quiet was not given).
  ProgressLine(std::FILE* err, bool enabled) : err_(err), enabled_(enabled) {}

  void Show(const LogRow& row, const LogSummary& summary);
  // A line of the caller's own (a sweep's step), drawn in the same place.
  void ShowText(const std::string& text);
  // Wipes the line so that what follows starts on a clean one.
  void Clear();

 private:
  std::FILE* err_;
  bool enabled_;
  bool drawn_ = false;
  double lastDrawnS_ = -1;
};

}  // namespace ralvex::lab
