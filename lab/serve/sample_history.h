// The rows a sampler took during the last --history seconds, oldest first. Rows are added in time
// order; a row older than the newest by more than the span falls out, and so does the oldest once
// HISTORY_ROW_LIMIT rows are kept (a long history at a short interval). Not locked: its sampler
// guards it.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <vector>

#include "lab/log/log_row.h"

namespace ralvex::lab {

inline constexpr std::size_t HISTORY_ROW_LIMIT = 200000;

class SampleHistory {
 public:
  explicit SampleHistory(std::chrono::seconds span) : span_(span) {}

  void Add(const LogRow& row);
  // The rows whose time, as their `time` column writes it (whole milliseconds), is after `since`;
  // every row without it.
  std::vector<LogRow> After(std::optional<std::chrono::system_clock::time_point> since) const;
  std::size_t Size() const { return rows_.size(); }

 private:
  std::chrono::seconds span_;
  std::deque<LogRow> rows_;
};

}  // namespace ralvex::lab
