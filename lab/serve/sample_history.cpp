#include "lab/serve/sample_history.h"

#include <algorithm>

namespace ralvex::lab {

namespace {

using std::chrono::floor;
using std::chrono::milliseconds;

// A row's time as its column shows it: a client that asks for rows after a row's own text must
// not get that row again.
auto Shown(const LogRow& row) {
  return floor<milliseconds>(row.sample.time);
}

}  // namespace

void SampleHistory::Add(const LogRow& row) {
  rows_.push_back(row);
  const auto oldest = row.sample.time - span_;
  while (!rows_.empty() && rows_.front().sample.time < oldest) rows_.pop_front();
  if (rows_.size() > HISTORY_ROW_LIMIT) rows_.pop_front();
}

std::vector<LogRow> SampleHistory::After(
    std::optional<std::chrono::system_clock::time_point> since) const {
  if (!since) return {rows_.begin(), rows_.end()};
  // From the newest back: a client polling for what is new walks only the rows it gets.
  const auto limit = floor<milliseconds>(*since);
  const auto last = std::find_if(rows_.rbegin(), rows_.rend(),
                                 [&](const LogRow& row) { return Shown(row) <= limit; });
  return {last.base(), rows_.end()};
}

}  // namespace ralvex::lab
